#pragma once

#include <QString>

#include <exception>
#include <string>

namespace sayloom {

// Base of our error families: each carries the fixed text its users see in logs and messages.
class LocalizedError : public std::exception {
public:
    virtual QString localizedDescription() const = 0;
    const char* what() const noexcept override;

private:
    mutable std::string whatCache_;
};

// The error a cancelled wait or task ends with.
class CancellationError final : public LocalizedError {
public:
    QString localizedDescription() const override;
};

// The localized description of any exception: our own errors' texts, otherwise what().
QString localizedDescription(const std::exception& error);
QString localizedDescription(const std::exception_ptr& error);

} // namespace sayloom
