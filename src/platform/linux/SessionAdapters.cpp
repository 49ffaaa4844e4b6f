#include "platform/linux/SessionAdapters.h"

#include "platform/linux/AtspiFrontmostApplication.h"
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

std::unique_ptr<AccessibilityTrust> hotkeyTrustFor(const SessionRoads& roads) {
    if (roads.hotkeyRoad() == HotkeyRoad::x11)
        return std::make_unique<X11SessionTrust>(X11SessionTrust::Use::observingKeys);
    return std::make_unique<Unusable>();
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
    XInput2KeyMonitor keyMonitor;
    X11KeyPoster keyPoster;
    std::unique_ptr<FrontmostApplicationSource> frontmost;
    std::unique_ptr<AccessibilityTrust> hotkeyTrust;
    std::unique_ptr<AccessibilityTrust> keyPostingTrust;

    Parts(const SessionRoads& roads, Scheduler& scheduler)
        : keyPoster(scheduler)
        , frontmost(frontmostFor(roads, scheduler))
        , hotkeyTrust(hotkeyTrustFor(roads))
        , keyPostingTrust(keyPostingTrustFor(roads)) {
        // The keys the poster posts are ours, not the user's hotkey.
        keyPoster.setSyntheticKeyGuard(&keyMonitor);
    }
};

SessionAdapters::SessionAdapters(const SessionRoads& roads, Scheduler& scheduler)
    : parts_(std::make_unique<Parts>(roads, scheduler)) {}

SessionAdapters::~SessionAdapters() = default;

KeyEventMonitor& SessionAdapters::keyMonitor() const { return parts_->keyMonitor; }
KeyPoster& SessionAdapters::keyPoster() const { return parts_->keyPoster; }
FrontmostApplicationSource& SessionAdapters::frontmost() const { return *parts_->frontmost; }
AccessibilityTrust& SessionAdapters::hotkeyTrust() const { return *parts_->hotkeyTrust; }
AccessibilityTrust& SessionAdapters::keyPostingTrust() const { return *parts_->keyPostingTrust; }

std::optional<QString> SessionAdapters::frontmostApplicationID() const {
    const auto application = parts_->frontmost->frontmostApplication();
    return application ? application->applicationID : std::nullopt;
}

} // namespace sayloom::linux_desktop
