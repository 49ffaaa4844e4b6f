// What the settings and onboarding windows say: the plan, the dictation summary, and the
// onboarding's texts and button for each outcome of the test dictation.

#include "app/SetupContent.h"
#include "support/PlatformText.h"

#include <gtest/gtest.h>

using namespace sayloom;

inline void PrintTo(const QString& text, std::ostream* os) { *os << text.toStdString(); }

namespace {

SpeechLanguage language(const char* key) { return *speech_languages::lookup(QLatin1String(key)); }

TEST(SetupContentTest, PlanLabel) {
    const std::optional<QString> none;
    const struct {
        bool loading;
        std::optional<QString> plan;
        bool trial;
        const char* label;
    } cases[] = {
        {true, QStringLiteral("pro"), false, "Loading…"},
        {false, QStringLiteral("pro"), true, "Pro"},
        {false, QStringLiteral("free"), true, "Pro Trial"},
        {false, none, true, "Pro Trial"},
        {false, QStringLiteral("team"), false, "team"},
        {false, none, false, "Free"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(planLabel(c.loading, c.plan, c.trial), QString::fromUtf8(c.label)) << c.label;
}

TEST(SetupContentTest, DictationSummary) {
    const struct {
        HotkeyOption hotkey;
        const char* speech;
        HotkeyOption translation;
        std::optional<QString> target;
        const char* sentence;
    } cases[] = {
        {HotkeyOption::fn, "auto", HotkeyOption::controlShift, QStringLiteral("Spanish"),
         "Hold Right Ctrl and you get whatever you speak. Hold Control + Shift and you get "
         "Spanish."},
        {HotkeyOption::optionKey, "de", HotkeyOption::controlKey, QStringLiteral("French"),
         "Hold Option and you get German. Hold Control and you get French."},
        {HotkeyOption::fn, "en_uk", HotkeyOption::controlShift, std::nullopt,
         "Hold Right Ctrl and you get English (UK). You have no translation shortcut."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dictationSummary(c.hotkey, language(c.speech), c.translation, c.target),
                  QString::fromUtf8(c.sentence));
}

TEST(SetupContentTest, OnboardingFollowsTheTestDictation) {
    const QString ready = platformText(PlatformTextKey::readyInTray);
    const QString notYet = QStringLiteral("Pick your key and language, then try it below.");
    const struct {
        DictationOutcome outcome;
        HotkeyOption hotkey;
        const char* message;
        const char* title;
        QString subtitle;
        const char* button;
    } cases[] = {
        {{},
         HotkeyOption::fn,
         "Hold Right Ctrl and say a few words, then release the key.",
         "Sayloom types what you say.",
         notYet,
         "Finish setup"},
        {{true, false, false},
         HotkeyOption::optionKey,
         "Nothing arrived. Another app may already use Option, so try a different shortcut "
         "above.",
         "Sayloom types what you say.",
         notYet,
         "Finish setup"},
        {{true, true, false},
         HotkeyOption::controlShift,
         "Sayloom heard you, but could not type into the field. Your text is on the clipboard. "
         "Allow Accessibility to have it typed for you. You can finish setup either way.",
         "You're set up.",
         ready,
         "Start using Sayloom"},
        {{true, true, true},
         HotkeyOption::controlKey,
         "Nice, Sayloom typed your first dictation. You can finish setup now.",
         "You're set up.",
         ready,
         "Start using Sayloom"},
    };
    for (const auto& c : cases) {
        const OnboardingContent content =
            onboardingContent(c.outcome, c.hotkey, HotkeyOption::fn, std::nullopt);
        EXPECT_EQ(content.outcomeMessage, QString::fromUtf8(c.message));
        EXPECT_EQ(content.title, QString::fromUtf8(c.title)) << c.message;
        EXPECT_EQ(content.subtitle, c.subtitle) << c.message;
        EXPECT_EQ(content.primaryButton, QString::fromUtf8(c.button)) << c.message;
        EXPECT_EQ(content.primaryEnabled, c.outcome.heard) << c.message;
        EXPECT_EQ(content.primaryCaption.has_value(), !c.outcome.heard) << c.message;
        EXPECT_EQ(content.placeholder, QStringLiteral("Click here, then hold ") +
                                           displayName(c.hotkey) + QStringLiteral(" and speak"));
        EXPECT_FALSE(content.translationHint) << "no hint while translation is off";
    }
    const OnboardingContent translating = onboardingContent(
        {}, HotkeyOption::fn, HotkeyOption::controlShift, QStringLiteral("German"));
    EXPECT_EQ(translating.translationHint,
              QStringLiteral("Also try it: hold Control + Shift instead and your words arrive in "
                             "German"));
    EXPECT_EQ(translating.primaryCaption, QStringLiteral("Dictate once to finish"));
    EXPECT_EQ(translating.primaryHelp, QStringLiteral("Dictate once before finishing setup"));
}

} // namespace
