// The settings' and onboarding's controls and rules: the hotkey pickers, the language search, the
// keys that belong to a running dictation, and the onboarding's timers and test dictation.

#include "EngineFakes.h"
#include "FakeTranscriber.h"
#include "MemoryKeyValueStore.h"
#include "VirtualScheduler.h"

#include "engine/SayloomEngine.h"
#include "settings/AppSettings.h"
#include "ui/DictationKeyGuard.h"
#include "ui/HotkeyPicker.h"
#include "ui/LanguageComboBox.h"
#include "ui/OnboardingView.h"
#include "ui/PermissionRow.h"
#include "ui/ShortcutRows.h"
#include "ui/TryItTextField.h"

#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace sayloom;
using namespace sayloom::testing;

inline void PrintTo(const QString& text, std::ostream* os) { *os << text.toStdString(); }

namespace {

using Choice = HotkeyPicker::Choice;
constexpr auto fn = HotkeyOption::fn;
constexpr auto option = HotkeyOption::optionKey;
constexpr auto control = HotkeyOption::controlKey;
constexpr auto controlShift = HotkeyOption::controlShift;
const QString kTaken = QStringLiteral("Already used by the other shortcut");

Choice row(HotkeyOption hotkey, bool enabled = true, bool checked = false) {
    return {hotkey, displayName(hotkey), enabled ? QString() : kTaken, enabled, checked};
}
const Choice kNoneOn{std::nullopt, QStringLiteral("None"),
                     QStringLiteral("No translation shortcut"), true, false};
const Choice kNoneOff{std::nullopt, QStringLiteral("None"),
                      QStringLiteral("No translation shortcut"), true, true};

TEST(HotkeyPickerTest, TheOtherShortcutsOptionIsDisabledAndNoneComesWithTheSwitch) {
    const struct {
        const char* name;
        HotkeyOption selection;
        std::optional<HotkeyOption> disabling;
        std::optional<bool> switchedOn;
        QList<Choice> rows;
    } cases[] = {
        {"dictation",
         fn,
         controlShift,
         std::nullopt,
         {row(fn, true, true), row(option), row(control), row(controlShift, false)}},
        {"translation on",
         controlShift,
         fn,
         true,
         {kNoneOn, row(fn, false), row(option), row(control), row(controlShift, true, true)}},
        {"translation off",
         option,
         control,
         false,
         {kNoneOff, row(fn), row(option), row(control, false), row(controlShift)}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HotkeyPicker::choices(c.selection, c.disabling, c.switchedOn), c.rows) << c.name;
}

// Where the hotkey road sees no release after a chord (sway's bindings), Control would start a
// recording with every Ctrl shortcut, and Option with every Alt one; where it cannot tell Left
// from Right Ctrl (KDE's global shortcuts), Right Ctrl is either.
TEST(HotkeyPickerTest, OptionsTheRoadHandlesOtherwiseAreMarked) {
    const KeyEventMonitor::Capabilities sway{.distinguishesLeftFromRight = true,
                                             .bindsKeysOnTheFly = true,
                                             .seesReleaseAfterChord = false};
    const KeyEventMonitor::Capabilities portal{.distinguishesLeftFromRight = false};
    const auto rows = [](const KeyEventMonitor::Capabilities& road) {
        QStringList texts;
        for (const Choice& choice : HotkeyPicker::choices(fn, controlShift, std::nullopt, road))
            texts << choice.text + QLatin1Char('|') + choice.help.left(12);
        return texts;
    };
    EXPECT_EQ(rows(sway),
              (QStringList{displayName(fn) + "|", "Option|An Alt short",
                           "Control (starts with every Ctrl shortcut here)|This desktop",
                           "Control + Shift|Already used"}));
    EXPECT_EQ(rows(portal), (QStringList{displayName(fn) + " (either Ctrl here)|This desktop",
                                         "Option|", "Control|", "Control + Shift|Already used"}));
    EXPECT_EQ(rows({}), (QStringList{displayName(fn) + "|", "Option|", "Control|",
                                     "Control + Shift|Already used"}));
}

TEST(LanguageComboBoxTest, TheSearchMatchesNameOrCodeInAnyCase) {
    const auto names = [](const QString& search, bool allowAuto) {
        QStringList found;
        for (const SpeechLanguage& language : LanguageComboBox::rows(search, allowAuto))
            found << language.name;
        return found;
    };
    EXPECT_EQ(names(QStringLiteral("germ"), true), QStringList{QStringLiteral("German")});
    EXPECT_EQ(names(QStringLiteral("GERMAN"), false), QStringList{QStringLiteral("German")});
    EXPECT_TRUE(names(QStringLiteral("de"), true).contains(QStringLiteral("German"))) << "by code";
    EXPECT_EQ(names(QStringLiteral("auto"), true), QStringList{QStringLiteral("Auto-detect")});
    EXPECT_TRUE(names(QStringLiteral("auto"), false).isEmpty()) << "no auto for translations";
    EXPECT_TRUE(names(QStringLiteral("xyzzy"), true).isEmpty());
    EXPECT_EQ(LanguageComboBox::rows(QString(), true), speech_languages::speechList());
    EXPECT_EQ(LanguageComboBox::rows(QString(), false), speech_languages::outputList());
}

TEST(LanguageComboBoxTest, TypingFiltersAndTheKeysChoose) {
    LanguageComboBox box(true, QStringLiteral("Speech language"));
    box.setSelectedKey(QStringLiteral("en_uk"));
    box.show();
    box.openList();
    ASSERT_TRUE(box.isOpen());
    EXPECT_EQ(box.listWidget()->currentItem()->text(), QStringLiteral("🇬🇧  English (UK)"))
        << "the list opens on the chosen language";
    QStringList chosen;
    QObject::connect(&box, &LanguageComboBox::keyChosen,
                     [&](const QString& key) { chosen << key; });
    QTest::keyClicks(box.searchField(), QStringLiteral("ENGLISH"));
    EXPECT_EQ(box.listWidget()->count(), 4);
    QTest::keyClick(box.searchField(), Qt::Key_Up);
    QTest::keyClick(box.searchField(), Qt::Key_Return);
    EXPECT_EQ(chosen, QStringList{QStringLiteral("en_ca")});
    EXPECT_FALSE(box.isOpen());
    EXPECT_EQ(box.accessibleDescription(), QStringLiteral("English (Canadian)"));
    box.openList();
    EXPECT_TRUE(box.searchField()->text().isEmpty()) << "each opening starts a new search";
}

// The engine with fakes around it, driven as a dictation would drive it.
struct Engine {
    // The engine's start-up runs first.
    Engine() { scheduler.runDue(); }
    VirtualScheduler scheduler;
    MemoryKeyValueStore store;
    AppSettings settings{store};
    FakeTranscriber transcriber;
    FakeHotkeys hotkeys;
    FakeRecorder recorder;
    FakeInserter inserter;
    FakePermissions permissions;
    SayloomEngine engine{{transcriber, settings, scheduler, hotkeys, recorder, inserter,
                          permissions, nullptr, nullptr, nullptr, nullptr, QUrl(), nullptr,
                          nullptr}};

    void record() { hotkeys.press(); }
    void transcribe() {
        record();
        scheduler.advance(1200ms);
        hotkeys.release();
    }
    void finish(const QString& text) {
        TranscribeResult result;
        result.text = text;
        transcriber.complete(transcriber.callCount() - 1, result);
    }
};

TEST(ShortcutRowsTest, PickersWriteTheSettingsAndFollowThem) {
    Engine parts;
    AppSettings& settings = parts.settings;
    ShortcutRows rows(settings, {});
    Q_EMIT rows.translationHotkey()->activated(0);
    EXPECT_FALSE(settings.translationEnabled()) << "None switches the translation shortcut off";
    EXPECT_EQ(rows.translationHotkey()->currentText(), QStringLiteral("None"));
    Q_EMIT rows.dictationHotkey()->activated(1);
    EXPECT_EQ(settings.selectedHotkey(), option);
    const auto enabled = [&](int index) {
        return rows.translationHotkey()->model()->flags(
                   rows.translationHotkey()->model()->index(index, 0)) &
               Qt::ItemIsEnabled;
    };
    EXPECT_FALSE(enabled(2)) << "Option is the dictation's now";
    EXPECT_TRUE(enabled(1));
    Q_EMIT rows.translationHotkey()->activated(3);
    EXPECT_TRUE(settings.translationEnabled()) << "choosing a key switches it back on";
    EXPECT_EQ(settings.selectedTranslationHotkey(), control);
    settings.setSpeechLanguageKey(QStringLiteral("fr"));
    EXPECT_EQ(rows.speechLanguage()->selectedKey(), QStringLiteral("fr"));
}

TEST(DictationKeyGuardTest, EscapeAndReturnBelongToARunningDictation) {
    const struct {
        const char* name;
        std::function<void(Engine&)> arrange;
        bool windowActs;
    } cases[] = {
        {"idle", [](Engine&) {}, true},
        {"recording", [](Engine& e) { e.record(); }, false},
        {"transcribing", [](Engine& e) { e.transcribe(); }, false},
        {"just cancelled",
         [](Engine& e) {
             e.record();
             e.hotkeys.cancel();
             e.scheduler.advance(700ms);
         },
         false},
        {"ended a while ago",
         [](Engine& e) {
             e.transcribe();
             e.finish(QStringLiteral("Hello"));
             e.scheduler.advance(800ms);
         },
         true},
    };
    for (const auto& c : cases) {
        for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
            Engine parts;
            QDialog window;
            auto* button = new QPushButton(QStringLiteral("OK"), &window);
            button->setDefault(true);
            auto* field = new TryItTextField(parts.engine, &window);
            new DictationKeyGuard(parts.engine, parts.scheduler, &window);
            int acted = 0;
            QObject::connect(&window, &QDialog::rejected, [&] { ++acted; });
            QObject::connect(button, &QPushButton::clicked, [&] { ++acted; });
            window.show();
            c.arrange(parts);
            QTest::keyClick(field, key);
            EXPECT_EQ(acted, 0) << c.name << ": the try-it field keeps its keys";
            QTest::keyClick(&window, key);
            EXPECT_EQ(acted, c.windowActs ? 1 : 0) << c.name << " " << key;
        }
    }
}

struct OnboardingFixture : Engine {
    OnboardingFixture() {
        permissions.microphone = false;
        permissions.accessibility = false;
        engine.checkPermissions();
    }
    QStringList calls;
    OnboardingView view{{settings, engine, scheduler,
                         [this](bool microphoneGranted) {
                             calls << QStringLiteral("open settings %1").arg(microphoneGranted);
                         },
                         [this] { calls << QStringLiteral("complete"); }}};
    PermissionRow* row(int index) { return view.findChildren<PermissionRow*>().at(index); }
};

TEST(OnboardingViewTest, SkipForNowAppearsAfterEightSeconds) {
    OnboardingFixture f;
    f.view.show();
    f.scheduler.advance(7999ms);
    EXPECT_FALSE(f.view.showsSkip());
    f.scheduler.advance(1ms);
    ASSERT_TRUE(f.view.showsSkip());
    for (QPushButton* button : f.view.findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("Skip for now"))
            button->click();
    EXPECT_EQ(f.calls, QStringList{QStringLiteral("complete")});
}

TEST(OnboardingViewTest, PermissionsAreReadAgainEverySecondAfterAllow) {
    OnboardingFixture f;
    f.view.show();
    PermissionRow* microphone = f.row(0);
    PermissionRow* accessibility = f.row(1);
    ASSERT_FALSE(microphone->isGranted());
    microphone->button()->click();
    accessibility->button()->click();
    EXPECT_EQ(f.calls,
              (QStringList{QStringLiteral("open settings 0"), QStringLiteral("open settings 1")}));
    f.permissions.microphone = true;
    f.scheduler.advance(999ms);
    EXPECT_FALSE(microphone->isGranted());
    f.scheduler.advance(1ms);
    EXPECT_TRUE(microphone->isGranted());
    EXPECT_FALSE(accessibility->isGranted());
    f.permissions.accessibility = true;
    f.scheduler.advance(1s);
    EXPECT_TRUE(accessibility->isGranted());
}

TEST(OnboardingViewTest, ADictationThatLandsInTheFieldLetsTheUserFinish) {
    OnboardingFixture f;
    f.permissions.microphone = f.permissions.accessibility = true;
    f.engine.checkPermissions();
    f.view.show();
    ASSERT_FALSE(f.view.primaryButton()->isEnabled());
    f.transcribe();
    // The transcript reaches the field after the engine counted it, as a paste does.
    f.finish(QStringLiteral("Hello there."));
    EXPECT_EQ(f.view.outcome(), (DictationOutcome{true, true, false}));
    f.view.tryItField()->setText(QStringLiteral("Hello there."));
    EXPECT_EQ(f.view.outcome(), (DictationOutcome{true, true, true}));
    EXPECT_TRUE(f.view.primaryButton()->isEnabled());
    EXPECT_EQ(f.view.primaryButton()->text(), QStringLiteral("Start using Sayloom"));
    f.view.primaryButton()->click();
    EXPECT_EQ(f.calls, QStringList{QStringLiteral("complete")});
}

} // namespace
