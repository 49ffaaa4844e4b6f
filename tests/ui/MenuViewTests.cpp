// What the tray's menu window shows for the account, the engine and the settings, read back as a
// screen reader reads it, and what its rows do.

#include "FakeURLSession.h"

#include "app/AvatarCache.h"
#include "support/PlatformText.h"
#include "ui/MenuRow.h"
#include "ui/MenuView.h"

#include <QAccessible>
#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::testing;

inline void PrintTo(const QString& text, std::ostream* os) { *os << text.toStdString(); }

namespace {

// The accessible names of the view's showing labels and buttons, top to bottom.
QStringList shownNames(MenuView& view) {
    QStringList names;
    for (QWidget* widget : view.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&view) ||
            !(qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractButton*>(widget)))
            continue;
        const QString name = QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
        if (!name.isEmpty())
            names << name;
    }
    return names;
}

// Every action records its name.
MenuActions recordingActions(QStringList& calls) {
    const auto record = [&calls](const char* name) { return [&calls, name] { calls << name; }; };
    return {record("settings"),
            record("sign in"),
            record("help"),
            record("sign out"),
            record("quit"),
            record("copy"),
            record("accessibility"),
            record("upgrade"),
            [&calls](TonePreset tone) { calls << "tone " + rawValue(tone); }};
}

struct MenuFixture {
    MenuRow* row(const QString& text) {
        for (MenuRow* row : view.findChildren<MenuRow*>())
            if (row->text() == text)
                return row;
        return nullptr;
    }

    FakeURLSession session;
    AvatarCache avatars{session, QDir::tempPath() + QStringLiteral("/sayloom-menu-view-tests")};
    QStringList calls;
    MenuView view{avatars, recordingActions(calls)};
};

MenuInputs signedIn(std::int64_t used = 120, std::int64_t limit = 2500) {
    MenuInputs in;
    in.loggedIn = true;
    in.userPlan = QStringLiteral("free");
    in.wordsUsed = used;
    in.wordLimit = limit;
    return in;
}

struct SectionsCase {
    const char* name;
    MenuInputs inputs;
    // The section titles, among those below, that show.
    QStringList shown;
};
void PrintTo(const SectionsCase& c, std::ostream* os) { *os << c.name; }

const QString kSignIn = QStringLiteral("Sign in to Sayloom");
const QString kUsage = QStringLiteral("Weekly word usage");
const QString kLimit = QStringLiteral("Weekly limit reached");
const QString kTrial = QStringLiteral("5 days left on your Pro trial");
const QString kCopy = QStringLiteral("Copy last transcription");
const QString kSignOut = QStringLiteral("Sign out");
const QString kTranslation = QStringLiteral("Control + Shift to talk → German");
QString notice() { return platformText(PlatformTextKey::transcriptOnClipboard); }

class MenuSectionsTest : public ::testing::TestWithParam<SectionsCase> {};

TEST_P(MenuSectionsTest, ShowsTheSectionsTheContentRulesCallFor) {
    const SectionsCase& c = GetParam();
    MenuFixture f;
    f.view.render(c.inputs, {QStringLiteral("Ada"), std::nullopt, std::nullopt});
    const QStringList names = shownNames(f.view);
    for (const QString& section :
         {kSignIn, kUsage, kLimit, kTrial, kCopy, kSignOut, kTranslation, notice()})
        EXPECT_EQ(names.contains(section), c.shown.contains(section)) << section.toStdString();
    const MenuContent content = menuContent(c.inputs);
    EXPECT_TRUE(names.contains(content.statusText));
    EXPECT_TRUE(names.contains(content.dictationShortcutAccessibleName));
    EXPECT_EQ(names.contains(content.usageFigures), content.showUsage);
}

MenuInputs withTrial() {
    MenuInputs in = signedIn();
    in.trialActive = true;
    in.trialDaysLeft = 5;
    return in;
}
MenuInputs withHardLimit() {
    MenuInputs in = signedIn(2500);
    in.usageStatus = UsageStatus::hard;
    return in;
}
MenuInputs withNotice() {
    MenuInputs in = withTrial();
    in.accessibilityNeeded = true;
    in.lastTranscription = QStringLiteral("Hello there");
    in.translationTargetName = QStringLiteral("German");
    return in;
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, MenuSectionsTest,
    ::testing::Values(SectionsCase{"SignedOut", MenuInputs{}, {kSignIn}},
                      SectionsCase{"SignedInWithUsage", signedIn(), {kUsage, kSignOut}},
                      SectionsCase{"HardLimit", withHardLimit(), {kLimit, kSignOut}},
                      SectionsCase{"Trial", withTrial(), {kUsage, kTrial, kSignOut}},
                      SectionsCase{"AccessibilityNotice",
                                   withNotice(),
                                   {notice(), kUsage, kTrial, kCopy, kSignOut, kTranslation}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MenuView, EachRowRunsItsActionAndThenClosesTheMenu) {
    const std::pair<QString, QString> rows[] = {
        {kSignIn, "sign in"},     {kCopy, "copy"},
        {"Settings", "settings"}, {"Help & Troubleshooting", "help"},
        {kSignOut, "sign out"},   {"Quit Sayloom", "quit"},
    };
    MenuFixture f;
    MenuInputs in;
    in.lastTranscription = QStringLiteral("text");
    f.view.render(in, {});
    for (const auto& [text, call] : rows) {
        SCOPED_TRACE(text.toStdString());
        QSignalSpy finished(&f.view, &MenuView::finished);
        f.calls.clear();
        ASSERT_NE(f.row(text), nullptr);
        f.row(text)->click();
        EXPECT_EQ(f.calls, QStringList{call});
        EXPECT_EQ(finished.count(), 1);
    }
}

TEST(MenuView, TheToneListMarksTheToneInUseAndSelectsAnother) {
    MenuFixture f;
    MenuInputs in = signedIn();
    in.tone = TonePreset::casual;
    f.view.render(in, {});
    MenuRow* toneRow = f.row(QStringLiteral("Writing tone: Casual"));
    ASSERT_NE(toneRow, nullptr);
    EXPECT_EQ(toneRow->accessibleDescription(), QStringLiteral("Opens the tone list"));
    QSignalSpy finished(&f.view, &MenuView::finished);

    toneRow->click();
    ASSERT_NE(f.view.toneMenu(), nullptr);
    QStringList tones, checked;
    for (QAction* action : f.view.toneMenu()->actions()) {
        tones << action->text();
        if (action->isChecked())
            checked << action->text();
    }
    EXPECT_EQ(tones, (QStringList{"Off", "Formal", "Casual", "Bullets"}));
    EXPECT_EQ(checked, QStringList{"Casual"});
    EXPECT_EQ(finished.count(), 0);

    f.view.toneMenu()->actions().at(3)->trigger();
    EXPECT_EQ(f.calls, QStringList{"tone bullets"});
    EXPECT_EQ(finished.count(), 1);
}

} // namespace
