#include "VirtualScheduler.h"

#include "ui/MotionPreference.h"
#include "ui/RecordingIndicator.h"
#include "ui/RecordingPillView.h"

#include <QApplication>
#include <QScreen>

#include <gtest/gtest.h>

using namespace sayloom;

namespace {

class RecordingIndicatorTest : public ::testing::Test, public MotionPreference {
protected:
    bool reduceMotion() const override { return reduce; }

    // The pill windows a person would see.
    static int visiblePills() {
        int count = 0;
        for (QWidget* widget : QApplication::topLevelWidgets())
            count += qobject_cast<RecordingPillView*>(widget) && widget->isVisible();
        return count;
    }

    // Centred on the available area, its bottom edge 30 px above the area's.
    void expectAtTheBottomCentre() {
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect place = indicator.window()->geometry();
        EXPECT_EQ(place.size(), indicator.window()->sizeHint());
        EXPECT_LE(std::abs(place.center().x() - available.center().x()), 1);
        EXPECT_EQ(place.bottom() + 30, available.bottom());
    }

    bool reduce = false;
    sayloom::testing::VirtualScheduler scheduler;
    RecordingIndicator indicator{scheduler, *this};
};

TEST_F(RecordingIndicatorTest, ShowsOneWindowAtMostAndHidesHarmlessly) {
    indicator.hide();
    indicator.show();
    RecordingPillView* first = indicator.window();
    indicator.show();
    EXPECT_EQ(indicator.window(), first);
    EXPECT_EQ(visiblePills(), 1);
    indicator.hide();
    indicator.hide();
    EXPECT_FALSE(indicator.isShown());
    EXPECT_EQ(visiblePills(), 0);
}

TEST_F(RecordingIndicatorTest, PlacesTheWindowForItsContent) {
    indicator.setState(EngineState::recording());
    indicator.show();
    EXPECT_EQ(indicator.window()->width(), 140);
    expectAtTheBottomCentre();
    indicator.setNotice(QStringLiteral("Recording stops in one minute, keep going"));
    EXPECT_GT(indicator.window()->width(), 140);
    expectAtTheBottomCentre();

    // A new window starts with what was set while there was none.
    indicator.hide();
    indicator.setState(EngineState::transcribing());
    indicator.setTranslationTarget(QStringLiteral("German"));
    indicator.show();
    EXPECT_EQ(indicator.window()->accessibleName(), "Transcribing, translating to German");
    EXPECT_EQ(indicator.window()->labelText(), "Recording stops in one minute, keep going");
    expectAtTheBottomCentre();
}

TEST_F(RecordingIndicatorTest, TicksOnlyWhileSomethingMovesOnScreen) {
    indicator.setState(EngineState::recording());
    indicator.show();
    EXPECT_EQ(indicator.window()->windowOpacity(), 0.0);
    scheduler.advance(RecordingPillView::kFrameInterval);
    EXPECT_NEAR(indicator.window()->windowOpacity(), 0.32, 0.01);
    scheduler.advance(RecordingIndicator::kFadeInDuration);
    EXPECT_EQ(indicator.window()->windowOpacity(), 1.0);
    EXPECT_EQ(scheduler.pendingCount(), 1u) << "the pulsing dot's frame tick";

    indicator.setState(EngineState::idle());
    EXPECT_EQ(scheduler.pendingCount(), 0u);
    indicator.setState(EngineState::transcribing());
    EXPECT_EQ(scheduler.pendingCount(), 1u);
    indicator.hide();
    indicator.setState(EngineState::recording());
    EXPECT_EQ(scheduler.pendingCount(), 0u) << "nothing ticks while hidden";

    reduce = true;
    indicator.show();
    EXPECT_EQ(indicator.window()->windowOpacity(), 1.0);
    indicator.setAudioLevel(0.5f);
    indicator.setState(EngineState::transcribing());
    EXPECT_EQ(scheduler.pendingCount(), 0u) << "no animation with reduced motion";
}

} // namespace
