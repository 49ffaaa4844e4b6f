#pragma once

#include "insertion/AccessibilityElement.h"
#include "insertion/FrontmostApplication.h"
#include "platform/linux/AtspiCall.h"

#include <QSet>

using AtspiEvent = struct _AtspiEvent;
using AtspiEventListener = struct _AtspiEventListener;

namespace sayloom::linux_desktop {

// The accessibility tree of the desktop through AT-SPI (libatspi on the accessibility bus).
//
// The focused element is the focused object of the frontmost application: the last object that
// announced it gained focus, while it still has focus and belongs to that application; otherwise
// the first focused object found walking that application's windows, the active window first.
// An application that is not on the accessibility bus has nothing focused for us.
//
// libatspi is not thread-safe and delivers its events through the GLib main context, which is
// Qt's event loop on the main thread: main thread only.
class AtspiAccessibility final : public AccessibilityAccess {
public:
    AtspiAccessibility(FrontmostApplicationSource& frontmost, const Scheduler& clock);
    ~AtspiAccessibility() override;
    AtspiAccessibility(const AtspiAccessibility&) = delete;
    AtspiAccessibility& operator=(const AtspiAccessibility&) = delete;

    std::shared_ptr<AccessibilityElement> systemWideElement() override;
    std::shared_ptr<AccessibilityElement> applicationElement(qint64 processIdentifier) override;

    // The focused element, or why there is none (noValue: nothing focused; apiDisabled: no
    // accessibility bus; cannotComplete: the application did not answer in time).
    AccessibilityRead focusedElement(Duration timeout);
    // Turns on the accessibility bus's IsEnabled status: applications started from now on expose
    // their tree (Qt's do so only then). The desktop keeps the setting.
    AXError enableAccessibility(Duration timeout);
    // The accessibility bus's IsEnabled status; nothing when the bus does not answer.
    static std::optional<bool> isAccessibilityEnabled(Duration timeout);

private:
    static void onFocusEvent(AtspiEvent* event, void* self);

    // The first focused object below `root`; `visited` bounds the walk.
    AXError findFocused(const AtspiRef& root, Duration timeout, int& visited, AtspiRef& found);
    std::optional<qint64> processOf(AtspiAccessible* accessible, Duration timeout);

    FrontmostApplicationSource& frontmost_;
    const Scheduler& clock_;
    bool available_ = false;
    AtspiEventListener* listener_ = nullptr;
    AtspiRef lastFocused_;
};

} // namespace sayloom::linux_desktop
