#include "ui/MenuWindow.h"

#include "auth/AuthState.h"
#include "engine/SayloomEngine.h"
#include "settings/AppSettings.h"

#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace sayloom {

MenuWindow::MenuWindow(SayloomEngine& engine, AppSettings& settings, AuthState& account,
                       AvatarCache& avatars, MenuActions actions, QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint)
    , engine_(engine)
    , settings_(settings)
    , account_(account) {
    setWindowTitle(QStringLiteral("Sayloom"));
    setAccessibleName(QStringLiteral("Sayloom"));
    view_ = new MenuView(avatars, std::move(actions), this);
    connect(view_, &MenuView::finished, this, &QWidget::close);
    auto* layout = new QVBoxLayout(this);
    // Room for the border painted around the content.
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(view_);

    // Each of these fires on every assignment; the menu follows only while it is open.
    const auto follow = [this] { refresh(); };
    connect(&engine_, &SayloomEngine::stateChanged, this, follow);
    connect(&engine_, &SayloomEngine::lastTranscriptionChanged, this, follow);
    connect(&engine_, &SayloomEngine::accessibilityNeededChanged, this, follow);
    connect(&engine_, &SayloomEngine::usageStatusChanged, this, follow);
    connect(&engine_, &SayloomEngine::accessibilityGrantedChanged, this, follow);
    connect(&engine_, &SayloomEngine::microphoneGrantedChanged, this, follow);
    connect(&settings_, &AppSettings::selectedHotkeyChanged, this, follow);
    connect(&settings_, &AppSettings::selectedTranslationHotkeyChanged, this, follow);
    connect(&settings_, &AppSettings::translationEnabledChanged, this, follow);
    connect(&settings_, &AppSettings::outputLanguageKeyChanged, this, follow);
    connect(&settings_, &AppSettings::tonePresetChanged, this, follow);
    connect(&account_, &AuthState::isLoggedInChanged, this, follow);
    connect(&account_, &AuthState::userEmailChanged, this, follow);
    connect(&account_, &AuthState::userNameChanged, this, follow);
    connect(&account_, &AuthState::userPlanChanged, this, follow);
    connect(&account_, &AuthState::wordsUsedChanged, this, follow);
    connect(&account_, &AuthState::wordLimitChanged, this, follow);
    connect(&account_, &AuthState::userPictureChanged, this, follow);
    connect(&account_, &AuthState::trialActiveChanged, this, follow);
    connect(&account_, &AuthState::trialDaysLeftChanged, this, follow);
    connect(&account_, &AuthState::isLoadingProfileChanged, this, follow);
}

MenuWindow::~MenuWindow() = default;

MenuInputs MenuWindow::inputs() const {
    MenuInputs in;
    in.loggedIn = account_.isLoggedIn();
    in.engineState = engine_.state().kind();
    in.microphoneGranted = engine_.isMicrophoneGranted();
    in.accessibilityGranted = engine_.isAccessibilityGranted();
    in.accessibilityNeeded = engine_.accessibilityNeeded();
    in.usageStatus = engine_.usageStatus();
    in.isLoadingProfile = account_.isLoadingProfile();
    in.userPlan = account_.userPlan();
    in.trialActive = account_.trialActive();
    in.trialDaysLeft = account_.trialDaysLeft();
    in.wordsUsed = account_.wordsUsed();
    in.wordLimit = account_.wordLimit();
    in.lastTranscription = engine_.lastTranscription();
    in.hotkey = settings_.selectedHotkey();
    in.translationHotkey = settings_.selectedTranslationHotkey();
    in.translationTargetName = settings_.translationTargetName();
    in.tone = settings_.tonePreset();
    return in;
}

MenuAccount MenuWindow::account() const {
    return {account_.userName(), account_.userEmail(), account_.userPicture()};
}

void MenuWindow::popUp(const QRect& anchor) {
    anchor_ = anchor.isValid() ? anchor : QRect(QCursor::pos(), QSize(1, 1));
    view_->render(inputs(), account());
    adjustSize();
    place();
    show();
    raise();
    activateWindow();
}

void MenuWindow::refresh() {
    if (!isVisible())
        return;
    view_->render(inputs(), account());
    adjustSize();
    place();
}

void MenuWindow::place() {
    const QScreen* screen = QGuiApplication::screenAt(anchor_.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    move(placement(size(), anchor_, screen->availableGeometry()));
}

QPoint MenuWindow::placement(QSize size, const QRect& anchor, const QRect& area) {
    const bool above = anchor.center().y() > area.center().y();
    QPoint at(anchor.left(), above ? anchor.top() - size.height() : anchor.bottom() + 1);
    // Where it would pass the right edge, it ends at the anchor's right edge instead.
    if (at.x() + size.width() > area.right() + 1)
        at.setX(anchor.right() + 1 - size.width());
    at.setX(
        std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())));
    at.setY(
        std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
    return at;
}

void MenuWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        return;
    case Qt::Key_Down:
        focusNextPrevChild(true);
        return;
    case Qt::Key_Up:
        focusNextPrevChild(false);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void MenuWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    QColor border = palette().color(QPalette::WindowText);
    border.setAlphaF(0.28f);
    painter.setPen(border);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace sayloom
