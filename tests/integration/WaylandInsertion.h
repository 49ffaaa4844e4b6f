#pragma once

#include "FieldsApp.h"
#include "MemoryKeyValueStore.h"

#include "insertion/AXFallbackCache.h"
#include "insertion/AccessibilityInjector.h"
#include "insertion/TextInjector.h"
#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/SessionAdapters.h"
#include "support/QtScheduler.h"

#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace sayloom::testing {

// Text insertion in a Wayland session of the test's own, through the parts Sayloom uses there:
// the injector with the session's adapters, in this process, into native Wayland fields.
class WaylandInsertion : public ::testing::Test {
protected:
    static constexpr int kBoundMs = 30'000;

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
