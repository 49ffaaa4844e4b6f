#pragma once

#include <xkbcommon/xkbcommon.h>

#include <memory>

namespace sayloom::linux_desktop::xkb {

// XKB keycodes are the kernel's codes shifted by 8, a convention kept from the X server.
inline constexpr xkb_keycode_t kKeycodeOffset = 8;

struct ContextDeleter {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
};
struct KeymapDeleter {
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};
struct StateDeleter {
    void operator()(xkb_state* state) const { xkb_state_unref(state); }
};
using Context = std::unique_ptr<xkb_context, ContextDeleter>;
using Keymap = std::unique_ptr<xkb_keymap, KeymapDeleter>;
using State = std::unique_ptr<xkb_state, StateDeleter>;

// A context that reads the XKB_DEFAULT_* variables when a keymap is compiled from names, and
// keeps xkbcommon's warnings about odd keymaps out of the log.
inline Context newContext() {
    Context context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (context)
        xkb_context_set_log_level(context.get(), XKB_LOG_LEVEL_CRITICAL);
    return context;
}

} // namespace sayloom::linux_desktop::xkb
