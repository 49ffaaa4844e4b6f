// The settings and onboarding windows of the running `sayloom`, driven as a person would: keys
// through the X server, names and focus read over the accessibility bus, and what the next
// dictation does.

#include "DictationEndToEnd.h"
#include "FakeNotificationServer.h"
#include "support/PlatformText.h"

#include <QFile>
#include <QFileInfo>
#include <QUrlQuery>

using namespace sayloom;
using namespace sayloom::testing;

namespace {

// Set to a folder, the tests leave screenshots of the screen there.
void screenshot(const char* name) {
    const QString folder = qEnvironmentVariable("SAYLOOM_SCREENSHOT_DIR");
    if (!folder.isEmpty())
        QProcess::execute(QStringLiteral("import"),
                          {QStringLiteral("-window"), QStringLiteral("root"),
                           folder + QLatin1Char('/') + QLatin1String(name) + ".png"});
}

// What a control is called for a screen reader. Qt names a combo box on Linux by its current
// text, so there its description says which one it is.
QString controlName(const AccessibleNode& node) {
    return node.role == QLatin1String("combo box") && !node.description.isEmpty() ? node.description
                                                                                  : node.name;
}

bool isControl(const AccessibleNode& node) {
    static const QStringList roles = {QStringLiteral("push button"), QStringLiteral("check box"),
                                      QStringLiteral("combo box"), QStringLiteral("text"),
                                      QStringLiteral("toggle button")};
    return node.showing && roles.contains(node.role);
}

class SetupWindows : public DictationEndToEnd {
protected:
    void SetUp() override {
        profile = R"({"user":{"email":"kim@example.com","name":"Kim Lee"},)"
                  R"("wordUsage":{"wordsUsed":120,"wordLimit":2500}})";
        focusFieldAfterLaunch = false;
        DictationEndToEnd::SetUp();
    }

    qint64 pid() const { return sayloom.processId(); }

    // Waits until the accessibility bus shows `text` among the process's names.
    bool waitForName(const QString& text) {
        return QTest::qWaitFor([&] { return AccessibleTree::names(pid()).contains(text); },
                               kBoundMs);
    }

    QString focused() const {
        const auto node = AccessibleTree::focused(pid());
        return node ? controlName(*node) : QString();
    }

    bool waitForFocus(const QString& name, int boundMs = kBoundMs) {
        return QTest::qWaitFor([&] { return focused() == name; }, boundMs);
    }

    // Presses Tab until the control named `name` has the keyboard focus.
    bool tabTo(const QString& name) {
        for (int i = 0; i < 40; ++i) {
            if (waitForFocus(name, 500))
                return true;
            xdotool({QStringLiteral("key"), QStringLiteral("Tab")});
        }
        return false;
    }

    // Every control shown is named and focusable, `expected` are among them, and one round of
    // Tab visits each of them and stops at nothing unnamed.
    void expectEveryControlNamedAndReachable(const QStringList& expected) {
        QStringList controls;
        for (const AccessibleNode& node : AccessibleTree::of(pid())) {
            if (!isControl(node))
                continue;
            EXPECT_FALSE(controlName(node).isEmpty()) << "an unnamed " << node.role.toStdString();
            EXPECT_TRUE(node.focusable) << controlName(node).toStdString();
            controls << controlName(node);
        }
        for (const QString& name : expected)
            EXPECT_TRUE(controls.contains(name)) << name.toStdString() << " is missing from\n"
                                                 << AccessibleTree::dump(pid()).toStdString();

        // Round the window once: Tab until the first stop comes back.
        QStringList visited{focused()};
        for (int i = 0; i < controls.size() + 2; ++i) {
            ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Tab")}));
            QString now;
            (void)QTest::qWaitFor(
                [&] {
                    now = focused();
                    return !now.isEmpty() && now != visited.last();
                },
                5000);
            if (now == visited.first())
                break;
            visited << now;
        }
        EXPECT_FALSE(visited.contains(QString()))
            << "a Tab stop without a name: " << visited.join('|').toStdString() << "\n"
            << AccessibleTree::dump(pid()).toStdString();
        for (const QString& control : controls)
            EXPECT_TRUE(visited.contains(control))
                << control.toStdString() << " not reached in " << visited.join('|').toStdString();
    }

    QString autostartEntry() const {
        return QFileInfo(process.settingsPath()).absolutePath() +
               QStringLiteral("/../autostart/sayloom.desktop");
    }

    std::optional<StoredValue> setting(const char* key) const {
        return JsonFileKeyValueStore(process.settingsPath()).value(QLatin1String(key));
    }

    bool windowGone(const QString& title) {
        return QTest::qWaitFor([&] { return X11Desktop::visibleWindows(title, pid()).isEmpty(); },
                               kBoundMs);
    }
};

class Onboarding : public SetupWindows {
protected:
    void SetUp() override {
        completedOnboarding = false;
        // As on a desktop where nothing had switched the accessibility support on: Sayloom does,
        // and its Accessibility row says what that means for the applications already open.
        AccessibleTree::setBusEnabled(false);
        SetupWindows::SetUp();
    }
};

TEST_F(Onboarding, ARealDictationLandsInTheTryItFieldAndFinishingSaysSayloomIsReady) {
    FakeNotificationServer notifications;
    ASSERT_EQ(notifications.registerOnBus(), QString());
    ASSERT_TRUE(waitForName(QStringLiteral("Sayloom types what you say.")));
    EXPECT_TRUE(waitForFocus(QStringLiteral("Try it")))
        << "the field takes the keyboard: " << focused().toStdString();
    EXPECT_TRUE(
        waitForName(QStringLiteral("Hold Right Ctrl and say a few words, then release the key.")));
    EXPECT_TRUE(waitForName(platformText(PlatformTextKey::restartAppsForAccessibility)))
        << AccessibleTree::dump(pid()).toStdString();
    screenshot("onboarding-before");

    // Return and Escape in the field are its own: the window stays.
    xdotool({QStringLiteral("key"), QStringLiteral("Return"), QStringLiteral("Escape")});
    dictate();
    ASSERT_TRUE(waitForName(
        QStringLiteral("Nice, Sayloom typed your first dictation. You can finish setup now.")))
        << log.toStdString() << AccessibleTree::dump(pid()).toStdString();
    EXPECT_TRUE(waitForName(QStringLiteral("You're set up.")));
    EXPECT_EQ(X11Desktop::visibleWindows(QStringLiteral("^Welcome to Sayloom$"), pid()),
              QStringList{firstWindow});
    screenshot("onboarding-after");
    expectEveryControlNamedAndReachable(
        {QStringLiteral("Try it"), QStringLiteral("Dictation shortcut"),
         QStringLiteral("Speech language"), QStringLiteral("Translation shortcut"),
         QStringLiteral("Translate to"), QStringLiteral("Start using Sayloom")});

    ASSERT_TRUE(tabTo(QStringLiteral("Start using Sayloom")));
    xdotool({QStringLiteral("key"), QStringLiteral("Return")});
    EXPECT_TRUE(windowGone(QStringLiteral("^Welcome to Sayloom$")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !notifications.shown.empty(); }, kBoundMs))
        << log.toStdString();
    ASSERT_EQ(notifications.shown.size(), 1u);
    EXPECT_EQ(notifications.shown[0].summary, QStringLiteral("Sayloom is ready!"));
    EXPECT_TRUE(notifications.shown[0].body.startsWith(QStringLiteral("Hold Right Ctrl ")))
        << notifications.shown[0].body.toStdString();
    EXPECT_EQ(setting(AppSettings::kHasCompletedOnboardingKey), StoredValue(true));
}

using Settings = SetupWindows;

TEST_F(Settings, EveryControlIsNamedAndReachable) {
    ASSERT_TRUE(waitForName(QStringLiteral("Kim Lee")));
    ASSERT_TRUE(waitForName(QStringLiteral("120 of 2500 words used")));
    screenshot("settings");
    expectEveryControlNamedAndReachable(
        {QStringLiteral("Manage plan"), QStringLiteral("Sign out"),
         QStringLiteral("Dictation shortcut"), QStringLiteral("Speech language"),
         QStringLiteral("Translation shortcut"), QStringLiteral("Translate to"),
         QStringLiteral("Writing tone"), QStringLiteral("Refresh status"),
         QStringLiteral("Launch at login"), QStringLiteral("Check for updates"),
         QStringLiteral("Privacy"), QStringLiteral("Terms")});
}

TEST_F(Settings, LaunchAtLoginWritesAndRemovesTheAutostartEntry) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(autostartEntry()); }, kBoundMs))
        << "launch at login is on unless switched off";
    ASSERT_TRUE(tabTo(QStringLiteral("Launch at login")));
    xdotool({QStringLiteral("key"), QStringLiteral("space")});
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(autostartEntry()); }, kBoundMs));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return setting(AppSettings::kAutoLaunchKey) == StoredValue(false); }, kBoundMs));
    xdotool({QStringLiteral("key"), QStringLiteral("space")});
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(autostartEntry()); }, kBoundMs));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return setting(AppSettings::kAutoLaunchKey) == StoredValue(true); }, kBoundMs));
}

TEST_F(Settings, AnotherHotkeyTakesEffectForTheNextDictation) {
    ASSERT_TRUE(tabTo(QStringLiteral("Dictation shortcut")))
        << AccessibleTree::dump(pid()).toStdString();
    // Down picks the next option that is free: Option (Alt).
    xdotool({QStringLiteral("key"), QStringLiteral("Down")});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return setting(AppSettings::kSelectedHotkeyKey) ==
                   StoredValue(QStringLiteral("option"));
        },
        kBoundMs));
    EXPECT_TRUE(waitForName(QStringLiteral(
        "Hold Option and you get whatever you speak. Hold Control + Shift and you get Spanish.")));

    // Escape during a dictation cancels it and leaves the window open.
    dictate(
        [&] {
            xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
            ASSERT_TRUE(waitForLog("Recording cancelled by user"));
        },
        QStringLiteral("Alt_L"));
    EXPECT_EQ(X11Desktop::visibleWindows(QStringLiteral("^Sayloom Settings$"), pid()),
              QStringList{firstWindow});

    ASSERT_TRUE(fields->focus(QStringLiteral("line")));
    dictate({}, QStringLiteral("Alt_L"));
    EXPECT_EQ(fields->waitForText(QStringLiteral("line"), kAnswer, std::chrono::seconds(30)),
              kAnswer);
    EXPECT_EQ(requestsTo("/v1/transcribe"), 1) << "the cancelled dictation sent nothing";
}

TEST_F(Settings, TheChosenLanguageIsTheOneTheNextRequestCarries) {
    ASSERT_TRUE(tabTo(QStringLiteral("Speech language")));
    // The list opens in a window of its own, off the accessibility tree (Qt leaves pop-ups out
    // of it); its search field has the keyboard.
    xdotool({QStringLiteral("key"), QStringLiteral("space")});
    ASSERT_TRUE(X11Desktop::waitForWindow(QStringLiteral("^Speech language$"), pid()));
    xdotool({QStringLiteral("type"), QStringLiteral("germ")});
    xdotool({QStringLiteral("key"), QStringLiteral("Return")});
    EXPECT_TRUE(windowGone(QStringLiteral("^Speech language$")));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return setting(AppSettings::kSpeechLanguageKey) == StoredValue(QStringLiteral("de"));
        },
        kBoundMs));
    EXPECT_TRUE(waitForName(QStringLiteral("German")));

    ASSERT_TRUE(fields->focus(QStringLiteral("line")));
    dictate();
    ASSERT_TRUE(QTest::qWaitFor([&] { return requestsTo("/v1/transcribe") == 1; }, kBoundMs));
    for (const LoopbackHttpServer::Request& request : server.requests()) {
        if (request.path() != "/v1/transcribe")
            continue;
        const QUrlQuery query(QUrl::fromEncoded("http://x" + request.target));
        EXPECT_EQ(query.queryItemValue(QStringLiteral("language")), QStringLiteral("de"))
            << request.target.toStdString();
    }
}

} // namespace
