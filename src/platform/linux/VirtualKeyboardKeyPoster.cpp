#include "platform/linux/VirtualKeyboardKeyPoster.h"

#include "platform/linux/WaylandConnection.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <sys/mman.h>
#include <unistd.h>

#include <chrono>

namespace sayloom::linux_desktop {

namespace {

// The key events' timestamps: milliseconds of the monotonic clock, as input devices give them.
uint32_t nowMs() {
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

} // namespace

VirtualKeyboardKeyPoster::VirtualKeyboardKeyPoster(WaylandConnection* connection)
    : connection_(connection) {}

VirtualKeyboardKeyPoster::~VirtualKeyboardKeyPoster() {
    if (keyboard_) {
        zwp_virtual_keyboard_v1_destroy(keyboard_);
        connection_->flush();
    }
}

bool VirtualKeyboardKeyPoster::isOffered(const WaylandConnection* connection) {
    return connection && connection->seat() && connection->virtualKeyboardManager() &&
           !connection->isBroken();
}

bool VirtualKeyboardKeyPoster::ensureKeyboard() {
    if (keyboard_)
        return true;
    if (!isOffered(connection_)) {
        log_.error("The compositor offers no virtual keyboard");
        return false;
    }
    if (!ensureKeymap()) {
        log_.error("No keymap for the virtual keyboard");
        return false;
    }
    keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(
        connection_->virtualKeyboardManager(), connection_->seat());
    return sendKeymap();
}

bool VirtualKeyboardKeyPoster::sendKeymap() {
    const QByteArray& text = keymap_->text();
    const int fd = memfd_create("sayloom-keymap", MFD_CLOEXEC);
    if (fd < 0 || write(fd, text.constData(), static_cast<size_t>(text.size())) != text.size()) {
        log_.error("The virtual keyboard's keymap could not be written");
        if (fd >= 0)
            close(fd);
        return false;
    }
    zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                   static_cast<uint32_t>(text.size()));
    // The request carries a copy of the descriptor.
    close(fd);
    state_.reset(xkb_state_new(keymap_->keymap()));
    return state_ != nullptr;
}

bool VirtualKeyboardKeyPoster::send(const std::vector<KeyEvent>& events) {
    if (!ensureKeyboard())
        return false;
    const SyntheticKeyGuard::Posting posting(guard_);
    for (const KeyEvent& event : events) {
        const xkb_mod_mask_t before =
            xkb_state_serialize_mods(state_.get(), XKB_STATE_MODS_EFFECTIVE);
        xkb_state_update_key(state_.get(), event.evdevCode + xkb::kKeycodeOffset,
                             event.down ? XKB_KEY_DOWN : XKB_KEY_UP);
        zwp_virtual_keyboard_v1_key(keyboard_, nowMs(), event.evdevCode,
                                    event.down ? WL_KEYBOARD_KEY_STATE_PRESSED
                                               : WL_KEYBOARD_KEY_STATE_RELEASED);
        // The compositor does not derive a virtual keyboard's modifiers from its keys.
        if (xkb_state_serialize_mods(state_.get(), XKB_STATE_MODS_EFFECTIVE) != before)
            zwp_virtual_keyboard_v1_modifiers(
                keyboard_, xkb_state_serialize_mods(state_.get(), XKB_STATE_MODS_DEPRESSED),
                xkb_state_serialize_mods(state_.get(), XKB_STATE_MODS_LATCHED),
                xkb_state_serialize_mods(state_.get(), XKB_STATE_MODS_LOCKED),
                xkb_state_serialize_layout(state_.get(), XKB_STATE_LAYOUT_EFFECTIVE));
    }
    if (!connection_->roundtrip()) {
        log_.error("The virtual keyboard's keys did not reach the compositor");
        return false;
    }
    return true;
}

bool VirtualKeyboardKeyPoster::postPaste() {
    return ensureKeyboard() && send(keymap_->strokes().pasteKeys(false));
}

bool VirtualKeyboardKeyPoster::postTerminalPaste() {
    return ensureKeyboard() && send(keymap_->strokes().pasteKeys(true));
}

bool VirtualKeyboardKeyPoster::ensureKeymap() {
    if (!keymap_)
        keymap_ = VirtualKeyboardKeymap::standard();
    return keymap_.has_value();
}

bool VirtualKeyboardKeyPoster::canType(const QString& text) {
    return ensureKeymap() && keymap_->canType(text);
}

void VirtualKeyboardKeyPoster::beginTyping(const QString& text) {
    // One keymap for the whole text where the spare keys suffice; typeChunk makes the rest.
    if (ensureKeyboard() && keymap_->addKeysFor(text))
        sendKeymap();
}

bool VirtualKeyboardKeyPoster::typeChunk(const QString& chunk) {
    if (!ensureKeyboard())
        return false;
    if (keymap_->addKeysFor(chunk) && !sendKeymap())
        return false;
    qsizetype missing = 0;
    const std::vector<KeyEvent> events = keymap_->strokes().keyEventsFor(chunk, missing);
    if (missing > 0)
        log_.error("%ld characters have no key and were not typed", static_cast<qint64>(missing));
    return send(events) && missing == 0;
}

} // namespace sayloom::linux_desktop
