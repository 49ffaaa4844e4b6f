#include "VirtualScheduler.h"

#include "ui/RecordingPillView.h"

#include <QAccessible>
#include <QImage>

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::testing;
using namespace std::chrono_literals;

namespace {

using Text = std::optional<QString>;

class RecordingPillViewTest : public ::testing::Test {
protected:
    QSize show(const EngineState& state, Text notice = {}, Text target = {}) {
        view.setState(state);
        view.setNotice(std::move(notice));
        view.setTranslationTarget(std::move(target));
        view.resize(view.sizeHint());
        return view.sizeHint();
    }

    // Pixels of the drawn pill within `area` close to `color`.
    int pixelsLike(const QRect& area, QColor color) {
        const QImage image = view.grab().toImage();
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                count += std::abs(pixel.red() - color.red()) < 24 &&
                         std::abs(pixel.green() - color.green()) < 24 &&
                         std::abs(pixel.blue() - color.blue()) < 24;
            }
        return count;
    }

    VirtualScheduler scheduler;
    RecordingPillView view{scheduler};
};

TEST_F(RecordingPillViewTest, LabelAndAccessibleNameFollowStateNoticeAndTarget) {
    const QString german = QStringLiteral("German");
    const struct {
        EngineState state;
        Text notice, target;
        QString label, name;
    } cases[] = {
        {EngineState::recording(), {}, {}, {}, "Listening"},
        {EngineState::recording(), {}, german, "Listening…", "Listening, translating to German"},
        {EngineState::recording(), "1 minute left", {}, "1 minute left", "Listening"},
        {EngineState::recording(), QString(), QString(), {}, "Listening"},
        {EngineState::transcribing(), {}, {}, "Processing…", "Transcribing"},
        {EngineState::transcribing(), "Hi", german, "Hi", "Transcribing, translating to German"},
        {EngineState::error("No microphone"), {}, german, {}, "No microphone"},
        // Between dictations the pill shows only for a notice.
        {EngineState::idle(),
         "Copied. Press Ctrl+V to paste",
         {},
         "Copied. Press Ctrl+V to paste",
         "Copied. Press Ctrl+V to paste"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString() + " / " + c.label.toStdString());
        show(c.state, c.notice, c.target);
        EXPECT_EQ(view.labelText(), c.label);
        // What a screen reader reads: one element, no parts of its own.
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&view);
        EXPECT_EQ(accessible->text(QAccessible::Name), c.name);
        EXPECT_EQ(accessible->childCount(), 0);
    }
}

TEST_F(RecordingPillViewTest, SizeFollowsTheContent) {
    EXPECT_EQ(show(EngineState::recording()).width(), 140);
    EXPECT_EQ(show(EngineState::transcribing()).width(), 140);
    // A notice shorter than "Processing…" keeps the room reserved for the label.
    const QSize withTarget = show(EngineState::recording(), {}, QStringLiteral("German"));
    EXPECT_EQ(show(EngineState::recording(), "Hi", QStringLiteral("German")), withTarget);

    const QSize shortError = show(EngineState::error("No microphone"));
    const QSize longError = show(EngineState::error(QString(40, QLatin1Char('x')).repeated(5)));
    EXPECT_LE(longError.width(), 400);
    EXPECT_GT(longError.height(), shortError.height()) << "the message wraps";
}

TEST_F(RecordingPillViewTest, AnimationsFollowTheScheduler) {
    show(EngineState::recording());
    const auto middleBar = [&] { return view.barHeights()[12]; };
    view.setAudioLevel(1.0f);
    EXPECT_EQ(middleBar(), 0.0);
    scheduler.advance(40ms);
    EXPECT_GT(middleBar(), 0.0);
    EXPECT_LT(middleBar(), RecordingPillView::kBarMaxHeight);
    // The dot half way down from 1 to 0.2 after 0.3 s, at 0.2 after 0.6 s, back at 1 after 1.2 s.
    scheduler.advance(260ms);
    EXPECT_NEAR(view.dotOpacity(), 0.6, 1e-6);
    EXPECT_DOUBLE_EQ(middleBar(), RecordingPillView::kBarMaxHeight);
    scheduler.advance(300ms);
    EXPECT_NEAR(view.dotOpacity(), 0.2, 1e-6);
    scheduler.advance(600ms);
    EXPECT_NEAR(view.dotOpacity(), 1.0, 1e-6);

    // One turn in 0.8 s, from the top again for the next transcription.
    show(EngineState::transcribing());
    scheduler.advance(700ms);
    EXPECT_NEAR(view.spinnerAngle(), 315.0, 1e-6);
    show(EngineState::recording());
    show(EngineState::transcribing());
    EXPECT_EQ(view.spinnerAngle(), 0.0);

    view.setReduceMotion(true);
    show(EngineState::recording());
    view.setAudioLevel(0.1f);
    EXPECT_NEAR(middleBar(), 0.35 * RecordingPillView::kBarMaxHeight, 1e-6);
    scheduler.advance(300ms);
    EXPECT_EQ(view.dotOpacity(), 1.0);
}

TEST_F(RecordingPillViewTest, DrawsWhatTheStateSays) {
    view.setReduceMotion(true);
    show(EngineState::recording());
    const QRect dot(10, 0, 8, view.height()), bars(24, 0, 106, view.height());
    EXPECT_GT(pixelsLike(dot, QColor(239, 68, 68)), 20);
    EXPECT_EQ(pixelsLike(bars, Qt::white), 0) << "silence shows no bars";
    view.setAudioLevel(0.5f);
    EXPECT_GT(pixelsLike(bars, Qt::white), 24 * 5);

    // Orange on dark brown: (0.3, 0.15, 0) at 0.9 over the opaque window's black.
    show(EngineState::error("No microphone"));
    const QRect all(QPoint(), view.sizeHint());
    EXPECT_GT(pixelsLike(all, QColor(69, 34, 0)), all.width() * 10);
    EXPECT_GT(pixelsLike(all, QColor(255, 165, 0)), 30);
}

} // namespace
