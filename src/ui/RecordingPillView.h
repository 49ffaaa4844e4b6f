#pragma once

#include "engine/EngineState.h"
#include "support/Scheduler.h"

#include <QFont>
#include <QRectF>
#include <QStringList>
#include <QWidget>

#include <optional>
#include <vector>

namespace sayloom {

// The content of the recording indicator: a small dark pill at the bottom of the screen. While
// recording it shows a pulsing red dot and level bars, while transcribing a turning spinner, and
// beside them a label (a notice, "Listening…" or "Processing…") and the translation target. An
// error state shows the message in an orange pill instead.
//
// Painted with QPainter; it computes its own size from what it shows and says when that size
// changes. Animations run on the scheduler: one frame tick while something moves and the widget
// is visible, none otherwise, and none at all with reduced motion.
class RecordingPillView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kCompactWidth = 140;
    static constexpr int kMaxErrorWidth = 400;
    static constexpr double kBarMaxHeight = 16;
    static constexpr Duration kFrameInterval = std::chrono::milliseconds(16);

    explicit RecordingPillView(Scheduler& scheduler, QWidget* parent = nullptr);
    ~RecordingPillView() override;

    void setState(const EngineState& state);
    void setAudioLevel(float level);
    void setTranslationTarget(std::optional<QString> target);
    void setNotice(std::optional<QString> notice);
    void setReduceMotion(bool reduce);

    const EngineState& state() const { return state_; }
    // The label beside the dot or spinner as drawn (before elision); empty when none is drawn.
    QString labelText() const;
    // What assistive technologies read for the pill (also its accessible name).
    QString accessibleText() const;

    // What is drawn at this moment: bar heights in pixels, the dot's opacity, the spinner's angle
    // in degrees.
    std::vector<double> barHeights() const;
    double dotOpacity() const;
    double spinnerAngle() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

Q_SIGNALS:
    // The size the pill needs changed (a longer notice, another state).
    void preferredSizeChanged(QSize size);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Where everything goes, in widget coordinates; recomputed when an input changes.
    struct Layout {
        QSize size;
        bool error = false;
        std::optional<QRectF> dot, bars, spinner, label, chip, chipArrow, chipNameRect;
        QString labelText;
        QString chipName;
        QRectF symbol, message;
        QStringList messageLines;
    };

    bool isCompact() const;
    void relayout();
    Layout computeNormalLayout() const;
    Layout computeErrorLayout() const;
    void updateTicking();
    double secondsSince(MonotonicInstant start) const;
    void paintNormal(QPainter& painter) const;
    void paintError(QPainter& painter) const;

    Scheduler& scheduler_;
    EngineState state_ = EngineState::idle();
    std::optional<QString> target_;
    std::optional<QString> notice_;
    bool reduceMotion_ = false;

    // Bars ease from `barsFrom_` to `barsTo_` (fractions) starting at `barsStart_`.
    std::vector<double> barsFrom_;
    std::vector<double> barsTo_;
    MonotonicInstant barsStart_;
    MonotonicInstant pulseStart_;
    MonotonicInstant spinStart_;
    Timer tick_;
    bool onScreen_ = false;

    QFont labelFont_, chipArrowFont_, chipNameFont_, messageFont_;
    Layout layout_;
};

} // namespace sayloom
