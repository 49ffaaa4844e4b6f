#pragma once

#include "app/ApplicationShell.h"
#include "support/WebBrowser.h"

#include <QList>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace sayloom::testing {

// A browser that records the pages it was asked to open, and fails to launch when told to.
class FakeWebBrowser final : public WebBrowser {
public:
    std::optional<QString> open(const QUrl& url) override {
        opened << url;
        return launchProblem;
    }

    QList<QUrl> opened;
    std::optional<QString> launchProblem;
};

// An application shell that records what it was asked to show, as "front", "settings" and
// "alert: MESSAGE | TEXT".
class FakeApplicationShell final : public ApplicationShell {
public:
    void bringToFront() override { calls << QStringLiteral("front"); }
    void showSettingsWindow() override { calls << QStringLiteral("settings"); }
    void showWarningAlert(const QString& message, const QString& informativeText) override {
        calls << QStringLiteral("alert: %1 | %2").arg(message, informativeText);
    }

    QStringList calls;
};

} // namespace sayloom::testing
