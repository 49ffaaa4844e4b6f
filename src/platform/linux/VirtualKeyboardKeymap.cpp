#include "platform/linux/VirtualKeyboardKeymap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace sayloom::linux_desktop {

namespace {

// The us layout of a pc105 keyboard, as XKB's rules make it from those names; extra keys are
// added at the end of its symbols.
QByteArray keymapSource(const QByteArray& extraSymbols) {
    return "xkb_keymap {\n"
           "  xkb_keycodes { include \"evdev+aliases(qwerty)\" };\n"
           "  xkb_types { include \"complete\" };\n"
           "  xkb_compat { include \"complete\" };\n"
           "  xkb_symbols { include \"pc+us+inet(evdev)\"\n" +
           extraSymbols + "  };\n};\n";
}

constexpr xkb_keycode_t kLastX11Keycode = 255;

bool isMultimediaKeysym(xkb_keysym_t keysym) {
    return keysym >= XKB_KEY_XF86ModeLock && keysym <= 0x1008FFFF;
}

// Whether a key can be made that types this character: a printable one with a keysym.
bool canMakeKeyFor(char32_t character) {
    if (character < 0x20 || character == 0x7F || (character >= 0x80 && character < 0xA0))
        return false;
    return xkb_utf32_to_keysym(character) != XKB_KEY_NoSymbol;
}

} // namespace

std::optional<VirtualKeyboardKeymap> VirtualKeyboardKeymap::standard() {
    VirtualKeyboardKeymap keymap;
    keymap.context_ = xkb::newContext();
    if (!keymap.context_ || !keymap.compile({}))
        return std::nullopt;
    // Keys that type nothing, or only tell an application of a multimedia key, are spare.
    xkb_keymap* compiled = keymap.keymap_.get();
    const xkb_keycode_t highest = std::min(xkb_keymap_max_keycode(compiled), kLastX11Keycode);
    for (xkb_keycode_t keycode = xkb::kKeycodeOffset; keycode <= highest; ++keycode) {
        if (!xkb_keymap_key_get_name(compiled, keycode))
            continue;
        const xkb_keysym_t* syms = nullptr;
        const int count = xkb_keymap_key_get_syms_by_level(compiled, keycode, 0, 0, &syms);
        if (xkb_keymap_num_layouts_for_key(compiled, keycode) == 0 ||
            (count >= 1 && isMultimediaKeysym(syms[0])))
            keymap.spareKeycodes_.push_back(keycode);
    }
    return keymap;
}

bool VirtualKeyboardKeymap::canType(const QString& text) const {
    return std::ranges::all_of(text.toUcs4(), [this](char32_t character) {
        return strokes_.strokeFor(character) || canMakeKeyFor(character);
    });
}

bool VirtualKeyboardKeymap::addKeysFor(const QString& text) {
    // The characters of the text that need made keys, those made before included, in order.
    std::vector<char32_t> wanted;
    bool lackingAny = false;
    for (const char32_t character : text.toUcs4()) {
        if (std::ranges::find(wanted, character) != wanted.end())
            continue;
        const bool made = std::ranges::find(extras_, character) != extras_.end();
        const bool lacking = !strokes_.strokeFor(character) && canMakeKeyFor(character);
        lackingAny = lackingAny || lacking;
        if ((made || lacking) && wanted.size() < spareKeycodes_.size())
            wanted.push_back(character);
    }
    return lackingAny && compile(wanted);
}

bool VirtualKeyboardKeymap::compile(const std::vector<char32_t>& extras) {
    QByteArray symbols;
    for (std::size_t index = 0; index < extras.size(); ++index) {
        const char* name = xkb_keymap_key_get_name(keymap_.get(), spareKeycodes_[index]);
        char keysym[64];
        if (xkb_keysym_get_name(xkb_utf32_to_keysym(extras[index]), keysym, sizeof keysym) <= 0)
            continue;
        symbols += QByteArray("    replace key <") + name + "> { [ " + keysym + " ] };\n";
    }
    xkb::Keymap compiled(
        xkb_keymap_new_from_string(context_.get(), keymapSource(symbols).constData(),
                                   XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!compiled)
        return false;
    char* text = xkb_keymap_get_as_string(compiled.get(), XKB_KEYMAP_FORMAT_TEXT_V1);
    if (!text)
        return false;
    text_ = QByteArray(text, static_cast<qsizetype>(std::strlen(text) + 1));
    std::free(text);
    keymap_ = std::move(compiled);
    extras_ = extras;
    strokes_ = TypingKeymap::fromKeymap(keymap_.get());
    return true;
}

} // namespace sayloom::linux_desktop
