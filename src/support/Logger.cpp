#include "support/Logger.h"

#include <QByteArray>
#include <QList>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace sayloom {

namespace logging {

namespace {

std::mutex& sinkMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<LogSink>& sinkSlot() {
    static std::shared_ptr<LogSink> slot;
    return slot;
}

std::atomic<int>& minimumLevelSlot() {
    static std::atomic<int> level{static_cast<int>(LogLevel::info)};
    return level;
}

QString formatInteger(const QByteArray& prefix, const LogArg::Value& value, char conversion) {
    // Render through snprintf with the caller's flags, width and precision, always at the
    // widest length so that the argument's C++ type does not matter.
    char buffer[128];
    if (const auto* i = std::get_if<long long>(&value)) {
        QByteArray fmt = prefix + "ll" + conversion;
        std::snprintf(buffer, sizeof buffer, fmt.constData(), *i);
    } else if (const auto* u = std::get_if<unsigned long long>(&value)) {
        QByteArray fmt = prefix + "ll" + conversion;
        std::snprintf(buffer, sizeof buffer, fmt.constData(), *u);
    } else if (const auto* b = std::get_if<bool>(&value)) {
        QByteArray fmt = prefix + "ll" + conversion;
        std::snprintf(buffer, sizeof buffer, fmt.constData(), static_cast<long long>(*b));
    } else if (const auto* d = std::get_if<double>(&value)) {
        QByteArray fmt = prefix + "ll" + conversion;
        std::snprintf(buffer, sizeof buffer, fmt.constData(), static_cast<long long>(*d));
    } else {
        return std::get<QString>(value);
    }
    return QString::fromUtf8(buffer);
}

QString formatFloating(const QByteArray& prefix, const LogArg::Value& value, char conversion) {
    double number = 0;
    if (const auto* d = std::get_if<double>(&value))
        number = *d;
    else if (const auto* i = std::get_if<long long>(&value))
        number = static_cast<double>(*i);
    else if (const auto* u = std::get_if<unsigned long long>(&value))
        number = static_cast<double>(*u);
    else if (const auto* s = std::get_if<QString>(&value))
        return *s;
    else
        number = std::get<bool>(value) ? 1 : 0;
    char buffer[512];
    QByteArray fmt = prefix + conversion;
    std::snprintf(buffer, sizeof buffer, fmt.constData(), number);
    return QString::fromUtf8(buffer);
}

QString formatString(const QByteArray& prefix, const LogArg::Value& value) {
    QString text;
    if (const auto* s = std::get_if<QString>(&value))
        text = *s;
    else if (const auto* i = std::get_if<long long>(&value))
        text = QString::number(*i);
    else if (const auto* u = std::get_if<unsigned long long>(&value))
        text = QString::number(*u);
    else if (const auto* d = std::get_if<double>(&value))
        text = QString::number(*d);
    else
        text = std::get<bool>(value) ? QStringLiteral("true") : QStringLiteral("false");
    if (prefix.size() <= 1)
        return text;
    // Width and precision on strings are rare in our lines; honour them through snprintf.
    const QByteArray utf8 = text.toUtf8();
    std::string buffer(utf8.size() + 256, '\0');
    QByteArray fmt = prefix + 's';
    const int n = std::snprintf(buffer.data(), buffer.size(), fmt.constData(), utf8.constData());
    return QString::fromUtf8(buffer.data(), n < 0 ? 0 : std::min<int>(n, buffer.size() - 1));
}

} // namespace

QString render(const char* format, std::span<const LogArg> args) {
    QString out;
    std::size_t next = 0;
    const char* p = format;
    const char* literalStart = p;
    auto flushLiteral = [&](const char* end) {
        if (end > literalStart)
            out += QString::fromUtf8(literalStart, end - literalStart);
    };
    while (*p) {
        if (*p != '%') {
            ++p;
            continue;
        }
        flushLiteral(p);
        const char* start = p++;
        if (*p == '%') {
            out += QLatin1Char('%');
            literalStart = ++p;
            continue;
        }
        // Privacy and type markers: "{public}", "{private}", "{bool}", "{bool,public}", ...
        bool asBool = false;
        if (*p == '{') {
            const char* close = std::strchr(p, '}');
            if (!close) {
                // An unterminated marker is no placeholder: keep the rest of the line as it is.
                literalStart = start;
                p += std::strlen(p);
                break;
            }
            const QByteArray markers(p + 1, close - p - 1);
            for (const QByteArray& marker : markers.split(','))
                if (marker.trimmed() == "bool")
                    asBool = true;
            p = close + 1;
        }
        QByteArray prefix("%");
        while (*p && std::strchr("-+ #0", *p))
            prefix += *p++;
        while (*p && ((*p >= '0' && *p <= '9') || *p == '.'))
            prefix += *p++;
        while (*p && std::strchr("hlqLjzt", *p))
            ++p; // length modifiers: every argument is rendered at its widest type
        const char conversion = *p ? *p++ : '\0';
        literalStart = p;
        if (next >= args.size()) {
            out += QStringLiteral("<?>");
            continue;
        }
        const LogArg::Value& value = args[next++].value();
        switch (conversion) {
        case 'd':
        case 'i':
            if (asBool) {
                bool truth = false;
                if (const auto* b = std::get_if<bool>(&value))
                    truth = *b;
                else if (const auto* i = std::get_if<long long>(&value))
                    truth = *i != 0;
                else if (const auto* u = std::get_if<unsigned long long>(&value))
                    truth = *u != 0;
                out += truth ? QStringLiteral("true") : QStringLiteral("false");
            } else {
                out += formatInteger(prefix, value, 'd');
            }
            break;
        case 'u':
        case 'x':
        case 'X':
        case 'o':
            out += formatInteger(prefix, value, conversion);
            break;
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
            out += formatFloating(prefix, value, conversion);
            break;
        case 's':
        case '@':
            out += formatString(prefix, value);
            break;
        default:
            out += QStringLiteral("<?>");
            break;
        }
    }
    flushLiteral(p);
    return out;
}

std::shared_ptr<LogSink> setSink(std::shared_ptr<LogSink> sink) {
    std::lock_guard lock(sinkMutex());
    auto previous = std::move(sinkSlot());
    sinkSlot() = std::move(sink);
    return previous;
}

std::shared_ptr<LogSink> sink() {
    std::lock_guard lock(sinkMutex());
    return sinkSlot();
}

void setMinimumLevel(LogLevel level) { minimumLevelSlot() = static_cast<int>(level); }

LogLevel minimumLevel() { return static_cast<LogLevel>(minimumLevelSlot().load()); }

std::optional<LogLevel> parseLevel(const QString& text) {
    const QString name = text.trimmed().toLower();
    if (name == QLatin1String("debug"))
        return LogLevel::debug;
    if (name == QLatin1String("info"))
        return LogLevel::info;
    if (name == QLatin1String("notice") || name == QLatin1String("default"))
        return LogLevel::notice;
    if (name == QLatin1String("error"))
        return LogLevel::error;
    return std::nullopt;
}

const char* levelName(LogLevel level) {
    switch (level) {
    case LogLevel::debug:
        return "debug";
    case LogLevel::info:
        return "info";
    case LogLevel::notice:
        return "notice";
    case LogLevel::error:
        return "error";
    }
    return "info";
}

bool applyEnvironmentLevel() {
    const QByteArray value = qgetenv("SAYLOOM_LOG_LEVEL");
    if (value.isEmpty()) {
        setMinimumLevel(LogLevel::info);
        return true;
    }
    const auto level = parseLevel(QString::fromUtf8(value));
    setMinimumLevel(level.value_or(LogLevel::info));
    return level.has_value();
}

} // namespace logging

Logger::Logger(QString category, QString subsystem)
    : subsystem_(std::move(subsystem))
    , category_(std::move(category)) {}

void Logger::log(LogLevel level, const char* format, std::initializer_list<LogArg> args) const {
    if (static_cast<int>(level) < static_cast<int>(logging::minimumLevel()))
        return;
    auto sink = logging::sink();
    if (!sink)
        return;
    LogRecord record{level, subsystem_, category_,
                     logging::render(format, std::span<const LogArg>(args.begin(), args.size()))};
    std::lock_guard lock(logging::sinkMutex());
    sink->write(record);
}

void StderrLogSink::write(const LogRecord& record) {
    const QByteArray line =
        QStringLiteral("sayloom[%1] %2: %3\n")
            .arg(record.category, QLatin1String(logging::levelName(record.level)), record.message)
            .toUtf8();
    std::fwrite(line.constData(), 1, line.size(), stderr);
}

} // namespace sayloom
