#include "LogCapture.h"

namespace sayloom::testing {

class LogCapture::Sink final : public LogSink {
public:
    void write(const LogRecord& record) override {
        std::lock_guard lock(mutex);
        records.push_back(record);
    }
    mutable std::mutex mutex;
    std::vector<LogRecord> records;
};

LogCapture::LogCapture()
    : sink_(std::make_shared<Sink>())
    , previousLevel_(logging::minimumLevel()) {
    previous_ = logging::setSink(sink_);
    logging::setMinimumLevel(LogLevel::debug);
}

LogCapture::~LogCapture() {
    logging::setSink(previous_);
    logging::setMinimumLevel(previousLevel_);
}

std::vector<LogRecord> LogCapture::records() const {
    std::lock_guard lock(sink_->mutex);
    return sink_->records;
}

QStringList LogCapture::messages(const QString& category, std::optional<LogLevel> level) const {
    QStringList out;
    for (const LogRecord& record : records())
        if ((category.isEmpty() || record.category == category) &&
            (!level || record.level == *level))
            out << record.message;
    return out;
}

bool LogCapture::contains(const QString& category, LogLevel level, const QString& message) const {
    return messages(category, level).contains(message);
}

int LogCapture::countContaining(const QString& fragment) const {
    int count = 0;
    for (const LogRecord& record : records())
        count += record.message.contains(fragment) ? 1 : 0;
    return count;
}

void LogCapture::clear() {
    std::lock_guard lock(sink_->mutex);
    sink_->records.clear();
}

} // namespace sayloom::testing
