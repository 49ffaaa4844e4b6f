#include "platform/linux/DesktopBrowser.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QProcess>

namespace sayloom::linux_desktop {

namespace {

// Starts `program` with `arguments` on its own, its output discarded; returns why it could not
// be started.
std::optional<QString> launch(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (process.startDetached())
        return std::nullopt;
    return QStringLiteral("cannot start %1: %2").arg(program, process.errorString());
}

} // namespace

std::optional<QString> DesktopBrowser::open(const QUrl& url) {
    const QString text = QString::fromLatin1(url.toEncoded());
    const QString chosen = qEnvironmentVariable("SAYLOOM_BROWSER");
    if (!chosen.isEmpty()) {
        if (auto problem = launch(chosen, {text}))
            return *problem + QStringLiteral(" (SAYLOOM_BROWSER)");
        return std::nullopt;
    }
    // Qt's desktop services know the desktop's own opener; they need the GUI application.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        if (QDesktopServices::openUrl(url))
            return std::nullopt;
        return QStringLiteral("no program to open web pages was found (install xdg-utils, or set "
                              "SAYLOOM_BROWSER)");
    }
    return launch(QStringLiteral("xdg-open"), {text});
}

} // namespace sayloom::linux_desktop
