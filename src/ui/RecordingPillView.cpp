#include "ui/RecordingPillView.h"

#include "ui/WaveformBars.h"

#include <QEasingCurve>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace sayloom {

namespace {

using Kind = EngineState::Kind;

const QString kProcessing = QStringLiteral("Processing\u2026");
const QString kListening = QStringLiteral("Listening\u2026");
const QString kArrow = QStringLiteral("\u2192");

constexpr double kDotSize = 8;
constexpr double kSpinnerSize = 14;
constexpr double kSpinnerLineWidth = 2;
constexpr double kBarWidth = 2.5;
constexpr double kBarSpacing = 2;
constexpr double kBarRadius = 1.5;
constexpr double kBarsWidth =
    WaveformBars::kBarCount * kBarWidth + (WaveformBars::kBarCount - 1) * kBarSpacing;
constexpr double kRowSpacing = 6;
constexpr double kVerticalPadding = 10;
constexpr double kCompactHorizontalPadding = 10;
constexpr double kWideHorizontalPadding = 22;
constexpr double kCornerRadius = 20;
// Beyond these a notice or a target name is elided rather than stretching the pill further.
constexpr double kMaxLabelWidth = 480;
constexpr double kMaxChipNameWidth = 160;
constexpr double kChipHorizontalPadding = 6;
constexpr double kChipVerticalPadding = 2;
constexpr double kChipSpacing = 3;

constexpr double kErrorSpacing = 4;
constexpr double kErrorHorizontalPadding = 16;
constexpr double kErrorVerticalPadding = 10;
// The warning symbol, drawn at the size of a 12 px glyph.
constexpr QSizeF kSymbolSize(13, 12);
constexpr int kMaxMessageLines = 3;

constexpr double kBarEaseSeconds = 0.08;
constexpr double kPulseSeconds = 0.6;
constexpr double kPulseLowOpacity = 0.2;
constexpr double kSpinSeconds = 0.8;

const QColor kRed(239, 68, 68);
const QColor kOrange(0xff, 0xa5, 0x00);

QFont fontOf(int pixelSize, QFont::Weight weight) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

QEasingCurve cubicBezier(QPointF c1, QPointF c2) {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(c1, c2, QPointF(1, 1));
    return curve;
}

// The usual "ease-out" and "ease-in-out" timing curves.
double easeOut(double progress) {
    static const QEasingCurve curve = cubicBezier({0, 0}, {0.58, 1});
    return curve.valueForProgress(std::clamp(progress, 0.0, 1.0));
}

double easeInOut(double progress) {
    static const QEasingCurve curve = cubicBezier({0.42, 0}, {0.58, 1});
    return curve.valueForProgress(std::clamp(progress, 0.0, 1.0));
}

// A capsule while the pill is one line high, rounded corners when it is taller.
double cornerRadius(double height) { return std::min(kCornerRadius, height / 2); }

// Splits `text` into at most `maxLines` lines of at most `width`, breaking between words where it
// can and inside a word where it must; what does not fit is elided on the last line.
QStringList wrapLines(const QString& text, const QFont& font, double width, int maxLines) {
    QString flat = text;
    flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
    QTextLayout layout(flat, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() == maxLines - 1) {
            lines << QFontMetricsF(font).elidedText(flat.mid(line.textStart()).trimmed(),
                                                    Qt::ElideRight, width);
            break;
        }
        lines << flat.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

} // namespace

RecordingPillView::RecordingPillView(Scheduler& scheduler, QWidget* parent)
    : QWidget(parent)
    , scheduler_(scheduler)
    , barsFrom_(WaveformBars::kBarCount, 0.0)
    , barsTo_(WaveformBars::kBarCount, 0.0)
    , barsStart_(scheduler.monotonicNow())
    , pulseStart_(barsStart_)
    , spinStart_(barsStart_)
    , labelFont_(fontOf(13, QFont::Medium))
    , chipArrowFont_(fontOf(8, QFont::Bold))
    , chipNameFont_(fontOf(11, QFont::DemiBold))
    , messageFont_(fontOf(12, QFont::Medium)) {
    relayout();
}

RecordingPillView::~RecordingPillView() = default;

void RecordingPillView::setState(const EngineState& state) {
    if (state == state_)
        return;
    if (!state.is(state_.kind())) {
        const MonotonicInstant now = scheduler_.monotonicNow();
        // A new recording starts flat and bright; a new transcription's spinner from the top.
        if (state.is(Kind::recording)) {
            pulseStart_ = now;
            barsStart_ = now;
            std::fill(barsFrom_.begin(), barsFrom_.end(), 0.0);
            std::fill(barsTo_.begin(), barsTo_.end(), 0.0);
        }
        if (state.is(Kind::transcribing))
            spinStart_ = now;
    }
    state_ = state;
    relayout();
    updateTicking();
}

void RecordingPillView::setAudioLevel(float level) {
    std::vector<double> target = WaveformBars::heights(level, WaveformBars::kBarCount);
    if (reduceMotion_) {
        barsFrom_ = target;
    } else {
        // The bars move on from where they are drawn now.
        std::vector<double> drawn = barHeights();
        for (double& height : drawn)
            height /= kBarMaxHeight;
        barsFrom_ = std::move(drawn);
    }
    barsTo_ = std::move(target);
    barsStart_ = scheduler_.monotonicNow();
    // With reduced motion no frame tick runs: each level change is a frame of its own.
    if (state_.is(Kind::recording))
        update();
}

void RecordingPillView::setTranslationTarget(std::optional<QString> target) {
    if (target && target->isEmpty())
        target.reset();
    if (target == target_)
        return;
    target_ = std::move(target);
    relayout();
}

void RecordingPillView::setNotice(std::optional<QString> notice) {
    if (notice && notice->isEmpty())
        notice.reset();
    if (notice == notice_)
        return;
    notice_ = std::move(notice);
    relayout();
}

void RecordingPillView::setReduceMotion(bool reduce) {
    if (reduce == reduceMotion_)
        return;
    reduceMotion_ = reduce;
    if (reduce)
        barsFrom_ = barsTo_;
    updateTicking();
    update();
}

QString RecordingPillView::labelText() const {
    if (state_.is(Kind::error))
        return {};
    if (notice_)
        return *notice_;
    if (state_.is(Kind::transcribing))
        return kProcessing;
    // The compact pill has room for the dot and the bars only.
    if (target_)
        return kListening;
    return {};
}

QString RecordingPillView::accessibleText() const {
    if (state_.is(Kind::error))
        return state_.message();
    // Between dictations the pill shows only for a notice.
    if (state_.is(Kind::idle))
        return notice_.value_or(QString());
    QString text = state_.is(Kind::transcribing) ? QStringLiteral("Transcribing")
                                                 : QStringLiteral("Listening");
    if (target_)
        text += QStringLiteral(", translating to ") + *target_;
    return text;
}

std::vector<double> RecordingPillView::barHeights() const {
    const double progress =
        reduceMotion_ ? 1.0 : easeOut(secondsSince(barsStart_) / kBarEaseSeconds);
    std::vector<double> heights(barsTo_.size());
    for (std::size_t i = 0; i < heights.size(); ++i) {
        const double fraction = barsFrom_[i] + (barsTo_[i] - barsFrom_[i]) * progress;
        heights[i] = std::clamp(fraction, 0.0, 1.0) * kBarMaxHeight;
    }
    return heights;
}

double RecordingPillView::dotOpacity() const {
    if (reduceMotion_)
        return 1.0;
    // 1 → 0.2 and back, each way one pulse long.
    const double phase = std::fmod(secondsSince(pulseStart_), 2 * kPulseSeconds) / kPulseSeconds;
    const double progress = phase <= 1 ? phase : 2 - phase;
    return 1.0 - (1.0 - kPulseLowOpacity) * easeInOut(progress);
}

double RecordingPillView::spinnerAngle() const {
    if (reduceMotion_ || !state_.is(Kind::transcribing))
        return 0;
    return std::fmod(secondsSince(spinStart_), kSpinSeconds) / kSpinSeconds * 360.0;
}

QSize RecordingPillView::sizeHint() const { return layout_.size; }

double RecordingPillView::secondsSince(MonotonicInstant start) const {
    return std::chrono::duration_cast<Seconds>(scheduler_.monotonicNow() - start).count();
}

bool RecordingPillView::isCompact() const { return !target_ && !notice_; }

void RecordingPillView::relayout() {
    const QSize before = layout_.size;
    layout_ = state_.is(Kind::error) ? computeErrorLayout() : computeNormalLayout();
    setAccessibleName(accessibleText());
    if (layout_.size != before) {
        updateGeometry();
        Q_EMIT preferredSizeChanged(layout_.size);
    }
    update();
}

RecordingPillView::Layout RecordingPillView::computeNormalLayout() const {
    Layout layout;
    const bool compact = isCompact();
    const double padding = compact ? kCompactHorizontalPadding : kWideHorizontalPadding;

    // The row's items in order, each with the slot its rectangle goes to.
    struct Item {
        std::optional<QRectF> Layout::*slot;
        QSizeF size;
    };
    std::vector<Item> items;
    if (state_.is(Kind::recording)) {
        items.push_back({&Layout::dot, {kDotSize, kDotSize}});
        items.push_back({&Layout::bars, {kBarsWidth, kBarMaxHeight}});
    }
    if (state_.is(Kind::transcribing))
        items.push_back({&Layout::spinner, {kSpinnerSize, kSpinnerSize}});

    const QFontMetricsF labelMetrics(labelFont_);
    const QString label = labelText();
    if (!label.isEmpty()) {
        // Room for the longer of the label and "Processing…", so that the pill keeps its width
        // when recording turns into transcribing.
        double width = std::max(labelMetrics.horizontalAdvance(label),
                                labelMetrics.horizontalAdvance(kProcessing));
        double limit = kMaxLabelWidth;
        if (compact) {
            limit = kCompactWidth - 2 * padding;
            for (const Item& item : items)
                limit -= item.size.width() + kRowSpacing;
        }
        width = std::ceil(std::min(width, limit));
        layout.labelText = labelMetrics.elidedText(label, Qt::ElideRight, width);
        items.push_back({&Layout::label, {width, labelMetrics.height()}});
    }

    QSizeF arrowSize, nameSize;
    if (target_) {
        const QFontMetricsF arrowMetrics(chipArrowFont_);
        const QFontMetricsF nameMetrics(chipNameFont_);
        arrowSize = {arrowMetrics.horizontalAdvance(kArrow), arrowMetrics.height()};
        const double nameWidth =
            std::ceil(std::min(nameMetrics.horizontalAdvance(*target_), kMaxChipNameWidth));
        layout.chipName = nameMetrics.elidedText(*target_, Qt::ElideRight, nameWidth);
        nameSize = {nameWidth, nameMetrics.height()};
        items.push_back(
            {&Layout::chip,
             {2 * kChipHorizontalPadding + arrowSize.width() + kChipSpacing + nameSize.width(),
              2 * kChipVerticalPadding + std::max(arrowSize.height(), nameSize.height())}});
    }

    double rowWidth = 0;
    // An empty row still has the height of a line of text.
    double rowHeight = labelMetrics.height();
    for (const Item& item : items) {
        rowWidth += item.size.width();
        rowHeight = std::max(rowHeight, item.size.height());
    }
    if (!items.empty())
        rowWidth += kRowSpacing * static_cast<double>(items.size() - 1);

    const int width = compact ? kCompactWidth : static_cast<int>(std::ceil(rowWidth + 2 * padding));
    const int height = static_cast<int>(std::ceil(rowHeight + 2 * kVerticalPadding));
    layout.size = QSize(width, height);

    // The row is centred: in the compact pill it may be narrower than the fixed width.
    double x = std::round((width - rowWidth) / 2);
    for (const Item& item : items) {
        const double y = (height - item.size.height()) / 2;
        layout.*item.slot = QRectF(QPointF(x, y), item.size);
        x += item.size.width() + kRowSpacing;
    }
    if (layout.chip) {
        const QRectF chip = *layout.chip;
        const double left = chip.left() + kChipHorizontalPadding;
        layout.chipArrow =
            QRectF(QPointF(left, chip.center().y() - arrowSize.height() / 2), arrowSize);
        layout.chipNameRect = QRectF(QPointF(left + arrowSize.width() + kChipSpacing,
                                             chip.center().y() - nameSize.height() / 2),
                                     nameSize);
    }
    return layout;
}

RecordingPillView::Layout RecordingPillView::computeErrorLayout() const {
    Layout layout;
    layout.error = true;
    const QFontMetricsF metrics(messageFont_);
    const double maxTextWidth =
        kMaxErrorWidth - 2 * kErrorHorizontalPadding - kSymbolSize.width() - kErrorSpacing;
    layout.messageLines = wrapLines(state_.message(), messageFont_, maxTextWidth, kMaxMessageLines);
    double textWidth = 0;
    for (const QString& line : layout.messageLines)
        textWidth = std::max(textWidth, metrics.horizontalAdvance(line));
    textWidth = std::min(std::ceil(textWidth), maxTextWidth);
    const double textHeight =
        metrics.height() +
        metrics.lineSpacing() * std::max<qsizetype>(layout.messageLines.size() - 1, 0);

    const double rowHeight = std::max(kSymbolSize.height(), textHeight);
    const int width = static_cast<int>(
        std::ceil(2 * kErrorHorizontalPadding + kSymbolSize.width() + kErrorSpacing + textWidth));
    const int height = static_cast<int>(std::ceil(rowHeight + 2 * kErrorVerticalPadding));
    layout.size = QSize(width, height);
    layout.symbol =
        QRectF(QPointF(kErrorHorizontalPadding, (height - kSymbolSize.height()) / 2), kSymbolSize);
    layout.message = QRectF(kErrorHorizontalPadding + kSymbolSize.width() + kErrorSpacing,
                            (height - textHeight) / 2, textWidth, textHeight);
    return layout;
}

void RecordingPillView::updateTicking() {
    const bool animating = onScreen_ && !reduceMotion_ &&
                           (state_.is(Kind::recording) || state_.is(Kind::transcribing));
    if (!animating) {
        tick_.cancel();
        return;
    }
    if (!tick_.isActive())
        tick_ = scheduler_.scheduleRepeating(kFrameInterval, [this] { update(); });
}

void RecordingPillView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    onScreen_ = true;
    updateTicking();
}

void RecordingPillView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    onScreen_ = false;
    updateTicking();
}

void RecordingPillView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Without a compositor the window cannot be see-through: its shape gives the rounded ends.
    if (testAttribute(Qt::WA_TranslucentBackground)) {
        clearMask();
        return;
    }
    QPainterPath shape;
    const double radius = cornerRadius(height());
    shape.addRoundedRect(QRectF(rect()), radius, radius);
    setMask(QRegion(shape.toFillPolygon().toPolygon()));
}

void RecordingPillView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!testAttribute(Qt::WA_TranslucentBackground))
        painter.fillRect(rect(), Qt::black);
    if (layout_.error)
        paintError(painter);
    else
        paintNormal(painter);
}

void RecordingPillView::paintNormal(QPainter& painter) const {
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = cornerRadius(frame.height());
    painter.setPen(QPen(QColor::fromRgbF(0.2f, 0.2f, 0.2f, 0.8f), 1));
    painter.setBrush(QColor(0, 0, 0, 229));
    painter.drawRoundedRect(frame, radius, radius);

    painter.setPen(Qt::NoPen);
    if (layout_.dot) {
        painter.setBrush(withAlpha(kRed, dotOpacity()));
        painter.drawEllipse(*layout_.dot);
    }
    if (layout_.bars) {
        painter.setBrush(Qt::white);
        const std::vector<double> heights = barHeights();
        for (std::size_t i = 0; i < heights.size(); ++i) {
            const double height = heights[i];
            if (height <= 0)
                continue;
            const QRectF bar(layout_.bars->left() +
                                 static_cast<double>(i) * (kBarWidth + kBarSpacing),
                             layout_.bars->bottom() - height, kBarWidth, height);
            const double barRadius = std::min({kBarRadius, bar.width() / 2, bar.height() / 2});
            painter.drawRoundedRect(bar, barRadius, barRadius);
        }
    }
    if (layout_.spinner) {
        painter.save();
        painter.translate(layout_.spinner->center());
        painter.rotate(spinnerAngle());
        const double radius = (kSpinnerSize - kSpinnerLineWidth) / 2;
        painter.setPen(QPen(QColor::fromRgbF(0.7f, 0.7f, 0.7f), kSpinnerLineWidth, Qt::SolidLine,
                            Qt::RoundCap));
        painter.setBrush(Qt::NoBrush);
        // Three quarters of a circle, its open quarter turning clockwise.
        painter.drawArc(QRectF(-radius, -radius, 2 * radius, 2 * radius), 90 * 16, -270 * 16);
        painter.restore();
    }
    if (layout_.label) {
        painter.setPen(Qt::white);
        painter.setFont(labelFont_);
        painter.drawText(*layout_.label, Qt::AlignLeft | Qt::AlignVCenter, layout_.labelText);
    }
    if (layout_.chip) {
        const QRectF chip = *layout_.chip;
        painter.setPen(Qt::NoPen);
        painter.setBrush(withAlpha(Qt::white, 0.15));
        painter.drawRoundedRect(chip, chip.height() / 2, chip.height() / 2);
        painter.setPen(withAlpha(Qt::white, 0.9));
        painter.setFont(chipArrowFont_);
        painter.drawText(*layout_.chipArrow, Qt::AlignCenter, kArrow);
        painter.setFont(chipNameFont_);
        painter.drawText(*layout_.chipNameRect, Qt::AlignLeft | Qt::AlignVCenter, layout_.chipName);
    }
}

void RecordingPillView::paintError(QPainter& painter) const {
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = cornerRadius(frame.height());
    painter.setPen(QPen(withAlpha(kOrange, 0.5), 1));
    painter.setBrush(QColor::fromRgbF(0.3f, 0.15f, 0.0f, 0.9f));
    painter.drawRoundedRect(frame, radius, radius);

    // A filled warning triangle with the exclamation mark left open.
    const QRectF box = layout_.symbol;
    const double lineWidth = 1.5;
    const QRectF inner = box.adjusted(lineWidth / 2, lineWidth / 2, -lineWidth / 2, -lineWidth / 2);
    const QPolygonF triangle{
        {inner.center().x(), inner.top()}, inner.bottomRight(), inner.bottomLeft()};
    QPainterPath mark;
    const double markWidth = 1.6;
    mark.addRoundedRect(QRectF(box.center().x() - markWidth / 2, box.top() + box.height() * 0.33,
                               markWidth, box.height() * 0.36),
                        markWidth / 2, markWidth / 2);
    mark.addEllipse(QPointF(box.center().x(), box.top() + box.height() * 0.83), 0.95, 0.95);
    QPainterPath body;
    body.addPolygon(triangle);
    body.closeSubpath();
    painter.setPen(QPen(kOrange, lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolygon(triangle);
    painter.fillPath(body.subtracted(mark), kOrange);

    painter.setPen(kOrange);
    painter.setFont(messageFont_);
    const QFontMetricsF metrics(messageFont_);
    double baseline = layout_.message.top() + metrics.ascent();
    for (const QString& line : layout_.messageLines) {
        painter.drawText(QPointF(layout_.message.left(), baseline), line);
        baseline += metrics.lineSpacing();
    }
}

} // namespace sayloom
