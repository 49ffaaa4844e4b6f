#pragma once

#include <QHash>
#include <QString>

#include <optional>
#include <vector>

struct xkb_keymap;

namespace sayloom::linux_desktop {

// The key and modifiers that type one character.
struct KeyStroke {
    unsigned evdevCode = 0;
    bool shift = false;
    // The third level (AltGr on most European layouts).
    bool altGr = false;

    friend bool operator==(const KeyStroke&, const KeyStroke&) = default;
};

// A key going down or up, by its kernel code.
struct KeyEvent {
    unsigned evdevCode = 0;
    bool down = false;

    friend bool operator==(const KeyEvent&, const KeyEvent&) = default;
};

// Which keys of a keyboard layout type which characters, in the layout group that is active: the
// table a keyboard that sends kernel key codes (not characters) types text with. A character is
// found at the first level that needs the fewest modifiers, on the lowest key code; characters
// that only a dead key or a compose sequence makes (é on a us layout) have no stroke. Line breaks
// are the Return key.
class TypingKeymap {
public:
    // The X server's core keyboard (XWayland follows the compositor's layout and group).
    static std::optional<TypingKeymap> fromX11();
    // A layout compiled from its XKB names ("us", "de"; empty for the XKB defaults).
    static std::optional<TypingKeymap> fromNames(const QString& layout,
                                                 const QString& variant = QString());
    // The layout keys are typed with now: the X server's, else the XKB defaults; an empty table
    // (nothing typeable) when neither compiles.
    static TypingKeymap current();
    // The keys of a compiled keymap, in one of its groups.
    static TypingKeymap fromKeymap(xkb_keymap* keymap, unsigned group = 0);

    std::optional<KeyStroke> strokeFor(char32_t character) const;
    // Whether every character of `text` has a stroke.
    bool canType(const QString& text) const;
    // The key events that type `text`, each character's modifiers pressed around its key.
    // Characters without a stroke are left out and counted in `missing`.
    std::vector<KeyEvent> keyEventsFor(const QString& text, qsizetype& missing) const;
    // Ctrl+V, or the terminals' Ctrl+Shift+V, with the key that types v in this layout (the V
    // key where none does).
    std::vector<KeyEvent> pasteKeys(bool terminal) const;

    // The keys pressed with a stroke's modifiers.
    static constexpr unsigned kLeftShift = 42;
    // The key that reaches the third level; nothing when the layout has none.
    std::optional<unsigned> altGrCode() const { return altGrCode_; }

private:
    QHash<char32_t, KeyStroke> strokes_;
    std::optional<unsigned> altGrCode_;

    struct Builder;
};

} // namespace sayloom::linux_desktop
