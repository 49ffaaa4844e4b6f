#pragma once

#include "platform/linux/LayoutKeyPoster.h"

namespace sayloom::linux_desktop {

class WaylandConnection;

// Posts keys through KWin's fake-input protocol, which presses them on the seat's keyboard and so
// through the user's layout (see LayoutKeyPoster), into Wayland and X clients alike. KWin offers
// the protocol only to programs whose desktop entry asks for it (X-KDE-Wayland-Interfaces);
// Sayloom introduces itself once, at the first key. Every call returns once the compositor has
// handled its keys. Main thread only.
class KdeFakeInputKeyPoster final : public LayoutKeyPoster {
public:
    explicit KdeFakeInputKeyPoster(WaylandConnection* connection);

    // Whether KWin offers fake input with keyboard keys on this connection (null: none).
    static bool isOffered(const WaylandConnection* connection);

protected:
    bool send(const std::vector<KeyEvent>& events) override;

private:
    WaylandConnection* connection_;
    bool introduced_ = false;
};

} // namespace sayloom::linux_desktop
