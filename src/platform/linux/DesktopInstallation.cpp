#include "platform/linux/DesktopInstallation.h"

#include "platform/linux/DesktopEntryFile.h"
#include "platform/linux/DesktopEntryIndex.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace sayloom::linux_desktop {

DesktopInstallation::DesktopInstallation(const QString& runningExecutable,
                                         const QStringList& systemApplicationFolders)
    : executable_(runningExecutable) {
    const QString running = QFileInfo(runningExecutable).canonicalFilePath();
    for (const QString& folder : systemApplicationFolders) {
        const QString entry =
            QDir(folder).filePath(QString::fromLatin1(DesktopEntryFile::kFileName));
        if (!QFileInfo(entry).isFile())
            continue;
        // The first entry of that name is the one the desktop shows and starts; whether it
        // starts us decides, whatever lower folders hold.
        const auto exec = DesktopEntryFile::value(entry, QStringLiteral("Exec"));
        auto program = exec ? DesktopEntryFile::execProgram(*exec) : std::nullopt;
        // A bare name is looked up on PATH, as the desktop would.
        if (program && !program->contains(QLatin1Char('/')))
            program = QStandardPaths::findExecutable(*program);
        if (program && QDir::isAbsolutePath(*program) && !running.isEmpty() &&
            QFileInfo(*program).canonicalFilePath() == running) {
            systemEntry_ = entry;
            executable_ = *program;
        }
        return;
    }
}

DesktopInstallation DesktopInstallation::current() {
    return DesktopInstallation(QCoreApplication::applicationFilePath(),
                               DesktopEntryIndex::systemApplicationFolders());
}

} // namespace sayloom::linux_desktop
