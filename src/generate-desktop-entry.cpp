// Writes the desktop entry a package installs: the same text the program writes for itself from a
// build tree, for the installed executable and the URL schemes this build was configured with.
// Usage: sayloom_desktop_entry EXECUTABLE OUTPUT

#include "BuildConfig.h"
#include "app/DeepLinkAction.h"
#include "platform/linux/DesktopEntryFile.h"

#include <QSaveFile>
#include <QString>

#include <cstdio>

int main(int argc, char** argv) {
    using namespace sayloom;
    if (argc != 3) {
        std::fputs("usage: sayloom_desktop_entry EXECUTABLE OUTPUT\n", stderr);
        return 2;
    }
    const QString entry = linux_desktop::DesktopEntryFile::text(
        QString::fromLocal8Bit(argv[1]),
        DeepLinkAction::registeredSchemes(QString::fromUtf8(build::kGoogleClientId)));
    // Written every time, so that the build sees the output newer than the generator.
    QSaveFile file(QString::fromLocal8Bit(argv[2]));
    const QByteArray bytes = entry.toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        std::fprintf(stderr, "sayloom_desktop_entry: %s: %s\n", argv[2],
                     qPrintable(file.errorString()));
        return 1;
    }
    return 0;
}
