#pragma once

#include "platform/linux/TypingKeymap.h"
#include "platform/linux/XkbHandles.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace sayloom::linux_desktop {

// The keymap of a keyboard Sayloom drives itself (a compositor's virtual keyboard): a complete us
// layout, so that applications read Ctrl+V and Ctrl+Shift+V as the shortcuts they are, plus keys
// for the characters the layout has none for, typed without modifiers. Those keys take the place
// of keys that type nothing (unused key codes and multimedia keys) up to the X protocol's key code
// 255, so that X clients on XWayland get them too. The focused application reads our keys
// through this keymap while our keyboard is the one in use, whatever layout the user types with.
class VirtualKeyboardKeymap {
public:
    static std::optional<VirtualKeyboardKeymap> standard();

    // Whether every character of `text` is typeable with this keymap or with keys made for it.
    bool canType(const QString& text) const;
    // Makes keys for the characters of `text` that have none (as many as there are spare keys,
    // first come first): true when the keymap changed and must be handed to the compositor again.
    bool addKeysFor(const QString& text);

    const TypingKeymap& strokes() const { return strokes_; }
    xkb_keymap* keymap() const { return keymap_.get(); }
    // The keymap in XKB's text format, with the terminating NUL the compositor expects.
    const QByteArray& text() const { return text_; }
    // How many characters can have keys made for them at once.
    qsizetype spareKeys() const { return static_cast<qsizetype>(spareKeycodes_.size()); }

private:
    VirtualKeyboardKeymap() = default;
    bool compile(const std::vector<char32_t>& extras);

    xkb::Context context_;
    xkb::Keymap keymap_;
    std::vector<unsigned> spareKeycodes_;
    std::vector<char32_t> extras_;
    TypingKeymap strokes_;
    QByteArray text_;
};

} // namespace sayloom::linux_desktop
