#include "platform/linux/SessionAdapters.h"

#include "platform/linux/AtspiFrontmostApplication.h"
#include "platform/linux/DataControlPasteboard.h"
#include "platform/linux/EvdevKeyMonitor.h"
#include "platform/linux/EvdevKeyStream.h"
#include "platform/linux/KdeFakeInputKeyPoster.h"
#include "platform/linux/MutterRemoteDesktopKeyPoster.h"
#include "platform/linux/PortalGlobalShortcutsKeyMonitor.h"
#include "platform/linux/QtClipboardPasteboard.h"
#include "platform/linux/SwayBindingsKeyMonitor.h"
#include "platform/linux/SwayFrontmostApplication.h"
#include "platform/linux/VirtualKeyboardKeyPoster.h"
#include "platform/linux/WaylandConnection.h"
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

// A road on our compositor connection is usable while the compositor offers its protocol there.
template <typename Poster>
class OfferedOnConnection final : public AccessibilityTrust {
public:
    explicit OfferedOnConnection(const WaylandConnection* connection) : connection_(connection) {}
    bool isProcessTrusted() override { return Poster::isOffered(connection_); }

private:
    const WaylandConnection* connection_;
};

std::unique_ptr<AccessibilityTrust> keyPostingTrustFor(const SessionRoads& roads,
                                                       const WaylandConnection* wayland) {
    if (offers(roads, InsertionRoad::mutterRemoteDesktop))
        return std::make_unique<RemoteDesktopOffered>();
    if (offers(roads, InsertionRoad::virtualKeyboard))
        return std::make_unique<OfferedOnConnection<VirtualKeyboardKeyPoster>>(wayland);
    if (offers(roads, InsertionRoad::kdeFakeInput))
        return std::make_unique<OfferedOnConnection<KdeFakeInputKeyPoster>>(wayland);
    if (offers(roads, InsertionRoad::x11Keys))
        return std::make_unique<X11SessionTrust>(X11SessionTrust::Use::postingKeys);
    return std::make_unique<Unusable>();
}

// The poster of the session's key road, announcing its keys to `guard`; the X11 one where this
// build drives none of the roads offered.
std::unique_ptr<KeyPoster> keyPosterFor(const SessionRoads& roads, Scheduler& scheduler,
                                        WaylandConnection* wayland, SyntheticKeyGuard* guard) {
    if (offers(roads, InsertionRoad::mutterRemoteDesktop)) {
        auto poster = std::make_unique<MutterRemoteDesktopKeyPoster>();
        poster->setSyntheticKeyGuard(guard);
        return poster;
    }
    if (offers(roads, InsertionRoad::virtualKeyboard)) {
        auto poster = std::make_unique<VirtualKeyboardKeyPoster>(wayland);
        poster->setSyntheticKeyGuard(guard);
        return poster;
    }
    if (offers(roads, InsertionRoad::kdeFakeInput)) {
        auto poster = std::make_unique<KdeFakeInputKeyPoster>(wayland);
        poster->setSyntheticKeyGuard(guard);
        return poster;
    }
    auto poster = std::make_unique<X11KeyPoster>(scheduler);
    poster->setSyntheticKeyGuard(guard);
    return poster;
}

// The frontmost application as the compositor tells it, which names clients off the
// accessibility bus too (terminals), else as the accessibility bus tells. GNOME's compositor
// tells through XWayland's active window while an X client has the focus (mutter keeps it, and
// clears it when a Wayland window takes the focus); sway's tree tells of every window.
class CompositorThenAccessibility final : public FrontmostApplicationSource {
public:
    CompositorThenAccessibility(std::unique_ptr<FrontmostApplicationSource> compositor,
                                const Scheduler& clock)
        : compositor_(std::move(compositor))
        , accessibility_(clock) {}

    std::optional<RunningApplication> frontmostApplication() override {
        if (auto application = compositor_->frontmostApplication())
            return application;
        return accessibility_.frontmostApplication();
    }

private:
    std::unique_ptr<FrontmostApplicationSource> compositor_;
    AtspiFrontmostApplication accessibility_;
};

std::unique_ptr<FrontmostApplicationSource> frontmostFor(const SessionRoads& roads,
                                                         const Scheduler& clock) {
    if (offers(roads, InsertionRoad::mutterRemoteDesktop))
        return std::make_unique<CompositorThenAccessibility>(
            std::make_unique<X11FrontmostApplication>(), clock);
    if (std::find(roads.hotkeyRoads.cbegin(), roads.hotkeyRoads.cend(), HotkeyRoad::swayBindings) !=
        roads.hotkeyRoads.cend())
        return std::make_unique<CompositorThenAccessibility>(
            std::make_unique<SwayFrontmostApplication>(), clock);
    // The X server knows only the windows of X clients in a Wayland session.
    if (roads.wayland)
        return std::make_unique<AtspiFrontmostApplication>(clock);
    return std::make_unique<X11FrontmostApplication>();
}

} // namespace

// The compositor connection of the roads that need one of our own.
std::unique_ptr<WaylandConnection> waylandConnectionFor(const SessionRoads& roads) {
    if (!offers(roads, InsertionRoad::virtualKeyboard) &&
        !offers(roads, InsertionRoad::kdeFakeInput))
        return nullptr;
    return WaylandConnection::connect();
}

struct SessionAdapters::Parts {
    std::unique_ptr<WaylandConnection> wayland;
    std::unique_ptr<SessionKeyMonitor> keyMonitor;
    std::unique_ptr<KeyPoster> keyPoster;
    std::unique_ptr<FrontmostApplicationSource> frontmost;
    std::unique_ptr<AccessibilityTrust> hotkeyTrust;
    std::unique_ptr<AccessibilityTrust> keyPostingTrust;
    bool gnome;
    // The clipboard's own connection: what other applications ask of our offers is dispatched
    // when the clipboard is read or the event loop runs, never while the poster waits for its
    // keys to arrive, so that a paste's request is counted after its keys.
    std::unique_ptr<WaylandConnection> clipboardWayland;
    std::unique_ptr<Pasteboard> pasteboard;

    Parts(const SessionRoads& roads, Scheduler& scheduler)
        : wayland(waylandConnectionFor(roads))
        , keyMonitor(keyMonitorFor(roads))
        // The keys the poster posts are ours, not the user's hotkey.
        , keyPoster(keyPosterFor(roads, scheduler, wayland.get(), keyMonitor.get()))
        , frontmost(frontmostFor(roads, scheduler))
        , hotkeyTrust(hotkeyTrustFor(roads))
        , keyPostingTrust(keyPostingTrustFor(roads, wayland.get()))
        , gnome(offers(roads, InsertionRoad::mutterRemoteDesktop)) {}

    std::unique_ptr<Pasteboard> makePasteboard() {
        if (wayland)
            clipboardWayland = WaylandConnection::connect();
        if (DataControlPasteboard::isOffered(clipboardWayland.get()))
            return std::make_unique<DataControlPasteboard>(*clipboardWayland);
        // GNOME's compositor hands an X client's clipboard to Wayland clients once it has read
        // the list of formats, and then copies the content for its clipboard manager.
        return std::make_unique<QtClipboardPasteboard>(
            gnome ? QtClipboardPasteboard::OfferReading::byCompositor
                  : QtClipboardPasteboard::OfferReading::byApplications);
    }
};

SessionAdapters::SessionAdapters(const SessionRoads& roads, Scheduler& scheduler)
    : parts_(std::make_unique<Parts>(roads, scheduler)) {}

SessionAdapters::~SessionAdapters() = default;

KeyEventMonitor& SessionAdapters::keyMonitor() const { return *parts_->keyMonitor; }
KeyPoster& SessionAdapters::keyPoster() const { return *parts_->keyPoster; }
FrontmostApplicationSource& SessionAdapters::frontmost() const { return *parts_->frontmost; }
AccessibilityTrust& SessionAdapters::hotkeyTrust() const { return *parts_->hotkeyTrust; }
AccessibilityTrust& SessionAdapters::keyPostingTrust() const { return *parts_->keyPostingTrust; }

Pasteboard& SessionAdapters::pasteboard() const {
    if (!parts_->pasteboard)
        parts_->pasteboard = parts_->makePasteboard();
    return *parts_->pasteboard;
}

std::optional<QString> SessionAdapters::frontmostApplicationID() const {
    const auto application = parts_->frontmost->frontmostApplication();
    return application ? application->applicationID : std::nullopt;
}

} // namespace sayloom::linux_desktop
