#pragma once

#include "app/AccountSignIn.h"

#include <QPointer>
#include <QWidget>

#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

class QLabel;
class QPushButton;
class QSvgRenderer;

namespace sayloom {

// The sign-in window's content: the product's name, and a button for each identity provider.
// A tap signs in with that provider; while that runs the tapped button shows that it is busy, and
// neither button takes another tap. A failure is shown under the buttons.
class LoginView final : public QWidget {
    Q_OBJECT

public:
    // A whole sign-in with one provider; it throws what went wrong. The task it returns must not
    // need the callback itself to stay alive (the view may go first).
    using SignIn = std::function<QCoro::Task<void>(SignInProvider)>;

    static constexpr int kWidth = 380;
    static constexpr int kHeight = 440;
    static QString windowTitle() { return QStringLiteral("Sayloom"); }

    explicit LoginView(SignIn signIn, QWidget* parent = nullptr);
    ~LoginView() override;

    // The provider whose sign-in is running, if one is.
    std::optional<SignInProvider> loadingProvider() const { return loading_; }

private:
    void tapped(SignInProvider provider);
    QCoro::Task<void> signInWith(SignInProvider provider);
    void setLoading(std::optional<SignInProvider> provider);
    void showBusyFrame();
    QPushButton* button(SignInProvider provider) const;

    SignIn signIn_;
    std::optional<SignInProvider> loading_;
    QPushButton* googleButton_ = nullptr;
    QPushButton* gitHubButton_ = nullptr;
    QLabel* errorLabel_ = nullptr;
    // Animates the busy indicator while a sign-in runs; null otherwise.
    QPointer<QSvgRenderer> busy_;
};

} // namespace sayloom
