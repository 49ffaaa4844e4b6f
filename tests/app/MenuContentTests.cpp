#include "app/MenuContent.h"

#include <gtest/gtest.h>

using namespace sayloom;

namespace {

using Kind = EngineState::Kind;

TEST(MenuContentTest, TheStatusLineTakesTheFirstRuleThatHolds) {
    struct Case {
        bool loggedIn;
        Kind state;
        bool microphone;
        bool accessibility;
        MenuStatus status;
        const char* text;
    };
    const Case cases[] = {
        {false, Kind::recording, false, false, MenuStatus::signInRequired,
         "Sign in to use Sayloom"},
        {true, Kind::recording, false, false, MenuStatus::listening, "Listening…"},
        {true, Kind::transcribing, false, true, MenuStatus::transcribing, "Transcribing…"},
        {true, Kind::idle, false, false, MenuStatus::microphoneRequired, "Microphone required"},
        {true, Kind::error, true, false, MenuStatus::accessibilityRequired,
         "Accessibility required"},
        {true, Kind::error, true, true, MenuStatus::readyAfterError, "Ready"},
        {true, Kind::idle, true, true, MenuStatus::ready, "Ready"},
    };
    for (const Case& c : cases) {
        MenuInputs in;
        in.loggedIn = c.loggedIn;
        in.engineState = c.state;
        in.microphoneGranted = c.microphone;
        in.accessibilityGranted = c.accessibility;
        const MenuContent content = menuContent(in);
        EXPECT_EQ(content.status, c.status) << c.text;
        EXPECT_EQ(content.statusText, QString::fromUtf8(c.text));
    }
}

TEST(MenuContentTest, BadgeAndSectionsFollowTheAccount) {
    struct Case {
        const char* what;
        std::function<void(MenuInputs&)> set;
        std::optional<QString> badge;
        bool usage, trial, limit, signIn, signOut;
    };
    const Case cases[] = {
        {"signed out", [](MenuInputs& in) { in.loggedIn = false; }, std::nullopt, false, false,
         false, true, false},
        {"loading", [](MenuInputs& in) { in.isLoadingProfile = true; }, QString("Loading…"), true,
         false, false, false, true},
        {"no plan", [](MenuInputs&) {}, QString("free"), true, false, false, false, true},
        {"trial", [](MenuInputs& in) { in.trialActive = true; }, QString("Pro Trial"), true, true,
         false, false, true},
        {"pro still in a trial",
         [](MenuInputs& in) {
             in.userPlan = "pro";
             in.trialActive = true;
         },
         QString("pro"), true, false, false, false, true},
        {"limit spent", [](MenuInputs& in) { in.usageStatus = UsageStatus::hard; }, QString("free"),
         false, false, true, false, true},
        {"unknown limit",
         [](MenuInputs& in) {
             in.wordLimit = -1;
             in.usageStatus = UsageStatus::hard;
         },
         QString("free"), false, false, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MenuInputs in;
        in.loggedIn = true;
        in.wordsUsed = 120;
        in.wordLimit = 2500;
        in.trialDaysLeft = 5;
        c.set(in);
        const MenuContent content = menuContent(in);
        EXPECT_EQ(content.badge, c.badge);
        EXPECT_EQ(content.showUsage, c.usage);
        EXPECT_EQ(content.showTrial, c.trial);
        EXPECT_EQ(content.showLimitReached, c.limit);
        EXPECT_EQ(content.showSignInRow, c.signIn);
        EXPECT_EQ(content.showSignOut, c.signOut);
    }
}

TEST(MenuContentTest, TextsOfTheRows) {
    MenuInputs in;
    in.loggedIn = true;
    in.wordsUsed = 120;
    in.wordLimit = 2500;
    in.trialDaysLeft = 5;
    in.tone = TonePreset::casual;
    in.translationTargetName = QStringLiteral("German");
    const MenuContent content = menuContent(in);
    EXPECT_EQ(content.usageFigures, QStringLiteral("120 of 2500 words used"));
    EXPECT_EQ(content.usageLine,
              QStringLiteral("120 of 2500 words this week · Resets every Monday"));
    EXPECT_EQ(content.trialText, QStringLiteral("5 days left on your Pro trial"));
    EXPECT_EQ(content.toneRow, QStringLiteral("Writing tone: Casual"));
    EXPECT_EQ(content.dictationShortcutAccessibleName, QStringLiteral("Hold Right Ctrl to talk"));
    EXPECT_EQ(content.translationShortcut, QStringLiteral("Control + Shift to talk → German"));
    EXPECT_FALSE(content.showCopyLastTranscription);
    in.lastTranscription = QStringLiteral("hi");
    EXPECT_TRUE(menuContent(in).showCopyLastTranscription);
}

} // namespace
