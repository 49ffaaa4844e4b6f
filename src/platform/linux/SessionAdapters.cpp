#include "platform/linux/SessionAdapters.h"

#include "platform/linux/AtspiFrontmostApplication.h"
#include "platform/linux/EvdevKeyMonitor.h"
#include "platform/linux/EvdevKeyStream.h"
#include "platform/linux/MutterRemoteDesktopKeyPoster.h"
#include "platform/linux/PortalGlobalShortcutsKeyMonitor.h"
#include "platform/linux/SwayBindingsKeyMonitor.h"
#include "platform/linux/X11FrontmostApplication.h"
#include "platform/linux/X11KeyPoster.h"
#include "platform/linux/X11SessionTrust.h"
#include "platform/linux/XInput2KeyMonitor.h"

#include <algorithm>

namespace sayloom::linux_desktop {

namespace {

// A road this build cannot drive in this session.
class Unusable final : public AccessibilityTrust {
public:
    bool isProcessTrusted() override { return false; }
};

// The evdev road is usable while some keyboard device can be opened (the user is in the "input"
// group and has logged in again since).
class KeyboardsReadable final : public AccessibilityTrust {
public:
    bool isProcessTrusted() override { return EvdevKeyStream::someKeyboardReadable(); }
};

// The sway road is usable while sway answers on its IPC socket.
class SwaySocketAnswers final : public AccessibilityTrust {
public:
    bool isProcessTrusted() override { return SwayBindingsKeyMonitor::socketAnswers(); }
};

// The portal road is usable while the desktop portal offers global shortcuts.
class PortalAnswers final : public AccessibilityTrust {
public:
    bool isProcessTrusted() override { return PortalGlobalShortcutsKeyMonitor::portalAnswers(); }
};

std::unique_ptr<AccessibilityTrust> hotkeyTrustFor(const SessionRoads& roads) {
    const std::optional<HotkeyRoad> road = roads.hotkeyRoad();
    if (road == HotkeyRoad::x11)
        return std::make_unique<X11SessionTrust>(X11SessionTrust::Use::observingKeys);
    if (road == HotkeyRoad::evdev)
        return std::make_unique<KeyboardsReadable>();
    if (road == HotkeyRoad::swayBindings)
        return std::make_unique<SwaySocketAnswers>();
    if (road == HotkeyRoad::globalShortcutsPortal)
        return std::make_unique<PortalAnswers>();
    return std::make_unique<Unusable>();
}

// The monitor of the session's hotkey road; the X11 one where this build drives none of the
// roads offered.
std::unique_ptr<SessionKeyMonitor> keyMonitorFor(const SessionRoads& roads) {
    if (roads.hotkeyRoad() == HotkeyRoad::evdev)
        return std::make_unique<EvdevKeyMonitor>();
    if (roads.hotkeyRoad() == HotkeyRoad::swayBindings)
        return std::make_unique<SwayBindingsKeyMonitor>();
    if (roads.hotkeyRoad() == HotkeyRoad::globalShortcutsPortal)
        return std::make_unique<PortalGlobalShortcutsKeyMonitor>();
    return std::make_unique<XInput2KeyMonitor>();
}

// The remote-desktop road is usable while the compositor offers its interface on the bus.
class RemoteDesktopOffered final : public AccessibilityTrust {
public:
    bool isProcessTrusted() override { return MutterRemoteDesktopKeyPoster::isServiceAvailable(); }
};

bool offers(const SessionRoads& roads, InsertionRoad wanted) {
    return std::find(roads.insertionRoads.cbegin(), roads.insertionRoads.cend(), wanted) !=
           roads.insertionRoads.cend();
}

std::unique_ptr<AccessibilityTrust> keyPostingTrustFor(const SessionRoads& roads) {
    if (offers(roads, InsertionRoad::mutterRemoteDesktop))
        return std::make_unique<RemoteDesktopOffered>();
    if (offers(roads, InsertionRoad::x11Keys))
        return std::make_unique<X11SessionTrust>(X11SessionTrust::Use::postingKeys);
    return std::make_unique<Unusable>();
}

// The poster of the session's key road, announcing its keys to `guard`; the X11 one where this
// build drives none of the roads offered.
std::unique_ptr<KeyPoster> keyPosterFor(const SessionRoads& roads, Scheduler& scheduler,
                                        SyntheticKeyGuard* guard) {
    if (offers(roads, InsertionRoad::mutterRemoteDesktop)) {
        auto poster = std::make_unique<MutterRemoteDesktopKeyPoster>();
        poster->setSyntheticKeyGuard(guard);
        return poster;
    }
    auto poster = std::make_unique<X11KeyPoster>(scheduler);
    poster->setSyntheticKeyGuard(guard);
    return poster;
}

// GNOME's frontmost application: while an X client has the focus, its window is XWayland's active
// window (mutter keeps it, and clears it when a Wayland window takes the focus), which names X
// clients off the accessibility bus too (xterm); otherwise the accessibility bus tells.
class GnomeWaylandFrontmost final : public FrontmostApplicationSource {
public:
    explicit GnomeWaylandFrontmost(const Scheduler& clock) : accessibility_(clock) {}

    std::optional<RunningApplication> frontmostApplication() override {
        if (auto application = xwayland_.frontmostApplication())
            return application;
        return accessibility_.frontmostApplication();
    }

private:
    X11FrontmostApplication xwayland_;
    AtspiFrontmostApplication accessibility_;
};

std::unique_ptr<FrontmostApplicationSource> frontmostFor(const SessionRoads& roads,
                                                         const Scheduler& clock) {
    if (offers(roads, InsertionRoad::mutterRemoteDesktop))
        return std::make_unique<GnomeWaylandFrontmost>(clock);
    // The X server knows only the windows of X clients in a Wayland session.
    if (roads.wayland)
        return std::make_unique<AtspiFrontmostApplication>(clock);
    return std::make_unique<X11FrontmostApplication>();
}

} // namespace

struct SessionAdapters::Parts {
    std::unique_ptr<SessionKeyMonitor> keyMonitor;
    std::unique_ptr<KeyPoster> keyPoster;
    std::unique_ptr<FrontmostApplicationSource> frontmost;
    std::unique_ptr<AccessibilityTrust> hotkeyTrust;
    std::unique_ptr<AccessibilityTrust> keyPostingTrust;
    QtClipboardPasteboard::OfferReading offerReading;

    Parts(const SessionRoads& roads, Scheduler& scheduler)
        : keyMonitor(keyMonitorFor(roads))
        // The keys the poster posts are ours, not the user's hotkey.
        , keyPoster(keyPosterFor(roads, scheduler, keyMonitor.get()))
        , frontmost(frontmostFor(roads, scheduler))
        , hotkeyTrust(hotkeyTrustFor(roads))
        , keyPostingTrust(keyPostingTrustFor(roads))
        // GNOME's compositor hands an X client's clipboard to Wayland clients once it has read
        // the list of formats, and then copies the content for its clipboard manager.
        , offerReading(offers(roads, InsertionRoad::mutterRemoteDesktop)
                           ? QtClipboardPasteboard::OfferReading::byCompositor
                           : QtClipboardPasteboard::OfferReading::byApplications) {}
};

SessionAdapters::SessionAdapters(const SessionRoads& roads, Scheduler& scheduler)
    : parts_(std::make_unique<Parts>(roads, scheduler)) {}

SessionAdapters::~SessionAdapters() = default;

KeyEventMonitor& SessionAdapters::keyMonitor() const { return *parts_->keyMonitor; }
KeyPoster& SessionAdapters::keyPoster() const { return *parts_->keyPoster; }
FrontmostApplicationSource& SessionAdapters::frontmost() const { return *parts_->frontmost; }
AccessibilityTrust& SessionAdapters::hotkeyTrust() const { return *parts_->hotkeyTrust; }
AccessibilityTrust& SessionAdapters::keyPostingTrust() const { return *parts_->keyPostingTrust; }

QtClipboardPasteboard::OfferReading SessionAdapters::clipboardOfferReading() const {
    return parts_->offerReading;
}

std::optional<QString> SessionAdapters::frontmostApplicationID() const {
    const auto application = parts_->frontmost->frontmostApplication();
    return application ? application->applicationID : std::nullopt;
}

} // namespace sayloom::linux_desktop
