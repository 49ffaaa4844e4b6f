#include "platform/linux/SessionAdapters.h"

#include "platform/linux/AtspiFrontmostApplication.h"
#include "platform/linux/EvdevKeyMonitor.h"
#include "platform/linux/EvdevKeyStream.h"
#include "platform/linux/SwayBindingsKeyMonitor.h"
#include "platform/linux/X11FrontmostApplication.h"
#include "platform/linux/X11KeyPoster.h"
#include "platform/linux/X11SessionTrust.h"
#include "platform/linux/XInput2KeyMonitor.h"

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

std::unique_ptr<AccessibilityTrust> hotkeyTrustFor(const SessionRoads& roads) {
    const std::optional<HotkeyRoad> road = roads.hotkeyRoad();
    if (road == HotkeyRoad::x11)
        return std::make_unique<X11SessionTrust>(X11SessionTrust::Use::observingKeys);
    if (road == HotkeyRoad::evdev)
        return std::make_unique<KeyboardsReadable>();
    if (road == HotkeyRoad::swayBindings)
        return std::make_unique<SwaySocketAnswers>();
    return std::make_unique<Unusable>();
}

// The monitor of the session's hotkey road; the X11 one where this build drives none of the
// roads offered.
std::unique_ptr<SessionKeyMonitor> keyMonitorFor(const SessionRoads& roads) {
    if (roads.hotkeyRoad() == HotkeyRoad::evdev)
        return std::make_unique<EvdevKeyMonitor>();
    if (roads.hotkeyRoad() == HotkeyRoad::swayBindings)
        return std::make_unique<SwayBindingsKeyMonitor>();
    return std::make_unique<XInput2KeyMonitor>();
}

std::unique_ptr<AccessibilityTrust> keyPostingTrustFor(const SessionRoads& roads) {
    for (const InsertionRoad road : roads.insertionRoads)
        if (road == InsertionRoad::x11Keys)
            return std::make_unique<X11SessionTrust>(X11SessionTrust::Use::postingKeys);
    return std::make_unique<Unusable>();
}

std::unique_ptr<FrontmostApplicationSource> frontmostFor(const SessionRoads& roads,
                                                         const Scheduler& clock) {
    // The X server knows only the windows of X clients in a Wayland session.
    if (roads.wayland)
        return std::make_unique<AtspiFrontmostApplication>(clock);
    return std::make_unique<X11FrontmostApplication>();
}

} // namespace

struct SessionAdapters::Parts {
    std::unique_ptr<SessionKeyMonitor> keyMonitor;
    X11KeyPoster keyPoster;
    std::unique_ptr<FrontmostApplicationSource> frontmost;
    std::unique_ptr<AccessibilityTrust> hotkeyTrust;
    std::unique_ptr<AccessibilityTrust> keyPostingTrust;

    Parts(const SessionRoads& roads, Scheduler& scheduler)
        : keyMonitor(keyMonitorFor(roads))
        , keyPoster(scheduler)
        , frontmost(frontmostFor(roads, scheduler))
        , hotkeyTrust(hotkeyTrustFor(roads))
        , keyPostingTrust(keyPostingTrustFor(roads)) {
        // The keys the poster posts are ours, not the user's hotkey.
        keyPoster.setSyntheticKeyGuard(keyMonitor.get());
    }
};

SessionAdapters::SessionAdapters(const SessionRoads& roads, Scheduler& scheduler)
    : parts_(std::make_unique<Parts>(roads, scheduler)) {}

SessionAdapters::~SessionAdapters() = default;

KeyEventMonitor& SessionAdapters::keyMonitor() const { return *parts_->keyMonitor; }
KeyPoster& SessionAdapters::keyPoster() const { return parts_->keyPoster; }
FrontmostApplicationSource& SessionAdapters::frontmost() const { return *parts_->frontmost; }
AccessibilityTrust& SessionAdapters::hotkeyTrust() const { return *parts_->hotkeyTrust; }
AccessibilityTrust& SessionAdapters::keyPostingTrust() const { return *parts_->keyPostingTrust; }

std::optional<QString> SessionAdapters::frontmostApplicationID() const {
    const auto application = parts_->frontmost->frontmostApplication();
    return application ? application->applicationID : std::nullopt;
}

} // namespace sayloom::linux_desktop
