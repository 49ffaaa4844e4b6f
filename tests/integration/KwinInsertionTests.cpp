// Text insertion in a KDE Plasma session (scripts/lib/kwin-session.sh), through the parts Sayloom
// uses there: the injector with the session's adapters, whose keys go through KWin's fake input
// and so through the session's keyboard layout (us here), and the clipboard through data control.

#include "ClipboardSamples.h"
#include "RealPartRequirement.h"
#include "WaylandClipboard.h"
#include "WaylandInsertion.h"

#include "platform/linux/DataControlPasteboard.h"
#include "platform/linux/KdeFakeInputKeyPoster.h"

#include <QStandardPaths>

using namespace sayloom;
using namespace sayloom::linux_desktop;
using namespace sayloom::testing;

namespace {

class KwinInsertion : public WaylandInsertion {
protected:
    void SetUp() override {
        REQUIRE_REAL_PART(qEnvironmentVariable("XDG_CURRENT_DESKTOP") != QLatin1String("KDE") ||
                                  qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
                              ? QStringLiteral("no KDE session: run inside "
                                               "scripts/lib/kwin-session.sh")
                              : QString());
        REQUIRE_REAL_PART(QStandardPaths::findExecutable(QStringLiteral("wl-copy")).isEmpty()
                              ? QStringLiteral("wl-copy (package wl-clipboard) is missing")
                              : QString());
        ASSERT_NE(dynamic_cast<KdeFakeInputKeyPoster*>(&session.keyPoster()), nullptr);
        ASSERT_NE(dynamic_cast<DataControlPasteboard*>(&pasteboard), nullptr);
        ASSERT_TRUE(session.keyPostingTrust().isProcessTrusted());
    }
};

// A field off the accessibility bus is pasted into and the clipboard comes back, whatever its
// format; a terminal (a text view with a terminal's id stood in) is typed into through the
// layout, and a text the layout cannot type goes by its Ctrl+Shift+V.
TEST_F(KwinInsertion, PasteAndTypingLandTheTextInAWaylandField) {
    auto fields = waylandFields(QStringLiteral("entry"), false);
    ASSERT_TRUE(fields);
    const struct {
        const char* name;
        QString format;
        QByteArray before;
        QString dictated;
    } pastes[] = {
        {"text before", QStringLiteral("text/plain;charset=utf-8"), "copied before",
         "Dictated by voice"},
        {"image before", QStringLiteral("image/png"), redPng(), " Grüße aus Köln"},
    };
    QString expected;
    for (const auto& c : pastes) {
        SCOPED_TRACE(c.name);
        wlCopy(c.format, c.before);
        ASSERT_TRUE(QTest::qWaitFor([&] { return wlPaste(c.format) == c.before; }, kBoundMs));
        EXPECT_TRUE(injector.inject(c.dictated));
        EXPECT_EQ(injector.lastRoad(), TextInjector::Road::paste);
        expected += c.dictated;
        EXPECT_EQ(fields->waitForText(QStringLiteral("entry"), expected,
                                      std::chrono::milliseconds(kBoundMs)),
                  expected);
        ASSERT_TRUE(waitForRestore());
        EXPECT_EQ(wlPaste(c.format), c.before);
    }
    fields.reset();

    fields = waylandFields(QStringLiteral("view"), true);
    ASSERT_TRUE(fields);
    standIn = QStringLiteral("org.kde.konsole");
    const struct {
        const char* name;
        QString text;
        TextInjector::Road road;
    } terminal[] = {
        {"typed, shifted keys too", QStringLiteral("ls -la ~/Notes | grep \"A+B\""),
         TextInjector::Road::type},
        {"letters without a key", QStringLiteral(" grüße, café"), TextInjector::Road::paste},
    };
    QString shown;
    for (const auto& c : terminal) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(injector.inject(c.text));
        EXPECT_EQ(injector.lastRoad(), c.road);
        shown += c.text;
        EXPECT_EQ(
            fields->waitForText(QStringLiteral("view"), shown, std::chrono::milliseconds(kBoundMs)),
            shown);
        ASSERT_TRUE(waitForRestore());
    }
}

} // namespace
