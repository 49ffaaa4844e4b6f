#include "cli/HeadlessShell.h"

#include "cli/CommandOutput.h"

namespace sayloom {

void HeadlessShell::bringToFront() { log_.info("No window to bring to the front"); }

void HeadlessShell::showSettingsWindow() { log_.info("No settings window to show"); }

void HeadlessShell::showWarningAlert(const QString& message, const QString& informativeText) {
    log_.error("%{public}s: %{public}s", message, informativeText);
    if (printAlerts_)
        printError(message + QStringLiteral(": ") + informativeText);
}

} // namespace sayloom
