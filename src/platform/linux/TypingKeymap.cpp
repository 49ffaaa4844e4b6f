#include "platform/linux/TypingKeymap.h"

#include "platform/linux/EvdevKeyboardLayout.h"
#include "platform/linux/XkbHandles.h"

#include <linux/input-event-codes.h>

#include <algorithm>
#include <memory>

namespace sayloom::linux_desktop {

namespace {

using xkb::Context;
using xkb::Keymap;
using xkb::newContext;
using xkb::State;
constexpr xkb_keycode_t kXkbKeycodeOffset = xkb::kKeycodeOffset;
constexpr xkb_keycode_t kLastX11Keycode = 255;

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
    // The group the user has switched to, not only the first layout.
    const auto watch = X11KeyboardLayoutWatch::open({});
    if (!watch)
        return std::nullopt;
    return Builder::build(watch->keymap(), watch->group());
}

TypingKeymap TypingKeymap::current() {
    if (auto keymap = fromX11())
        return std::move(*keymap);
    return fromNames(QString()).value_or(TypingKeymap());
}

TypingKeymap TypingKeymap::fromKeymap(xkb_keymap* keymap, unsigned group) {
    return Builder::build(keymap, group);
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

std::vector<KeyEvent> TypingKeymap::pasteKeys(bool terminal) const {
    const std::optional<KeyStroke> v = strokeFor(U'v');
    const unsigned key = v && !v->shift && !v->altGr ? v->evdevCode : KEY_V;
    std::vector<KeyEvent> events{{KEY_LEFTCTRL, true}};
    if (terminal)
        events.push_back({kLeftShift, true});
    events.push_back({key, true});
    events.push_back({key, false});
    if (terminal)
        events.push_back({kLeftShift, false});
    events.push_back({KEY_LEFTCTRL, false});
    return events;
}

std::vector<KeyEvent> TypingKeymap::keyEventsFor(const QString& text, qsizetype& missing) const {
    std::vector<KeyEvent> events;
    missing = 0;
    for (const char32_t character : text.toUcs4()) {
        const std::optional<KeyStroke> stroke = strokeFor(character);
        if (!stroke || (stroke->altGr && !altGrCode_)) {
            ++missing;
            continue;
        }
        if (stroke->shift)
            events.push_back({kLeftShift, true});
        if (stroke->altGr)
            events.push_back({*altGrCode_, true});
        events.push_back({stroke->evdevCode, true});
        events.push_back({stroke->evdevCode, false});
        if (stroke->altGr)
            events.push_back({*altGrCode_, false});
        if (stroke->shift)
            events.push_back({kLeftShift, false});
    }
    return events;
}

} // namespace sayloom::linux_desktop
