// The two processes of the recording indicator's integration test. With --field: a line edit
// filling the screen, which takes the focus and prints "window ID", then "focus out" if it loses
// the focus and "press X Y" for each mouse press. Without: the indicator, driven by the commands
// "show" (answered "window ID"), "hide", "record" and "notice TEXT" (answered "ok") on standard
// input. Either quits when its standard input closes.

#include "support/QtScheduler.h"
#include "ui/MotionPreference.h"
#include "ui/RecordingIndicator.h"
#include "ui/RecordingPillView.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>
#include <QSocketNotifier>
#include <QWindow>

#include <cstdio>
#include <unistd.h>

using namespace sayloom;

namespace {

void report(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

class AnimationsOn final : public MotionPreference {
public:
    bool reduceMotion() const override { return false; }
};

class Field final : public QLineEdit {
protected:
    void mousePressEvent(QMouseEvent* event) override {
        const QPoint at = event->globalPosition().toPoint();
        report(QStringLiteral("press %1 %2").arg(at.x()).arg(at.y()));
        QLineEdit::mousePressEvent(event);
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QtScheduler scheduler;
    AnimationsOn motion;
    RecordingIndicator indicator(scheduler, motion);
    Field field;

    if (app.arguments().contains(QStringLiteral("--field"))) {
        field.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
        field.show();
        field.activateWindow();
        QObject::connect(&app, &QGuiApplication::focusWindowChanged, [&](QWindow* focused) {
            if (!focused)
                report(QStringLiteral("focus out"));
        });
        report(QStringLiteral("window %1").arg(field.winId()));
    }

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[4096];
        const ssize_t count = read(STDIN_FILENO, buffer, sizeof buffer - 1);
        if (count <= 0)
            return app.quit();
        for (const QString& line :
             QString::fromUtf8(buffer, count).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            if (line == QLatin1String("show")) {
                indicator.show();
                report(QStringLiteral("window %1").arg(indicator.window()->winId()));
                continue;
            }
            if (line == QLatin1String("hide")) {
                indicator.hide();
            } else if (line == QLatin1String("record")) {
                indicator.setState(EngineState::recording());
                indicator.setAudioLevel(0.4f);
            } else if (line.startsWith(QLatin1String("notice "))) {
                indicator.setNotice(line.mid(7));
            }
            report(QStringLiteral("ok"));
        }
    });
    return app.exec();
}
