#include "platform/linux/DesktopProgramLauncher.h"

#include <QProcess>
#include <QStandardPaths>

namespace sayloom::linux_desktop {

bool DesktopProgramLauncher::isAvailable(const QString& program) const {
    return !QStandardPaths::findExecutable(program).isEmpty();
}

bool DesktopProgramLauncher::launch(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
}

} // namespace sayloom::linux_desktop
