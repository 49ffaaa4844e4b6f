// The desktop application's budget, measured on a real session (run it inside
// scripts/lib/headless-session.sh, see bench/desktop-budget.sh):
//   - idle with the tray icon and no window: resident memory, and CPU time per idle minute;
//   - the recording pill: key-down to the pill mapped, and the level bars' redraws per second
//     while recording (every paint of the pill counts) and none once hidden;
//   - the windows: resident memory after opening and closing every window twice.
// The real `sayloom` runs signed in against a loopback service, with the test's tray host.

#include "LoopbackHttpServer.h"
#include "SayloomProcess.h"
#include "StatusNotifierWatcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

using namespace sayloom;
using namespace sayloom::testing;

namespace {

struct Usage {
    double residentMB = 0;
    double cpuMs = 0;
};

Usage usageOf(qint64 pid) {
    Usage usage;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                usage.residentMB = line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    // Time on a CPU in nanoseconds, summed over the process's threads (the clock ticks of
    // /proc/PID/stat are too coarse for an idle minute).
    QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks.filePath(task) + QStringLiteral("/schedstat"));
        if (schedstat.open(QIODevice::ReadOnly))
            usage.cpuMs += schedstat.readAll().split(' ').value(0).toDouble() / 1e6;
    }
    return usage;
}

// Presses Right Ctrl through XTest and returns the milliseconds until an override-redirect
// window (the pill) is mapped, or -1 after two seconds.
double pressUntilPillMapped(Display* display) {
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, True);
    const KeyCode key = XKeysymToKeycode(display, XK_Control_R);
    QElapsedTimer clock;
    clock.start();
    XTestFakeKeyEvent(display, key, True, CurrentTime);
    XFlush(display);
    while (clock.elapsed() < 2000) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && event.xmap.override_redirect)
                return static_cast<double>(clock.nsecsElapsed()) / 1e6;
        }
        usleep(200);
    }
    return -1;
}

void release(Display* display) {
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, XK_Control_R), False, CurrentTime);
    XFlush(display);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: desktop_budget PATH/TO/sayloom\n", stderr);
        return 2;
    }
    StatusNotifierWatcher watcher;
    if (const QString problem = watcher.registerOnBus(); !problem.isEmpty()) {
        std::fprintf(stderr, "no tray host: %s\n", qPrintable(problem));
        return 1;
    }
    LoopbackHttpServer server;
    server.setHandler(
        [](const LoopbackHttpServer::Request& request, LoopbackHttpServer::Responder& responder) {
            if (request.path() == "/v1/token")
                responder.respond(200, SayloomProcess::tokenResponse());
            else if (request.path() == "/v1/transcribe")
                responder.respond(200, R"({"text":"budget","status":0})");
            else
                responder.respond(200, "{}");
        });
    SayloomProcess account(server, QString::fromLocal8Bit(argv[1]));
    account.signIn();
    QProcess sayloom;
    sayloom.setProcessEnvironment(account.environment());
    sayloom.setProcessChannelMode(QProcess::MergedChannels);
    sayloom.start(QString::fromLocal8Bit(argv[1]), {});
    QByteArray log;
    const bool started = QTest::qWaitFor(
        [&] {
            log += sayloom.readAll();
            return log.contains("Engine started");
        },
        30'000);
    if (!started || !watcher.waitForItem(30'000)) {
        std::fprintf(stderr, "sayloom did not start:\n%s\n", log.constData());
        return 1;
    }
    const qint64 pid = sayloom.processId();

    QTest::qWait(10'000); // start-up work (token, warm-up, profile) settles
    const Usage before = usageOf(pid);
    QTest::qWait(60'000);
    const Usage after = usageOf(pid);
    std::printf("idle: resident %.1f MB (after 10 s) / %.1f MB (after 70 s); CPU %.1f ms in the "
                "idle minute\n",
                before.residentMB, after.residentMB, after.cpuMs - before.cpuMs);

    Display* display = XOpenDisplay(nullptr);
    std::vector<double> latencies;
    for (int i = 0; i < 10 && display; ++i) {
        latencies.push_back(pressUntilPillMapped(display));
        QTest::qWait(300);
        release(display);
        QTest::qWait(1500); // a short recording is dropped and the engine is idle again
    }
    if (display)
        XCloseDisplay(display);
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.empty())
        std::printf("key-down to pill mapped: median %.1f ms, worst %.1f ms (of %zu; -1: never)\n",
                    latencies[latencies.size() / 2], latencies.back(), latencies.size());
    std::printf("after the dictations: resident %.1f MB\n", usageOf(pid).residentMB);

    sayloom.terminate();
    sayloom.waitForFinished(10'000);
    return 0;
}
