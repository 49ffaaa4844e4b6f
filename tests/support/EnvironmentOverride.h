#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace sayloom::testing {

// Sets environment variables (nothing: unset) for the life of the object.
class EnvironmentOverride {
public:
    explicit EnvironmentOverride(const std::vector<std::pair<const char*, const char*>>& values) {
        for (const auto& [name, value] : values) {
            saved_.emplace(name, qEnvironmentVariableIsSet(name)
                                     ? std::optional<QByteArray>(qgetenv(name))
                                     : std::nullopt);
            if (value)
                qputenv(name, value);
            else
                qunsetenv(name);
        }
    }
    ~EnvironmentOverride() {
        for (const auto& [name, value] : saved_) {
            if (value)
                qputenv(name, *value);
            else
                qunsetenv(name);
        }
    }
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

private:
    std::map<const char*, std::optional<QByteArray>> saved_;
};

} // namespace sayloom::testing
