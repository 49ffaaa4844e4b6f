// A window that reports the keys it receives, for the key monitor's integration tests. It asks
// for the keyboard focus and prints "focus in" once it has it ("focus out" when it loses it),
// then one line per key event it receives: "press 0xffe3" or "release 0xffe3" with the keysym.
// Auto-repeats are left out. It quits when its standard input closes.

#include <QApplication>
#include <QKeyEvent>
#include <QSocketNotifier>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <unistd.h>

namespace {

void report(const QString& line) {
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

class EchoWidget final : public QWidget {
protected:
    void keyPressEvent(QKeyEvent* event) override { echo(QStringLiteral("press"), *event); }
    void keyReleaseEvent(QKeyEvent* event) override { echo(QStringLiteral("release"), *event); }

private:
    static void echo(const QString& what, const QKeyEvent& event) {
        if (!event.isAutoRepeat())
            report(QStringLiteral("%1 0x%2").arg(what).arg(event.nativeVirtualKey(), 0, 16));
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication::setApplicationName(QStringLiteral("sayloom-key-echo"));
    QApplication app(argc, argv);

    EchoWidget window;
    window.setWindowTitle(QStringLiteral("Sayloom key echo"));
    window.setFocusPolicy(Qt::StrongFocus);
    window.resize(320, 200);
    QObject::connect(&app, &QGuiApplication::focusWindowChanged, [&](QWindow* focused) {
        report(focused && focused == window.windowHandle() ? QStringLiteral("focus in")
                                                           : QStringLiteral("focus out"));
    });
    window.show();
    window.activateWindow();
    window.setFocus();

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        if (read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            app.quit();
    });
    return app.exec();
}
