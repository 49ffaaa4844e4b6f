#include "platform/linux/EvdevKeyboardLayout.h"

#include "platform/linux/XkbHandles.h"

#include <QSocketNotifier>

#include <linux/input-event-codes.h>
#include <xcb/xcb.h>
// xcb's XKB header names a field "explicit", a keyword of C++.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace sayloom::linux_desktop {

namespace {

using xkb::Context;
using xkb::Keymap;
using xkb::newContext;
using xkb::State;
constexpr xkb_keycode_t kXkbKeycodeOffset = xkb::kKeycodeOffset;

struct ConnectionDeleter {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};

} // namespace

EvdevKeyboardLayout EvdevKeyboardLayout::fromState(xkb_keymap* keymap, xkb_state* state,
                                                   QString source) {
    EvdevKeyboardLayout layout;
    layout.roles_.assign(KEY_CNT, KeyRole::other);
    for (unsigned code = 0; code < KEY_CNT; ++code) {
        const xkb_keycode_t keycode = code + kXkbKeycodeOffset;
        // The layout a key is in follows the keyboard's group, wrapped or clamped as the keymap
        // says for keys with fewer groups.
        const xkb_layout_index_t group = xkb_state_key_get_layout(state, keycode);
        const xkb_keysym_t* syms = nullptr;
        if (group != XKB_LAYOUT_INVALID &&
            xkb_keymap_key_get_syms_by_level(keymap, keycode, group, 0, &syms) > 0)
            layout.roles_[code] = HeldKeys::roleOfKeysym(syms[0]);
    }
    layout.source_ = std::move(source);
    return layout;
}

std::optional<EvdevKeyboardLayout> EvdevKeyboardLayout::fromX11() {
    const auto watch = X11KeyboardLayoutWatch::open({});
    if (!watch)
        return std::nullopt;
    return watch->layout();
}

std::optional<EvdevKeyboardLayout> EvdevKeyboardLayout::fromDefaults() {
    const Context context = newContext();
    if (!context)
        return std::nullopt;
    const Keymap keymap(
        xkb_keymap_new_from_names(context.get(), nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS));
    const State state(keymap ? xkb_state_new(keymap.get()) : nullptr);
    if (!state)
        return std::nullopt;
    const QString layoutName = qEnvironmentVariable("XKB_DEFAULT_LAYOUT");
    return fromState(keymap.get(), state.get(),
                     layoutName.isEmpty()
                         ? QStringLiteral("the XKB defaults")
                         : QStringLiteral("the XKB defaults (layout %1)").arg(layoutName));
}

EvdevKeyboardLayout EvdevKeyboardLayout::current() {
    if (auto layout = fromX11())
        return *std::move(layout);
    if (auto layout = fromDefaults())
        return *std::move(layout);
    EvdevKeyboardLayout layout;
    layout.source_ = QStringLiteral("no layout (every key is an ordinary key)");
    return layout;
}

struct X11KeyboardLayoutWatch::Connection {
    std::unique_ptr<xcb_connection_t, ConnectionDeleter> xcb;
    std::int32_t device = -1;
    std::uint8_t xkbEventBase = 0;
    Context context;
    Keymap keymap;
    State state;
    std::unique_ptr<QSocketNotifier> notifier;
};

std::unique_ptr<X11KeyboardLayoutWatch> X11KeyboardLayoutWatch::open(Changed changed) {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return nullptr;
    auto connection = std::make_unique<Connection>();
    connection->xcb.reset(xcb_connect(nullptr, nullptr));
    xcb_connection_t* xcb = connection->xcb.get();
    if (!xcb || xcb_connection_has_error(xcb))
        return nullptr;
    if (!xkb_x11_setup_xkb_extension(xcb, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                     XKB_X11_MIN_MINOR_XKB_VERSION,
                                     XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr,
                                     &connection->xkbEventBase, nullptr))
        return nullptr;
    connection->device = xkb_x11_get_core_keyboard_device_id(xcb);
    connection->context = newContext();
    if (connection->device < 0 || !connection->context)
        return nullptr;
    std::unique_ptr<X11KeyboardLayoutWatch> watch(
        new X11KeyboardLayoutWatch(std::move(connection)));
    if (!watch->reload())
        return nullptr;
    if (!changed)
        return watch;

    // A new keymap (another layout, other options) comes as a new keyboard or a map change; a
    // switch between the keymap's layouts comes as a change of the keyboard's state.
    constexpr std::uint16_t kMapParts =
        XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP |
        XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS | XCB_XKB_MAP_PART_KEY_ACTIONS |
        XCB_XKB_MAP_PART_VIRTUAL_MODS | XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
    xcb_xkb_select_events_details_t details{};
    details.affectNewKeyboard = XCB_XKB_NKN_DETAIL_KEYCODES;
    details.newKeyboardDetails = XCB_XKB_NKN_DETAIL_KEYCODES;
    details.affectState = XCB_XKB_STATE_PART_GROUP_STATE | XCB_XKB_STATE_PART_GROUP_BASE |
                          XCB_XKB_STATE_PART_GROUP_LATCH | XCB_XKB_STATE_PART_GROUP_LOCK;
    details.stateDetails = details.affectState;
    Connection& watched = *watch->connection_;
    const xcb_void_cookie_t selected = xcb_xkb_select_events_aux_checked(
        watched.xcb.get(), static_cast<xcb_xkb_device_spec_t>(watched.device),
        XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY |
            XCB_XKB_EVENT_TYPE_STATE_NOTIFY,
        0, 0, kMapParts, kMapParts, &details);
    if (xcb_generic_error_t* error = xcb_request_check(watched.xcb.get(), selected)) {
        std::free(error);
        return watch;
    }
    watch->changed_ = std::move(changed);
    watched.notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(watched.xcb.get()),
                                                         QSocketNotifier::Read);
    QObject::connect(watched.notifier.get(), &QSocketNotifier::activated,
                     [raw = watch.get()] { raw->readEvents(); });
    return watch;
}

X11KeyboardLayoutWatch::X11KeyboardLayoutWatch(std::unique_ptr<Connection> connection)
    : connection_(std::move(connection)) {}

X11KeyboardLayoutWatch::~X11KeyboardLayoutWatch() = default;

bool X11KeyboardLayoutWatch::reload() {
    Connection& c = *connection_;
    Keymap keymap(xkb_x11_keymap_new_from_device(c.context.get(), c.xcb.get(), c.device,
                                                 XKB_KEYMAP_COMPILE_NO_FLAGS));
    State state(keymap ? xkb_x11_state_new_from_device(keymap.get(), c.xcb.get(), c.device)
                       : nullptr);
    if (!state)
        return false;
    c.keymap = std::move(keymap);
    c.state = std::move(state);
    layout_ = layoutInUse();
    return true;
}

xkb_keymap* X11KeyboardLayoutWatch::keymap() const { return connection_->keymap.get(); }

std::uint32_t X11KeyboardLayoutWatch::group() const {
    return xkb_state_serialize_layout(connection_->state.get(), XKB_STATE_LAYOUT_EFFECTIVE);
}

EvdevKeyboardLayout X11KeyboardLayoutWatch::layoutInUse() const {
    const Connection& c = *connection_;
    const char* name = xkb_keymap_layout_get_name(c.keymap.get(), group());
    return EvdevKeyboardLayout::fromState(
        c.keymap.get(), c.state.get(),
        QStringLiteral("the X server's keyboard (DISPLAY=%1, %2)")
            .arg(qEnvironmentVariable("DISPLAY"),
                 name ? QString::fromUtf8(name) : QStringLiteral("unnamed layout")));
}

void X11KeyboardLayoutWatch::readEvents() {
    Connection& c = *connection_;
    const auto group = [&c] {
        return xkb_state_serialize_layout(c.state.get(), XKB_STATE_LAYOUT_EFFECTIVE);
    };
    const xkb_layout_index_t groupBefore = group();
    bool changed = false;
    bool newKeymap = true;
    while (newKeymap) {
        newKeymap = false;
        // Events that came while the keymap was read wait in the connection's queue; the
        // socket will not tell of them again.
        while (xcb_generic_event_t* event = xcb_poll_for_event(c.xcb.get())) {
            const std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> owned(event,
                                                                                   &std::free);
            if ((event->response_type & 0x7f) != c.xkbEventBase)
                continue;
            // Every XKB event starts alike: its kind in the second byte, then the time and the
            // device.
            const auto* any = reinterpret_cast<const xcb_xkb_map_notify_event_t*>(event);
            if (any->deviceID != c.device)
                continue;
            if (any->xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY || any->xkbType == XCB_XKB_MAP_NOTIFY) {
                newKeymap = true;
            } else if (any->xkbType == XCB_XKB_STATE_NOTIFY) {
                const auto* state = reinterpret_cast<const xcb_xkb_state_notify_event_t*>(event);
                xkb_state_update_mask(
                    c.state.get(), state->baseMods, state->latchedMods, state->lockedMods,
                    static_cast<xkb_layout_index_t>(state->baseGroup),
                    static_cast<xkb_layout_index_t>(state->latchedGroup), state->lockedGroup);
            }
        }
        if (xcb_connection_has_error(c.xcb.get())) {
            // The server went away: the last layout stays.
            c.notifier->setEnabled(false);
            return;
        }
        if (newKeymap && reload())
            changed = true;
    }
    if (!changed && group() != groupBefore) {
        layout_ = layoutInUse();
        changed = true;
    }
    if (changed)
        changed_(layout_);
}

} // namespace sayloom::linux_desktop
