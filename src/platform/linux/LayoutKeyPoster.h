#pragma once

#include "hotkeys/SyntheticKeyGuard.h"
#include "insertion/KeyPoster.h"
#include "platform/linux/TypingKeymap.h"
#include "support/Logger.h"

#include <optional>
#include <vector>

namespace sayloom::linux_desktop {

// A key poster whose keys reach applications through the session's keyboard layout, as a
// keyboard plugged in would (a compositor's remote-desktop or fake-input keyboard): Ctrl+V with
// the key that types v, and text by the keys and modifiers of the layout group in use, read
// afresh for every text. A text with a character no key types goes whole by paste (see canType).
// Subclasses send the key events. Main thread only.
class LayoutKeyPoster : public KeyPoster {
public:
    bool postPaste() override;
    bool postTerminalPaste() override;
    bool canType(const QString& text) override;
    void beginTyping(const QString&) override {}
    bool typeChunk(const QString& chunk) override;
    void pauseBetweenChunks() override {}
    void finishTyping() override { keymap_.reset(); }

    // Keys posted from now on are announced to `guard` (the hotkey monitor). May be null.
    void setSyntheticKeyGuard(SyntheticKeyGuard* guard) { guard_ = guard; }

protected:
    // Sends the events in order and returns once the compositor has them; false when some could
    // not be sent.
    virtual bool send(const std::vector<KeyEvent>& events) = 0;

    Logger log_{QStringLiteral("injector")};

private:
    bool post(const std::vector<KeyEvent>& events);
    const TypingKeymap& keymap();

    std::optional<TypingKeymap> keymap_;
    SyntheticKeyGuard* guard_ = nullptr;
};

} // namespace sayloom::linux_desktop
