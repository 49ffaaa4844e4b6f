#pragma once

#include <QString>

namespace sayloom {

// Synthesises keyboard input for the focused window. Every call returns once its keys have
// reached the display server. Main thread only.
class KeyPoster {
public:
    virtual ~KeyPoster() = default;

    // Releases any modifier the user still holds, then presses and releases Ctrl+V. False when
    // no key could be posted.
    virtual bool postPaste() = 0;
    // Presses and releases Ctrl+Shift+V, the paste shortcut of terminals. Only posters whose
    // canType() can say no are asked for it; false when no key could be posted.
    virtual bool postTerminalPaste() { return false; }
    // Whether typeChunk can produce every character of `text` in the keyboard's layout; a text
    // it cannot type goes by paste instead.
    virtual bool canType(const QString& /*text*/) { return true; }
    // Announces a typing run with its whole text, before its first chunk, so that the keys for
    // all of it can be made ready at once.
    virtual void beginTyping(const QString& text) = 0;
    // Types one chunk of text (at most 21 UTF-16 units, never half a surrogate pair) as Unicode
    // key presses. False when it could not be posted.
    virtual bool typeChunk(const QString& chunk) = 0;
    // Blocks until the target has had time to take in the chunk just typed.
    virtual void pauseBetweenChunks() = 0;
    // Ends a typing run after its last chunk; the keyboard is put back as it was once the target
    // has had time to take in the last keys.
    virtual void finishTyping() = 0;
    // Whether the keyboard is still to be put back after a typing run: a process that ended now
    // would leave it changed.
    virtual bool isKeyboardBorrowed() const { return false; }
    // Whether the last call that could not post its keys failed because the desktop refused
    // this process control of the keyboard (the user said no when asked).
    virtual bool wasRefused() const { return false; }
};

} // namespace sayloom
