#include "ui/RecordingIndicator.h"

#include "ui/MotionPreference.h"
#include "ui/RecordingPillView.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtGui/qguiapplication_platform.h>

// Xlib's macros (None, Bool, Status...) clash with Qt's names: after every Qt header.
#include <X11/Xlib.h>

namespace sayloom {

namespace {

// An override-redirect window (X11BypassWindowManagerHint): the window manager never manages it,
// so it never gets the focus, shows on every workspace and has no task-bar entry or frame. As a
// managed tool window under openbox it was unmapped on the other workspaces, and the frame the
// window manager put around it took the clicks that its empty input shape should let through.
// The other flags say the same to whatever still looks at them (compositors, other platforms).
constexpr Qt::WindowFlags kWindowFlags =
    Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
    Qt::WindowTransparentForInput | Qt::X11BypassWindowManagerHint;

constexpr Duration kFadeInFrame = std::chrono::milliseconds(16);

// Whether a compositing manager runs, so that a see-through window shows what lies below it.
// On X11 a compositor owns the selection _NET_WM_CM_S<screen>.
bool isCompositing() {
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return true;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display* display = x11 ? x11->display() : nullptr;
    if (!display)
        return false;
    const QByteArray selection = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(display));
    const Atom atom = XInternAtom(display, selection.constData(), False);
    return XGetSelectionOwner(display, atom) != 0;
}

} // namespace

RecordingIndicator::RecordingIndicator(Scheduler& scheduler, const MotionPreference& motion,
                                       QObject* parent)
    : QObject(parent)
    , scheduler_(scheduler)
    , motion_(motion) {}

RecordingIndicator::~RecordingIndicator() = default;

void RecordingIndicator::show() {
    if (window_)
        return;
    const bool reduceMotion = motion_.reduceMotion();
    auto window = std::make_unique<RecordingPillView>(scheduler_);
    window->setWindowFlags(kWindowFlags);
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    window->setAttribute(Qt::WA_TranslucentBackground, isCompositing());
    window->setFocusPolicy(Qt::NoFocus);
    window->setWindowTitle(QStringLiteral("Sayloom recording indicator"));
    window->setReduceMotion(reduceMotion);
    window->setState(state_);
    window->setTranslationTarget(target_);
    window->setNotice(notice_);
    window->setAudioLevel(level_);
    connect(window.get(), &RecordingPillView::preferredSizeChanged, this,
            &RecordingIndicator::place);
    // Follows the primary screen, and panels that come or go.
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, window.get(), [this] { place(); });
    if (QScreen* screen = QGuiApplication::primaryScreen())
        connect(screen, &QScreen::availableGeometryChanged, window.get(), [this] { place(); });
    window_ = std::move(window);
    place();

    if (!reduceMotion) {
        window_->setWindowOpacity(0);
        fadeInStart_ = scheduler_.monotonicNow();
        fadeIn_ = scheduler_.scheduleRepeating(kFadeInFrame, [this] { stepFadeIn(); });
    }
    window_->show();
}

void RecordingIndicator::hide() {
    fadeIn_.cancel();
    if (!window_)
        return;
    window_->close();
    window_.reset();
}

void RecordingIndicator::setState(const EngineState& state) {
    state_ = state;
    if (window_)
        window_->setState(state);
}

void RecordingIndicator::setAudioLevel(float level) {
    level_ = level;
    if (window_)
        window_->setAudioLevel(level);
}

void RecordingIndicator::setTranslationTarget(const std::optional<QString>& target) {
    target_ = target;
    if (window_)
        window_->setTranslationTarget(target);
}

void RecordingIndicator::setNotice(const std::optional<QString>& notice) {
    notice_ = notice;
    if (window_)
        window_->setNotice(notice);
}

QRect RecordingIndicator::placement(QSize size, const QRect& available) {
    return QRect(available.x() + (available.width() - size.width()) / 2,
                 available.y() + available.height() - kBottomMargin - size.height(), size.width(),
                 size.height());
}

void RecordingIndicator::place() {
    if (!window_)
        return;
    const QSize size = window_->sizeHint();
    QScreen* screen = QGuiApplication::primaryScreen();
    window_->setGeometry(
        placement(size, screen ? screen->availableGeometry() : QRect(QPoint(), size)));
}

void RecordingIndicator::stepFadeIn() {
    const auto elapsed = scheduler_.monotonicNow() - fadeInStart_;
    const double progress = std::chrono::duration_cast<Seconds>(elapsed) / kFadeInDuration;
    if (progress >= 1) {
        fadeIn_.cancel();
        window_->setWindowOpacity(1);
        return;
    }
    window_->setWindowOpacity(progress);
}

} // namespace sayloom
