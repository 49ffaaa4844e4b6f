// The windows' and the pill's share of the desktop budget, measured in process on a real display
// (bench/desktop-budget.sh runs it in the test session):
//   - resident memory after opening and closing every window twice, against before the first;
//   - the pill's redraws per second while recording, fed levels at the capture rate, and its
//     redraws and timers once hidden.

#include "UpdateCollaborators.h"

#include "app/AppWindow.h"
#include "support/QtScheduler.h"
#include "ui/MotionPreference.h"
#include "ui/RecordingIndicator.h"
#include "ui/RecordingPillView.h"
#include "ui/WidgetWindowFactory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <cstdio>

using namespace sayloom;
using namespace sayloom::testing;

namespace {

double residentMB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

class CountPaints final : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
    int paints = 0;
};

class AnimationsOn final : public MotionPreference {
public:
    bool reduceMotion() const override { return false; }
};

// Feeds levels as the capture thread posts them (a 1024-frame buffer at 48 kHz, ~47 a second)
// for `ms`, and returns the pill's paints meanwhile.
int paintsWhileFeeding(RecordingIndicator& indicator, CountPaints& counter, int ms) {
    counter.paints = 0;
    QElapsedTimer clock;
    clock.start();
    int step = 0;
    while (clock.elapsed() < ms) {
        indicator.setAudioLevel(0.05f + 0.04f * static_cast<float>(step++ % 7));
        QTest::qWait(21);
    }
    return counter.paints;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    UpdateCollaborators update;
    WidgetWindowFactory windows(
        {[](SignInProvider) -> QCoro::Task<void> { co_return; }, update.updates, update.links});
    QTest::qWait(200);
    const double start = residentMB();
    for (int round = 0; round < 2; ++round) {
        std::vector<std::unique_ptr<AppWindow>> open;
        open.push_back(windows.makeLoginWindow());
        open.push_back(windows.makeLimitWindow(
            QStringLiteral("Ada Lovelace"), [] {}, [] {}));
        open.push_back(windows.makePermissionsWindow(
            false, true, [] {}, [] {}));
        for (auto& window : open) {
            window->present();
            QTest::qWait(300);
            window->close();
        }
        open.clear();
        QTest::qWait(300); // the widgets go on a later turn
        std::printf("windows: after round %d resident %.1f MB (started at %.1f MB)\n", round + 1,
                    residentMB(), start);
    }

    QtScheduler scheduler;
    AnimationsOn motion;
    RecordingIndicator indicator(scheduler, motion);
    indicator.setState(EngineState::recording());
    indicator.show();
    CountPaints counter;
    indicator.window()->installEventFilter(&counter);
    QTest::qWait(200);
    const int shown = paintsWhileFeeding(indicator, counter, 2000);
    std::printf("pill: %.1f redraws a second while recording\n", shown / 2.0);
    indicator.hide();
    QTest::qWait(100);
    const int hidden = paintsWhileFeeding(indicator, counter, 1000);
    std::printf("pill: %d redraws in a second while hidden\n", hidden);
    return 0;
}
