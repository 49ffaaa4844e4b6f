#pragma once

#include "hotkeys/SyntheticKeyGuard.h"
#include "insertion/KeyPoster.h"
#include "platform/linux/VirtualKeyboardKeymap.h"
#include "platform/linux/XkbHandles.h"
#include "support/Logger.h"

#include <optional>
#include <vector>

struct zwp_virtual_keyboard_v1;

namespace sayloom::linux_desktop {

class WaylandConnection;

// Posts keys through a virtual keyboard of the compositor's seat (the virtual-keyboard protocol
// of wlroots compositors such as sway), which reaches Wayland and X clients alike. The keyboard
// has a keymap of our own (see VirtualKeyboardKeymap): a complete us layout, so that Ctrl+V is
// read as a paste, plus keys made for each text's characters the layout lacks, so that any
// printable text can be typed, into terminals too. The keyboard is made at the first key and kept;
// its modifiers are sent with its keys, as the protocol wants. Every call returns once the
// compositor has handled its keys. A modifier the user holds on a real keyboard does not change
// our keys: the compositor keeps each keyboard's modifiers apart. Main thread only.
class VirtualKeyboardKeyPoster final : public KeyPoster {
public:
    explicit VirtualKeyboardKeyPoster(WaylandConnection* connection);
    ~VirtualKeyboardKeyPoster() override;
    VirtualKeyboardKeyPoster(const VirtualKeyboardKeyPoster&) = delete;
    VirtualKeyboardKeyPoster& operator=(const VirtualKeyboardKeyPoster&) = delete;

    // Whether the compositor offers virtual keyboards on this connection (null: no connection).
    static bool isOffered(const WaylandConnection* connection);

    bool postPaste() override;
    bool postTerminalPaste() override;
    bool canType(const QString& text) override;
    void beginTyping(const QString& text) override;
    bool typeChunk(const QString& chunk) override;
    void pauseBetweenChunks() override {}
    void finishTyping() override {}

    // Keys posted from now on are announced to `guard` (the hotkey monitor). May be null.
    void setSyntheticKeyGuard(SyntheticKeyGuard* guard) { guard_ = guard; }

private:
    bool ensureKeymap();
    bool ensureKeyboard();
    // Hands the keymap to the compositor, when it changed or the keyboard is new.
    bool sendKeymap();
    bool send(const std::vector<KeyEvent>& events);

    WaylandConnection* connection_;
    zwp_virtual_keyboard_v1* keyboard_ = nullptr;
    std::optional<VirtualKeyboardKeymap> keymap_;
    // The modifiers our keys have set, as the compositor must be told them.
    xkb::State state_;
    SyntheticKeyGuard* guard_ = nullptr;
    Logger log_{QStringLiteral("injector")};
};

} // namespace sayloom::linux_desktop
