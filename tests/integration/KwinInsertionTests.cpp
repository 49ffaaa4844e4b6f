// Text insertion in a KDE Plasma session (scripts/lib/kwin-session.sh), through the parts Sayloom
// uses there: the injector with the session's adapters, whose keys go through KWin's fake input
// and so through the session's keyboard layout (us here), and the clipboard through data control.

#include "WaylandInsertion.h"

#include "platform/linux/KdeFakeInputKeyPoster.h"

using namespace sayloom;
using namespace sayloom::linux_desktop;
using namespace sayloom::testing;

namespace {

class KwinInsertion : public WaylandInsertion {
protected:
    void SetUp() override {
        requireSessionWithDataControl(
            qEnvironmentVariable("XDG_CURRENT_DESKTOP") != QLatin1String("KDE") ||
                    qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
                ? QStringLiteral("no KDE session: run inside scripts/lib/kwin-session.sh")
                : QString());
        if (IsSkipped() || HasFailure())
            return;
        ASSERT_NE(dynamic_cast<KdeFakeInputKeyPoster*>(&session.keyPoster()), nullptr);
    }
};

// A field off the accessibility bus is pasted into and the clipboard comes back, whatever its
// format; a terminal (a text view with a terminal's id stood in) is typed into through the
// layout, and a text the layout cannot type goes by its Ctrl+Shift+V.
TEST_F(KwinInsertion, PasteAndTypingLandTheTextInAWaylandField) {
    auto fields = waylandFields(QStringLiteral("entry"), false);
    ASSERT_TRUE(fields);
    expectPastedWithTheClipboardBack(*fields, QStringLiteral("entry"));
    fields.reset();
    expectTerminalViewShows(QStringLiteral("org.kde.konsole"), layoutTerminalCases());
}

} // namespace
