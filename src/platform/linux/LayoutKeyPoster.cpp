#include "platform/linux/LayoutKeyPoster.h"

namespace sayloom::linux_desktop {

const TypingKeymap& LayoutKeyPoster::keymap() {
    if (!keymap_)
        keymap_ = TypingKeymap::current();
    return *keymap_;
}

bool LayoutKeyPoster::post(const std::vector<KeyEvent>& events) {
    const SyntheticKeyGuard::Posting posting(guard_);
    return send(events);
}

bool LayoutKeyPoster::postPaste() { return post(keymap().pasteKeys(false)); }

bool LayoutKeyPoster::postTerminalPaste() { return post(keymap().pasteKeys(true)); }

bool LayoutKeyPoster::canType(const QString& text) {
    // The user may have switched the layout since the last text.
    keymap_.reset();
    return keymap().canType(text);
}

bool LayoutKeyPoster::typeChunk(const QString& chunk) {
    qsizetype missing = 0;
    const std::vector<KeyEvent> events = keymap().keyEventsFor(chunk, missing);
    if (missing > 0)
        log_.error("%ld characters have no key in the keyboard layout and were not typed",
                   static_cast<qint64>(missing));
    return post(events) && missing == 0;
}

} // namespace sayloom::linux_desktop
