#pragma once

#include "ClipboardSamples.h"
#include "FieldsApp.h"
#include "MemoryKeyValueStore.h"
#include "RealPartRequirement.h"
#include "WaylandClipboard.h"

#include "insertion/AXFallbackCache.h"
#include "insertion/AccessibilityInjector.h"
#include "insertion/TextInjector.h"
#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/DataControlPasteboard.h"
#include "platform/linux/SessionAdapters.h"
#include "support/QtScheduler.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sayloom::testing {

// Text insertion in a Wayland session of the test's own, through the parts Sayloom uses there:
// the injector with the session's adapters, in this process, into native Wayland fields.
class WaylandInsertion : public ::testing::Test {
protected:
    static constexpr int kBoundMs = 30'000;

    // Fails (or skips, outside CI) unless the session is there (`missingSession` empty), wl-copy
    // can check its clipboard, and Sayloom reaches that clipboard through data control and can
    // post keys.
    void requireSessionWithDataControl(const QString& missingSession) {
        REQUIRE_REAL_PART(missingSession);
        REQUIRE_REAL_PART(QStandardPaths::findExecutable(QStringLiteral("wl-copy")).isEmpty()
                              ? QStringLiteral("wl-copy (package wl-clipboard) is missing")
                              : QString());
        ASSERT_NE(dynamic_cast<linux_desktop::DataControlPasteboard*>(&pasteboard), nullptr);
        ASSERT_TRUE(session.keyPostingTrust().isProcessTrusted());
    }

    // Dictates into `field` of `fields`, off the accessibility bus and so by paste, with text and
    // then an image on the clipboard before: the field shows each text, and the clipboard holds
    // what it held before again, as Wayland applications paste it.
    void expectPastedWithTheClipboardBack(FieldsApp& fields, const QString& field) {
        const struct {
            const char* name;
            QString format;
            QByteArray before;
            QString dictated;
        } cases[] = {
            {"text before", QStringLiteral("text/plain;charset=utf-8"), "copied before",
             "Dictated by voice"},
            {"image before", QStringLiteral("image/png"), redPng(), " Grüße aus Köln"},
        };
        QString expected;
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            wlCopy(c.format, c.before);
            ASSERT_TRUE(QTest::qWaitFor([&] { return wlPaste(c.format) == c.before; }, kBoundMs));
            EXPECT_TRUE(injector.inject(c.dictated));
            EXPECT_EQ(injector.lastRoad(), TextInjector::Road::paste);
            expected += c.dictated;
            EXPECT_EQ(fields.waitForText(field, expected, std::chrono::milliseconds(kBoundMs)),
                      expected);
            ASSERT_TRUE(waitForRestore());
            EXPECT_EQ(wlPaste(c.format), c.before);
        }
    }

    // A text dictated into a terminal, and the road it takes there.
    struct TerminalCase {
        const char* name;
        QString text;
        TextInjector::Road road;
    };
    // Through a keyboard layout (us in the test sessions): one text typed, shifted keys too, and
    // one with letters no key of the layout types, which goes whole by Ctrl+Shift+V.
    static std::vector<TerminalCase> layoutTerminalCases() {
        return {
            {"typed, shifted keys too", QStringLiteral("ls -la ~/Notes | grep \"A+B\""),
             TextInjector::Road::type},
            {"letters without a key", QStringLiteral(" grüße, café"), TextInjector::Road::paste}};
    }

    // Dictates each case into a Wayland GTK text view standing for the terminal `terminalId`
    // (which takes Ctrl+Shift+V as its paste): the view shows the texts in turn.
    void expectTerminalViewShows(const QString& terminalId,
                                 const std::vector<TerminalCase>& cases) {
        auto fields = waylandFields(QStringLiteral("view"), true);
        ASSERT_TRUE(fields);
        standIn = terminalId;
        QString shown;
        for (const TerminalCase& c : cases) {
            SCOPED_TRACE(std::string("Wayland text view, ") + c.name);
            EXPECT_TRUE(injector.inject(c.text));
            EXPECT_EQ(injector.lastRoad(), c.road);
            shown += c.text;
            EXPECT_EQ(fields->waitForText(QStringLiteral("view"), shown,
                                          std::chrono::milliseconds(kBoundMs)),
                      shown);
            ASSERT_TRUE(waitForRestore());
        }
        standIn.reset();
    }

    // Waits until the file at `path` (a terminal's input, copied there) holds `expected`; returns
    // what it held last.
    static QString waitForFileText(const QString& path, const QString& expected) {
        QString last;
        (void)QTest::qWaitFor(
            [&] {
                QFile file(path);
                last =
                    file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
                return last == expected;
            },
            kBoundMs);
        return last;
    }

    // A native Wayland GTK window with its fields, focused on `field`.
    static std::unique_ptr<FieldsApp> waylandFields(const QString& field, bool accessible) {
        qputenv("GDK_BACKEND", "wayland");
        auto fields = FieldsApp::start(FieldsApp::Toolkit::gtk, accessible);
        qunsetenv("GDK_BACKEND");
        if (!fields || fields->command(QStringLiteral("focus ") + field) != QStringLiteral("ok"))
            return nullptr;
        return fields;
    }

    // Waits for the restore of the clipboard that follows a paste.
    bool waitForRestore() {
        return QTest::qWaitFor([&] { return !injector.isClipboardRestorePending(); }, kBoundMs);
    }

    QtScheduler scheduler;
    linux_desktop::SessionAdapters session{
        linux_desktop::SessionRoads::detect(linux_desktop::SessionEnvironment::current()),
        scheduler};
    Pasteboard& pasteboard = session.pasteboard();
    linux_desktop::AtspiAccessibility accessibility{session.frontmost(), scheduler};
    AccessibilityInjector accessibilityInjector{accessibility, session.frontmost()};
    MemoryKeyValueStore store;
    AXFallbackCache fallbackCache{store};
    // The frontmost application as the session tells it, unless a test stands one in.
    std::optional<QString> standIn;
    TextInjector injector{TextInjector::Collaborators{
        accessibilityInjector, fallbackCache, pasteboard, session.keyPoster(),
        session.keyPostingTrust(), scheduler,
        [this] { return standIn ? standIn : session.frontmostApplicationID(); }}};
};

} // namespace sayloom::testing
