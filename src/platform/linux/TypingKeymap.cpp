#include "platform/linux/TypingKeymap.h"

#include <linux/input-event-codes.h>
#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <memory>

namespace sayloom::linux_desktop {

namespace {

// XKB keycodes are the kernel's codes shifted by 8, a convention kept from the X server.
constexpr xkb_keycode_t kXkbKeycodeOffset = 8;
constexpr xkb_keycode_t kLastX11Keycode = 255;

struct ContextDeleter {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
};
struct KeymapDeleter {
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};
struct StateDeleter {
    void operator()(xkb_state* state) const { xkb_state_unref(state); }
};
struct ConnectionDeleter {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using Context = std::unique_ptr<xkb_context, ContextDeleter>;
using Keymap = std::unique_ptr<xkb_keymap, KeymapDeleter>;
using State = std::unique_ptr<xkb_state, StateDeleter>;

Context newContext() {
    Context context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (context)
        xkb_context_set_log_level(context.get(), XKB_LOG_LEVEL_CRITICAL);
    return context;
}

// A character a key types that text can contain: printable ones, tabs and line breaks.
bool isTypeable(char32_t character) {
    if (character == U'\t' || character == U'\r')
        return true;
    return character >= 0x20 && character != 0x7F && !(character >= 0x80 && character < 0xA0);
}

} // namespace

struct TypingKeymap::Builder {
    // Fills the table from the keys of one layout group.
    static TypingKeymap build(xkb_keymap* keymap, xkb_layout_index_t group) {
        TypingKeymap table;
        const xkb_keycode_t lowest = xkb_keymap_min_keycode(keymap);
        // X clients (on XWayland) get no key above the X protocol's 255: such keys (the Euro
        // key of some keyboards) would type only into Wayland clients.
        const xkb_keycode_t highest = std::min(xkb_keymap_max_keycode(keymap), kLastX11Keycode);

        // The key that reaches the third level: Right Alt where it does, else the first one.
        for (xkb_keycode_t keycode = lowest; keycode <= highest; ++keycode) {
            const xkb_keysym_t* syms = nullptr;
            if (keycode < kXkbKeycodeOffset ||
                xkb_keymap_key_get_syms_by_level(keymap, keycode, group, 0, &syms) != 1 ||
                syms[0] != XKB_KEY_ISO_Level3_Shift)
                continue;
            const unsigned code = keycode - kXkbKeycodeOffset;
            if (!table.altGrCode_ || code == KEY_RIGHTALT)
                table.altGrCode_ = code;
        }

        // The modifiers each combination sets, as the keys that press them set them.
        const auto modifiersOf = [keymap](std::initializer_list<unsigned> codes) {
            const State state(xkb_state_new(keymap));
            if (!state)
                return xkb_mod_mask_t{0};
            for (const unsigned code : codes)
                xkb_state_update_key(state.get(), code + kXkbKeycodeOffset, XKB_KEY_DOWN);
            return static_cast<xkb_mod_mask_t>(
                xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_DEPRESSED));
        };
        struct Combination {
            bool shift;
            bool altGr;
        };
        // Fewest modifiers first: a character keeps the first stroke found.
        const Combination combinations[] = {
            {false, false}, {true, false}, {false, true}, {true, true}};
        for (const Combination combination : combinations) {
            if (combination.altGr && !table.altGrCode_)
                continue;
            xkb_mod_mask_t modifiers = 0;
            if (combination.shift && combination.altGr)
                modifiers = modifiersOf({kLeftShift, *table.altGrCode_});
            else if (combination.shift)
                modifiers = modifiersOf({kLeftShift});
            else if (combination.altGr)
                modifiers = modifiersOf({*table.altGrCode_});
            const State state(xkb_state_new(keymap));
            if (!state)
                continue;
            xkb_state_update_mask(state.get(), modifiers, 0, 0, 0, 0, group);
            for (xkb_keycode_t keycode = std::max(lowest, kXkbKeycodeOffset); keycode <= highest;
                 ++keycode) {
                const auto character =
                    static_cast<char32_t>(xkb_state_key_get_utf32(state.get(), keycode));
                if (character == 0 || !isTypeable(character) || table.strokes_.contains(character))
                    continue;
                table.strokes_.insert(character, KeyStroke{keycode - kXkbKeycodeOffset,
                                                           combination.shift, combination.altGr});
            }
        }
        return table;
    }
};

std::optional<TypingKeymap> TypingKeymap::fromX11() {
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
    // The group the user has switched to, not only the first layout.
    const State state(xkb_x11_state_new_from_device(keymap.get(), connection.get(), device));
    const xkb_layout_index_t group =
        state ? xkb_state_serialize_layout(state.get(), XKB_STATE_LAYOUT_EFFECTIVE) : 0;
    return Builder::build(keymap.get(), group);
}

std::optional<TypingKeymap> TypingKeymap::fromNames(const QString& layout, const QString& variant) {
    const Context context = newContext();
    if (!context)
        return std::nullopt;
    const QByteArray layoutName = layout.toUtf8();
    const QByteArray variantName = variant.toUtf8();
    xkb_rule_names names{};
    names.layout = layout.isEmpty() ? nullptr : layoutName.constData();
    names.variant = variant.isEmpty() ? nullptr : variantName.constData();
    const Keymap keymap(
        xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap)
        return std::nullopt;
    return Builder::build(keymap.get(), 0);
}

std::optional<KeyStroke> TypingKeymap::strokeFor(char32_t character) const {
    // A line break is the Return key, which types a carriage return.
    const auto found = strokes_.constFind(character == U'\n' ? U'\r' : character);
    if (found == strokes_.cend())
        return std::nullopt;
    return *found;
}

bool TypingKeymap::canType(const QString& text) const {
    for (const char32_t character : text.toUcs4())
        if (!strokeFor(character))
            return false;
    return true;
}

} // namespace sayloom::linux_desktop
