#pragma once

#include "support/Logger.h"

#include <QStringList>

#include <memory>
#include <mutex>
#include <vector>

namespace sayloom::testing {

// Collects every log line (debug included) while it lives; restores the previous sink and level
// when it goes.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<LogRecord> records() const;
    // Messages of one category (all categories when empty), optionally of one level.
    QStringList messages(const QString& category = {}, std::optional<LogLevel> level = {}) const;
    bool contains(const QString& category, LogLevel level, const QString& message) const;
    // Number of lines whose message contains `fragment`, in any category.
    int countContaining(const QString& fragment) const;
    void clear();

private:
    class Sink;
    std::shared_ptr<Sink> sink_;
    std::shared_ptr<LogSink> previous_;
    LogLevel previousLevel_;
};

} // namespace sayloom::testing
