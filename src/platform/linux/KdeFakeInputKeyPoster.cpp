#include "platform/linux/KdeFakeInputKeyPoster.h"

#include "fake-input-client-protocol.h"
#include "platform/linux/WaylandConnection.h"

#include <wayland-client.h>

namespace sayloom::linux_desktop {

KdeFakeInputKeyPoster::KdeFakeInputKeyPoster(WaylandConnection* connection)
    : connection_(connection) {}

bool KdeFakeInputKeyPoster::isOffered(const WaylandConnection* connection) {
    return connection && connection->fakeInput() && !connection->isBroken();
}

bool KdeFakeInputKeyPoster::send(const std::vector<KeyEvent>& events) {
    if (!isOffered(connection_)) {
        log_.error("KWin offers no fake input to Sayloom");
        return false;
    }
    if (!introduced_) {
        org_kde_kwin_fake_input_authenticate(connection_->fakeInput(), "Sayloom",
                                             "Pastes and types the text you dictate");
        introduced_ = true;
    }
    for (const KeyEvent& event : events)
        org_kde_kwin_fake_input_keyboard_key(connection_->fakeInput(), event.evdevCode,
                                             event.down ? WL_KEYBOARD_KEY_STATE_PRESSED
                                                        : WL_KEYBOARD_KEY_STATE_RELEASED);
    if (!connection_->roundtrip()) {
        log_.error("The fake input keys did not reach KWin");
        return false;
    }
    return true;
}

} // namespace sayloom::linux_desktop
