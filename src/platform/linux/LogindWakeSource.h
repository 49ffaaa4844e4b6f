#pragma once

#include "engine/EnginePorts.h"
#include "support/Logger.h"

namespace sayloom::linux_desktop {

// Reports waking from sleep: logind's PrepareForSleep(false) on the system bus. Without a system
// bus or without logind it says so once in the log and never fires.
class LogindWakeSource final : public WakeSource {
    Q_OBJECT
public:
    explicit LogindWakeSource(QObject* parent = nullptr);

    // Whether the wake signal is being listened for.
    bool isListening() const { return listening_; }

private Q_SLOTS:
    void prepareForSleep(bool start);

private:
    bool listening_ = false;
    Logger log_{QStringLiteral("engine")};
};

} // namespace sayloom::linux_desktop
