#include "platform/linux/EvdevKeyboardLayout.h"

#include <linux/input-event-codes.h>
#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <memory>

namespace sayloom::linux_desktop {

namespace {

// XKB keycodes are the kernel's codes shifted by 8, a convention kept from the X server.
constexpr xkb_keycode_t kXkbKeycodeOffset = 8;

struct ContextDeleter {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
};
struct KeymapDeleter {
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};
struct ConnectionDeleter {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using Context = std::unique_ptr<xkb_context, ContextDeleter>;
using Keymap = std::unique_ptr<xkb_keymap, KeymapDeleter>;

Context newContext() {
    // The context reads the XKB_DEFAULT_* variables when a keymap is compiled from names.
    Context context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (context)
        xkb_context_set_log_level(context.get(), XKB_LOG_LEVEL_CRITICAL);
    return context;
}

std::vector<KeyRole> rolesOf(xkb_keymap* keymap) {
    std::vector<KeyRole> roles(KEY_CNT, KeyRole::other);
    for (unsigned code = 0; code < KEY_CNT; ++code) {
        const xkb_keysym_t* syms = nullptr;
        if (xkb_keymap_key_get_syms_by_level(keymap, code + kXkbKeycodeOffset, 0, 0, &syms) > 0)
            roles[code] = HeldKeys::roleOfKeysym(syms[0]);
    }
    return roles;
}

} // namespace

std::optional<EvdevKeyboardLayout> EvdevKeyboardLayout::fromX11() {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return std::nullopt;
    const std::unique_ptr<xcb_connection_t, ConnectionDeleter> connection(
        xcb_connect(nullptr, nullptr));
    if (!connection || xcb_connection_has_error(connection.get()))
        return std::nullopt;
    if (!xkb_x11_setup_xkb_extension(
            connection.get(), XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
            XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr))
        return std::nullopt;
    const std::int32_t device = xkb_x11_get_core_keyboard_device_id(connection.get());
    const Context context = newContext();
    if (device < 0 || !context)
        return std::nullopt;
    const Keymap keymap(xkb_x11_keymap_new_from_device(context.get(), connection.get(), device,
                                                       XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap)
        return std::nullopt;
    EvdevKeyboardLayout layout;
    layout.roles_ = rolesOf(keymap.get());
    layout.source_ =
        QStringLiteral("the X server's keyboard (DISPLAY=%1)").arg(qEnvironmentVariable("DISPLAY"));
    return layout;
}

std::optional<EvdevKeyboardLayout> EvdevKeyboardLayout::fromDefaults() {
    const Context context = newContext();
    if (!context)
        return std::nullopt;
    const Keymap keymap(
        xkb_keymap_new_from_names(context.get(), nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap)
        return std::nullopt;
    EvdevKeyboardLayout layout;
    layout.roles_ = rolesOf(keymap.get());
    const QString layoutName = qEnvironmentVariable("XKB_DEFAULT_LAYOUT");
    layout.source_ = layoutName.isEmpty()
                         ? QStringLiteral("the XKB defaults")
                         : QStringLiteral("the XKB defaults (layout %1)").arg(layoutName);
    return layout;
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

} // namespace sayloom::linux_desktop
