#include "ui/LoginView.h"

#include "ui/ViewParts.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSvgRenderer>
#include <QVBoxLayout>

namespace sayloom {

namespace {

constexpr int kIconSize = 18;

QString providerLabel(SignInProvider provider) {
    return provider == SignInProvider::google ? QStringLiteral("Continue with Google")
                                              : QStringLiteral("Continue with GitHub");
}

QIcon providerIcon(SignInProvider provider) {
    return viewIcon(provider == SignInProvider::google ? QStringLiteral("google")
                                                       : QStringLiteral("github"));
}

QPushButton* makeProviderButton(SignInProvider provider, QWidget* parent) {
    auto* button = new QPushButton(providerIcon(provider), providerLabel(provider), parent);
    button->setIconSize(QSize(kIconSize, kIconSize));
    button->setMinimumHeight(40);
    return button;
}

} // namespace

LoginView::LoginView(SignIn signIn, QWidget* parent) : QWidget(parent), signIn_(std::move(signIn)) {
    auto* title = makeTextLabel(QStringLiteral("Sayloom"), 30, QFont::Bold, this);
    auto* subtitle = makeTextLabel(QStringLiteral("AI Voice Keyboard"), 14, QFont::Normal, this);
    subtitle->setForegroundRole(QPalette::PlaceholderText);

    googleButton_ = makeProviderButton(SignInProvider::google, this);
    gitHubButton_ = makeProviderButton(SignInProvider::github, this);
    googleButton_->setDefault(true);
    connect(googleButton_, &QPushButton::clicked, this, [this] { tapped(SignInProvider::google); });
    connect(gitHubButton_, &QPushButton::clicked, this, [this] { tapped(SignInProvider::github); });

    errorLabel_ = makeTextLabel(QString(), 12, QFont::Normal, this);
    QPalette red = errorLabel_->palette();
    red.setColor(QPalette::WindowText, QColor(0xd7, 0x26, 0x1e));
    errorLabel_->setPalette(red);
    errorLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    errorLabel_->hide();

    auto* layout = new QVBoxLayout(this);
    // A fixed space above, so that nothing moves when an error line appears below the buttons.
    layout->setContentsMargins(40, 104, 40, 24);
    layout->setSpacing(0);
    layout->addWidget(title);
    layout->addSpacing(6);
    layout->addWidget(subtitle);
    layout->addSpacing(40);
    layout->addWidget(googleButton_);
    layout->addSpacing(12);
    layout->addWidget(gitHubButton_);
    layout->addSpacing(14);
    layout->addWidget(errorLabel_);
    layout->addStretch(1);
}

LoginView::~LoginView() = default;

QPushButton* LoginView::button(SignInProvider provider) const {
    return provider == SignInProvider::google ? googleButton_ : gitHubButton_;
}

void LoginView::tapped(SignInProvider provider) {
    if (loading_)
        return;
    signInWith(provider);
}

QCoro::Task<void> LoginView::signInWith(SignInProvider provider) {
    // The sign-in may outlive the view: the window closes once the user is signed in, before
    // the profile has loaded.
    const QPointer<LoginView> self(this);
    const SignIn signIn = signIn_;
    errorLabel_->hide();
    setLoading(provider);
    std::optional<QString> failure;
    try {
        co_await signIn(provider);
    } catch (...) {
        failure = signInFailureText(std::current_exception());
    }
    if (!self)
        co_return;
    setLoading(std::nullopt);
    if (failure) {
        errorLabel_->setText(*failure);
        errorLabel_->show();
    }
}

void LoginView::setLoading(std::optional<SignInProvider> provider) {
    const std::optional<SignInProvider> previous = loading_;
    loading_ = provider;
    googleButton_->setEnabled(!provider);
    gitHubButton_->setEnabled(!provider);
    if (provider) {
        button(*provider)->setText(QStringLiteral("Signing in…"));
        busy_ = new QSvgRenderer(viewIconPath(QStringLiteral("busy")), this);
        connect(busy_, &QSvgRenderer::repaintNeeded, this, &LoginView::showBusyFrame);
        showBusyFrame();
        return;
    }
    delete busy_;
    if (previous) {
        QPushButton* done = button(*previous);
        done->setText(providerLabel(*previous));
        done->setIcon(providerIcon(*previous));
        // Focus left the buttons when they were disabled: it goes back to the one the user
        // chose, so that Return tries the same provider again.
        if (isActiveWindow())
            done->setFocus(Qt::OtherFocusReason);
    }
}

void LoginView::showBusyFrame() {
    if (!busy_ || !loading_)
        return;
    const qreal ratio = devicePixelRatioF();
    QPixmap frame(QSize(kIconSize, kIconSize) * ratio);
    frame.setDevicePixelRatio(ratio);
    frame.fill(Qt::transparent);
    QPainter painter(&frame);
    busy_->render(&painter, QRectF(0, 0, kIconSize, kIconSize));
    painter.end();
    QIcon icon;
    // A disabled button draws its icon in the Disabled mode: the animation shows in that one.
    icon.addPixmap(frame, QIcon::Normal);
    icon.addPixmap(frame, QIcon::Disabled);
    button(*loading_)->setIcon(icon);
}

} // namespace sayloom
