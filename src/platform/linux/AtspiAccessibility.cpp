#include "platform/linux/AtspiAccessibility.h"

#include "platform/linux/AtspiApplicationElement.h"
#include "platform/linux/AtspiSystemWideElement.h"
#include "platform/linux/AtspiTextElement.h"

#include <QCoreApplication>

#include <atspi/atspi.h>
#include <gio/gio.h>

#include <algorithm>

#include <vector>

namespace sayloom::linux_desktop {

namespace {

// A walk that finds nothing in this many objects is not going to: real focus sits a few levels
// below a window, and giant trees (documents, tables) are not where a dictation lands.
constexpr int kMaximumVisited = 3000;

struct States {
    bool focused = false;
    bool active = false;
    bool showing = false;
    bool managesDescendants = false;
    bool defunct = false;
};

States statesOf(AtspiAccessible* accessible) {
    States states;
    AtspiStateSet* set = atspi_accessible_get_state_set(accessible);
    if (!set)
        return states;
    states.focused = atspi_state_set_contains(set, ATSPI_STATE_FOCUSED);
    states.active = atspi_state_set_contains(set, ATSPI_STATE_ACTIVE);
    states.showing = atspi_state_set_contains(set, ATSPI_STATE_SHOWING);
    states.managesDescendants = atspi_state_set_contains(set, ATSPI_STATE_MANAGES_DESCENDANTS);
    states.defunct = atspi_state_set_contains(set, ATSPI_STATE_DEFUNCT);
    g_object_unref(set);
    return states;
}

} // namespace

AtspiAccessibility::AtspiAccessibility(FrontmostApplicationSource& frontmost,
                                       const Scheduler& clock)
    : frontmost_(frontmost)
    , clock_(clock) {
    // 0: initialised now; 1: initialised before (by another user in this process).
    const int initialised = atspi_init();
    available_ = initialised == 0 || initialised == 1;
    if (!available_)
        return;
    listener_ = atspi_event_listener_new(&AtspiAccessibility::onFocusEvent, this, nullptr);
    // Focus changes tell us where the caret is without a walk; changes of the active window keep
    // libatspi's cached window states current.
    atspi_event_listener_register(listener_, "object:state-changed:focused", nullptr);
    atspi_event_listener_register(listener_, "object:state-changed:active", nullptr);
}

AtspiAccessibility::~AtspiAccessibility() {
    if (listener_) {
        atspi_event_listener_deregister(listener_, "object:state-changed:focused", nullptr);
        atspi_event_listener_deregister(listener_, "object:state-changed:active", nullptr);
        g_object_unref(listener_);
    }
}

void AtspiAccessibility::onFocusEvent(AtspiEvent* event, void* user) {
    auto* self = static_cast<AtspiAccessibility*>(user);
    if (event->source && qstrcmp(event->type, "object:state-changed:focused") == 0) {
        if (event->detail1) {
            self->lastFocused_ = adoptAccessible(ATSPI_ACCESSIBLE(g_object_ref(event->source)));
        } else if (self->lastFocused_ && self->lastFocused_.get() == event->source) {
            self->lastFocused_.reset();
        }
    }
    g_boxed_free(ATSPI_TYPE_EVENT, event);
}

std::shared_ptr<AccessibilityElement> AtspiAccessibility::systemWideElement() {
    return std::make_shared<AtspiSystemWideElement>(*this);
}

std::shared_ptr<AccessibilityElement> AtspiAccessibility::applicationElement(qint64) {
    return std::make_shared<AtspiApplicationElement>(*this);
}

std::optional<qint64> AtspiAccessibility::processOf(AtspiAccessible* accessible, Duration timeout) {
    AtspiCall call(clock_, timeout);
    const guint pid = atspi_accessible_get_process_id(accessible, call.error());
    if (call.outcome(pid != 0))
        return std::nullopt;
    return static_cast<qint64>(pid);
}

AXError AtspiAccessibility::findFocused(const AtspiRef& root, Duration timeout, int& visited,
                                        AtspiRef& found) {
    std::vector<AtspiRef> pending = {root};
    while (!pending.empty() && visited < kMaximumVisited) {
        AtspiRef node = std::move(pending.back());
        pending.pop_back();
        ++visited;
        const MonotonicInstant before = clock_.monotonicNow();
        const States states = statesOf(node.get());
        if (clock_.monotonicNow() - before >= timeout * 9 / 10)
            return ax_error::cannotComplete;
        if (states.focused && !states.defunct) {
            found = node;
            return ax_error::success;
        }
        // Hidden parts (other tabs, closed menus) and containers of many items (lists, tables)
        // are not searched.
        if ((!states.showing && node != root) || states.managesDescendants)
            continue;
        AtspiCall countCall(clock_, timeout);
        const gint count = atspi_accessible_get_child_count(node.get(), countCall.error());
        if (countCall.outcome(count >= 0) == ax_error::cannotComplete)
            return ax_error::cannotComplete;
        for (gint i = count - 1; i >= 0; --i) {
            AtspiCall childCall(clock_, timeout);
            AtspiRef child = adoptAccessible(
                atspi_accessible_get_child_at_index(node.get(), i, childCall.error()));
            if (child)
                pending.push_back(std::move(child));
            else if (childCall.outcome(false) == ax_error::cannotComplete)
                return ax_error::cannotComplete;
        }
    }
    return ax_error::noValue;
}

AccessibilityRead AtspiAccessibility::focusedElement(Duration timeout) {
    if (!available_)
        return {ax_error::apiDisabled, {}};
    const std::optional<RunningApplication> front = frontmost_.frontmostApplication();
    const qint64 frontPid = front ? front->processIdentifier : 0;
    // Our own windows would have to answer on this very thread, which is busy asking.
    if (frontPid != 0 && frontPid == QCoreApplication::applicationPid())
        return {ax_error::noValue, {}};

    const auto element = [this](const AtspiRef& accessible) -> AccessibilityRead {
        return {ax_error::success, std::shared_ptr<AccessibilityElement>(
                                       std::make_shared<AtspiTextElement>(accessible, clock_))};
    };

    if (lastFocused_) {
        const MonotonicInstant before = clock_.monotonicNow();
        const States states = statesOf(lastFocused_.get());
        if (clock_.monotonicNow() - before >= timeout * 9 / 10)
            return {ax_error::cannotComplete, {}};
        if (states.focused && !states.defunct &&
            (frontPid == 0 || processOf(lastFocused_.get(), timeout) == frontPid))
            return element(lastFocused_);
    }

    AtspiRef desktop = adoptAccessible(atspi_get_desktop(0));
    if (!desktop)
        return {ax_error::apiDisabled, {}};
    AtspiCall countCall(clock_, timeout);
    const gint applicationCount =
        atspi_accessible_get_child_count(desktop.get(), countCall.error());
    if (applicationCount < 0) {
        const AXError error = countCall.outcome(false);
        return {error == ax_error::cannotComplete ? error : ax_error::apiDisabled, {}};
    }

    // The frontmost application's windows; without a frontmost process, every application's.
    std::vector<AtspiRef> windows;
    for (gint i = 0; i < applicationCount; ++i) {
        AtspiCall childCall(clock_, timeout);
        AtspiRef application = adoptAccessible(
            atspi_accessible_get_child_at_index(desktop.get(), i, childCall.error()));
        if (!application)
            continue;
        if (frontPid != 0 && processOf(application.get(), timeout) != frontPid)
            continue;
        AtspiCall windowCountCall(clock_, timeout);
        const gint windowCount =
            atspi_accessible_get_child_count(application.get(), windowCountCall.error());
        if (windowCountCall.outcome(windowCount >= 0) == ax_error::cannotComplete)
            return {ax_error::cannotComplete, {}};
        for (gint w = 0; w < windowCount; ++w) {
            AtspiCall windowCall(clock_, timeout);
            AtspiRef window = adoptAccessible(
                atspi_accessible_get_child_at_index(application.get(), w, windowCall.error()));
            if (window)
                windows.push_back(std::move(window));
        }
    }
    // The active window first: only there can the focus be.
    std::stable_partition(windows.begin(), windows.end(),
                          [](const AtspiRef& window) { return statesOf(window.get()).active; });

    int visited = 0;
    for (const AtspiRef& window : windows) {
        if (frontPid == 0 && !statesOf(window.get()).active)
            continue;
        AtspiRef found;
        const AXError error = findFocused(window, timeout, visited, found);
        if (error == ax_error::success)
            return element(found);
        if (error == ax_error::cannotComplete)
            return {error, {}};
    }
    return {ax_error::noValue, {}};
}

AXError AtspiAccessibility::enableAccessibility(Duration timeout) {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        g_clear_error(&error);
        return ax_error::apiDisabled;
    }
    const int ms =
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count());
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
        g_variant_new("(ssv)", "org.a11y.Status", "IsEnabled", g_variant_new_boolean(TRUE)),
        nullptr, G_DBUS_CALL_FLAGS_NONE, ms, nullptr, &error);
    g_object_unref(bus);
    if (!reply) {
        const bool timedOut = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT);
        g_clear_error(&error);
        return timedOut ? ax_error::cannotComplete : ax_error::failure;
    }
    g_variant_unref(reply);
    return ax_error::success;
}

std::optional<bool> AtspiAccessibility::isAccessibilityEnabled(Duration timeout) {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        g_clear_error(&error);
        return std::nullopt;
    }
    const int ms =
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count());
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.a11y.Status", "IsEnabled"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, ms, nullptr, &error);
    g_object_unref(bus);
    if (!reply) {
        g_clear_error(&error);
        return std::nullopt;
    }
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    const bool enabled =
        g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value);
    g_variant_unref(value);
    g_variant_unref(reply);
    return enabled;
}

} // namespace sayloom::linux_desktop
