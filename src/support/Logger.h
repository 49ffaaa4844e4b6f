#pragma once

#include <QString>

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <variant>

namespace sayloom {

enum class LogLevel { debug = 0, info = 1, notice = 2, error = 3 };

struct LogRecord {
    LogLevel level;
    QString subsystem;
    QString category;
    QString message;
};

// Where rendered log lines go: the journal or stderr in the application, a capture in tests.
// `write` may be called from any thread; the logging core serialises the calls.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void write(const LogRecord& record) = 0;
};

template <typename T>
concept UnsignedInteger = std::unsigned_integral<T> && !std::same_as<T, bool>;

// One argument of a log line. Integers, floating-point numbers, Booleans and strings.
class LogArg {
public:
    using Value = std::variant<long long, unsigned long long, double, bool, QString>;

    template <std::signed_integral T>
    LogArg(T v) : value_(static_cast<long long>(v)) {}
    template <UnsignedInteger T>
    LogArg(T v) : value_(static_cast<unsigned long long>(v)) {}
    LogArg(bool v) : value_(v) {}
    LogArg(double v) : value_(v) {}
    LogArg(float v) : value_(static_cast<double>(v)) {}
    LogArg(const QString& v) : value_(v) {}
    LogArg(const char* v) : value_(QString::fromUtf8(v)) {}
    LogArg(const std::string& v) : value_(QString::fromStdString(v)) {}

    const Value& value() const { return value_; }

private:
    Value value_;
};

namespace logging {

inline constexpr const char* kSubsystem = "ai.sayloom.app";

// Renders a printf-style format the way the log shows it: privacy markers such as
// "%{public}s" and "%{private}@" print their value plainly, "%{bool}d" prints true or false,
// and a missing argument or an unknown conversion prints as "<?>" rather than failing.
QString render(const char* format, std::span<const LogArg> args);

// Replaces the sink (null drops every line) and returns the previous one.
std::shared_ptr<LogSink> setSink(std::shared_ptr<LogSink> sink);
std::shared_ptr<LogSink> sink();

void setMinimumLevel(LogLevel level);
LogLevel minimumLevel();

// "debug", "info", "notice" (or "default") and "error", in any letter case.
std::optional<LogLevel> parseLevel(const QString& text);
const char* levelName(LogLevel level);

// Reads SAYLOOM_LOG_LEVEL (info when unset) and applies it. Returns false, keeping info, for a
// value that names no level.
bool applyEnvironmentLevel();

} // namespace logging

// A log handle for one component (its category), as in `Logger log("engine")`.
class Logger {
public:
    explicit Logger(QString category, QString subsystem = QString::fromLatin1(logging::kSubsystem));

    template <typename... Args>
    void debug(const char* format, const Args&... args) const {
        log(LogLevel::debug, format, {LogArg(args)...});
    }
    template <typename... Args>
    void info(const char* format, const Args&... args) const {
        log(LogLevel::info, format, {LogArg(args)...});
    }
    template <typename... Args>
    void notice(const char* format, const Args&... args) const {
        log(LogLevel::notice, format, {LogArg(args)...});
    }
    template <typename... Args>
    void error(const char* format, const Args&... args) const {
        log(LogLevel::error, format, {LogArg(args)...});
    }

    const QString& category() const { return category_; }

private:
    void log(LogLevel level, const char* format, std::initializer_list<LogArg> args) const;

    QString subsystem_;
    QString category_;
};

// Writes "sayloom[category] level: message" lines to stderr.
class StderrLogSink final : public LogSink {
public:
    void write(const LogRecord& record) override;
};

} // namespace sayloom
