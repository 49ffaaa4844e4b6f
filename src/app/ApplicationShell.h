#pragma once

#include <QString>

namespace sayloom {

// What the deep links and the account flows ask of the application around them: its windows and
// alerts. The desktop application shows windows; a headless process reports in text.
class ApplicationShell {
public:
    virtual ~ApplicationShell() = default;
    // Raises and activates Sayloom's window in front, as after a sign-in in the browser.
    virtual void bringToFront() = 0;
    // The settings window (the sign-in window when nobody is signed in).
    virtual void showSettingsWindow() = 0;
    // A warning the user must acknowledge: a short message and a sentence of explanation.
    virtual void showWarningAlert(const QString& message, const QString& informativeText) = 0;
};

} // namespace sayloom
