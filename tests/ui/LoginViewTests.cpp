// The sign-in view's buttons while a sign-in runs, succeeds and fails; the test ends each
// sign-in itself.

#include "auth/FirebaseAuthError.h"
#include "ui/LoginView.h"

#include <QLabel>
#include <QLayout>
#include <QPushButton>

#include <gtest/gtest.h>

#include <coroutine>
#include <memory>
#include <vector>

using namespace sayloom;

namespace {

// Sign-ins that stay open until the test ends the last one, with an error or without.
struct PendingSignIns {
    struct Wait {
        explicit Wait(PendingSignIns* s) : signIns(s) {}
        PendingSignIns* signIns;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle) { signIns->waiter = handle; }
        void await_resume() const noexcept {}
    };
    QCoro::Task<void> run(SignInProvider provider) {
        started.push_back(provider);
        Wait wait(this);
        co_await wait;
        if (error)
            std::rethrow_exception(error);
    }
    void end(std::exception_ptr failure = nullptr) {
        error = failure;
        std::exchange(waiter, nullptr).resume();
    }

    std::vector<SignInProvider> started;
    std::coroutine_handle<> waiter;
    std::exception_ptr error;
};

const QString kGoogle = QStringLiteral("Continue with Google");
const QString kGitHub = QStringLiteral("Continue with GitHub");

class LoginViewTest : public ::testing::TestWithParam<SignInProvider> {
public:
    LoginViewTest() { view.show(); }
    // A sign-in left waiting would keep its coroutine frames alive past the test.
    ~LoginViewTest() override {
        if (signIns.waiter)
            signIns.end();
    }

    QPushButton* labelled(const QString& label) const {
        for (QPushButton* button : view.findChildren<QPushButton*>())
            if (button->text() == label)
                return button;
        return nullptr;
    }
    // The visible text under the buttons, if any.
    QLabel* errorLine() const {
        view.layout()->activate();
        for (QLabel* label : view.findChildren<QLabel*>())
            if (label->isVisible() && label->geometry().top() > github->geometry().bottom())
                return label;
        return nullptr;
    }
    void expectIdle() const {
        EXPECT_EQ(google->text(), kGoogle);
        EXPECT_EQ(github->text(), kGitHub);
        EXPECT_TRUE(google->isEnabled() && github->isEnabled());
    }

    PendingSignIns signIns;
    LoginView view{[this](SignInProvider provider) { return signIns.run(provider); }};
    QPushButton* google = labelled(kGoogle);
    QPushButton* github = labelled(kGitHub);
};

TEST_P(LoginViewTest, WhileASignInRunsBothButtonsAreDisabledAndTheTappedOneSaysSo) {
    QPushButton* tapped = GetParam() == SignInProvider::google ? google : github;
    QPushButton* other = tapped == google ? github : google;
    const QString otherLabel = other->text();
    const qint64 logo = tapped->icon().cacheKey();

    tapped->click();

    EXPECT_EQ(signIns.started, std::vector{GetParam()});
    EXPECT_EQ(tapped->text(), QStringLiteral("Signing in…"));
    EXPECT_NE(tapped->icon().cacheKey(), logo) << "a busy indicator replaces the logo";
    EXPECT_EQ(other->text(), otherLabel);
    EXPECT_FALSE(google->isEnabled() || github->isEnabled());

    signIns.end();
    expectIdle();
    EXPECT_EQ(errorLine(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Providers, LoginViewTest,
                         ::testing::Values(SignInProvider::google, SignInProvider::github),
                         [](const auto& info) {
                             return info.param == SignInProvider::google ? "Google" : "GitHub";
                         });

TEST_F(LoginViewTest, AFailureIsShownInRedUnderTheButtonsAndBothWorkAgain) {
    github->click();
    signIns.end(std::make_exception_ptr(FirebaseAuthError::signInFailed()));

    QLabel* error = errorLine();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->text(), QStringLiteral("Sign-in failed. Please try again."));
    EXPECT_EQ(error->font().pixelSize(), 12);
    const QColor colour = error->palette().color(QPalette::WindowText);
    EXPECT_GT(colour.red(), 2 * colour.green());
    expectIdle();

    google->click(); // trying again clears the failure
    EXPECT_EQ(errorLine(), nullptr);
}

TEST_F(LoginViewTest, ATapWhileSigningInStartsNothing) {
    google->click();
    google->click();
    github->click();
    EXPECT_EQ(signIns.started.size(), 1u);
}

TEST(LoginView, ASignInThatEndsAfterTheViewIsGoneTouchesNothing) {
    PendingSignIns signIns;
    auto view =
        std::make_unique<LoginView>([&](SignInProvider provider) { return signIns.run(provider); });
    view->findChildren<QPushButton*>().first()->click();
    view.reset();
    signIns.end(std::make_exception_ptr(FirebaseAuthError::signInFailed()));
}

} // namespace
