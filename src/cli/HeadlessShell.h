#pragma once

#include "app/ApplicationShell.h"
#include "support/Logger.h"

namespace sayloom {

// The application shell of a process without windows: what a window would show goes to the log,
// and alerts also to stderr when a person runs the process from a terminal.
class HeadlessShell final : public ApplicationShell {
public:
    explicit HeadlessShell(bool printAlerts) : printAlerts_(printAlerts) {}

    void bringToFront() override;
    void showSettingsWindow() override;
    void showWarningAlert(const QString& message, const QString& informativeText) override;

private:
    Logger log_{QStringLiteral("app")};
    bool printAlerts_;
};

} // namespace sayloom
