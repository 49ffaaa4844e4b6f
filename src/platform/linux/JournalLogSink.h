#pragma once

#include "support/Logger.h"

namespace sayloom::linux_desktop {

// Sends log lines to the systemd journal with their priority, subsystem and category as fields.
class JournalLogSink final : public LogSink {
public:
    void write(const LogRecord& record) override;

    // True when systemd connected our stderr to the journal (JOURNAL_STREAM is set).
    static bool startedBySystemd();
};

} // namespace sayloom::linux_desktop
