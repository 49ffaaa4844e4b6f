#include "platform/linux/JournalLogSink.h"

#include <systemd/sd-journal.h>

#include <syslog.h>

namespace sayloom::linux_desktop {

namespace {

int priority(LogLevel level) {
    switch (level) {
    case LogLevel::debug:
        return LOG_DEBUG;
    case LogLevel::info:
        return LOG_INFO;
    case LogLevel::notice:
        return LOG_NOTICE;
    case LogLevel::error:
        return LOG_ERR;
    }
    return LOG_INFO;
}

} // namespace

void JournalLogSink::write(const LogRecord& record) {
    const QByteArray message = record.message.toUtf8();
    const QByteArray subsystem = record.subsystem.toUtf8();
    const QByteArray category = record.category.toUtf8();
    sd_journal_send("MESSAGE=%s", message.constData(), "PRIORITY=%i", priority(record.level),
                    "SYSLOG_IDENTIFIER=sayloom", "SAYLOOM_SUBSYSTEM=%s", subsystem.constData(),
                    "SAYLOOM_CATEGORY=%s", category.constData(), nullptr);
}

bool JournalLogSink::startedBySystemd() { return !qgetenv("JOURNAL_STREAM").isEmpty(); }

} // namespace sayloom::linux_desktop
