// A TrayIcon in a process of its own, for the tray's integration tests: it shows the icon, takes
// its inputs from standard input, one command a line, and prints each signal it receives on
// standard output ("quitRequested", "activated", ...). It ends when standard input closes.
//
//   state idle | state recording | state transcribing | state error MESSAGE
//   signed-in yes | signed-in no
//   last TEXT          (the last transcription; "last" alone clears it)

#include "engine/EngineState.h"
#include "ui/TrayIcon.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

using namespace sayloom;

namespace {

void report(const char* line) {
    std::fputs(line, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void apply(TrayIcon& tray, const QString& line) {
    const QString command = line.section(QLatin1Char(' '), 0, 0);
    const QString argument = line.section(QLatin1Char(' '), 1);
    if (command == QLatin1String("state")) {
        const QString kind = argument.section(QLatin1Char(' '), 0, 0);
        if (kind == QLatin1String("recording"))
            tray.setEngineState(EngineState::recording());
        else if (kind == QLatin1String("transcribing"))
            tray.setEngineState(EngineState::transcribing());
        else if (kind == QLatin1String("error"))
            tray.setEngineState(EngineState::error(argument.section(QLatin1Char(' '), 1)));
        else
            tray.setEngineState(EngineState::idle());
    } else if (command == QLatin1String("signed-in")) {
        tray.setSignedIn(argument == QLatin1String("yes"));
    } else if (command == QLatin1String("last")) {
        tray.setLastTranscription(argument);
    } else {
        std::fprintf(stderr, "tray probe: unknown command %s\n", qPrintable(line));
    }
}

} // namespace

int main(int argc, char** argv) {
    QApplication::setApplicationName(QStringLiteral("sayloom-tray-probe"));
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);

    TrayIcon tray;
    QObject::connect(&tray, &TrayIcon::openRequested, [] { report("openRequested"); });
    QObject::connect(&tray, &TrayIcon::copyLastTranscriptionRequested,
                     [] { report("copyLastTranscriptionRequested"); });
    QObject::connect(&tray, &TrayIcon::signOutRequested, [] { report("signOutRequested"); });
    QObject::connect(&tray, &TrayIcon::quitRequested, [] { report("quitRequested"); });
    QObject::connect(&tray, &TrayIcon::activated, [] { report("activated"); });
    tray.show();

    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[512];
        const ssize_t count = read(STDIN_FILENO, buffer, sizeof buffer);
        if (count <= 0) {
            app.quit();
            return;
        }
        pending.append(buffer, count);
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            apply(tray, QString::fromUtf8(pending.left(end)));
            pending.remove(0, end + 1);
        }
    });
    return app.exec();
}
