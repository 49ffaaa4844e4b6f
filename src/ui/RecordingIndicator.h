#pragma once

#include "app/RecordingIndicatorPort.h"
#include "engine/EngineState.h"
#include "support/Scheduler.h"

#include <QObject>
#include <QRect>

#include <memory>
#include <optional>

namespace sayloom {

class MotionPreference;
class RecordingPillView;

// Shows the recording pill in a window of its own at the bottom centre of the primary screen,
// 30 px above the bottom of its available area, above other windows on every workspace. The
// window never takes the keyboard focus and lets clicks through to what lies below it. At most
// one window exists: show() builds it, hide() closes and drops it.
//
// The inputs (engine state, audio level, translation target, notice) are kept while no window
// exists, so that a new window starts with the current values. To follow the engine:
//
//     connect(&engine, &SayloomEngine::stateChanged, &indicator, &RecordingIndicator::setState);
//     connect(&engine, &SayloomEngine::activeTranslationTargetChanged, &indicator,
//             &RecordingIndicator::setTranslationTarget);
//     connect(&engine, &SayloomEngine::recordingNoticeChanged, &indicator,
//             &RecordingIndicator::setNotice);
//     connect(&recorder, &AudioRecorder::audioLevelChanged, &indicator,
//             &RecordingIndicator::setAudioLevel);
//
// and show() it when the state leaves idle, hide() it when the state returns to idle.
class RecordingIndicator final : public QObject, public RecordingIndicatorPort {
    Q_OBJECT

public:
    static constexpr int kBottomMargin = 30;
    static constexpr Duration kFadeInDuration = std::chrono::milliseconds(50);

    // `scheduler` drives the fade-in and the pill's animations; `motion` is asked at each show()
    // whether animations are wanted. Both must outlive the indicator.
    RecordingIndicator(Scheduler& scheduler, const MotionPreference& motion,
                       QObject* parent = nullptr);
    ~RecordingIndicator() override;

    // Builds and shows the window; does nothing while one is shown.
    void show() override;
    // Closes and drops the window; does nothing while none is shown.
    void hide() override;
    bool isShown() const { return window_ != nullptr; }
    // The pill window while shown, null otherwise.
    RecordingPillView* window() const { return window_.get(); }

    void setState(const EngineState& state);
    void setAudioLevel(float level);
    void setTranslationTarget(const std::optional<QString>& target);
    void setNotice(const std::optional<QString>& notice);

    // Where a pill of `size` goes on a screen whose available area is `available`.
    static QRect placement(QSize size, const QRect& available);

private:
    void place();
    void stepFadeIn();

    Scheduler& scheduler_;
    const MotionPreference& motion_;
    std::unique_ptr<RecordingPillView> window_;
    Timer fadeIn_;
    MonotonicInstant fadeInStart_;

    EngineState state_ = EngineState::idle();
    float level_ = 0;
    std::optional<QString> target_;
    std::optional<QString> notice_;
};

} // namespace sayloom
