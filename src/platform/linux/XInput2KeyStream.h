#pragma once

#include "platform/linux/HeldKeys.h"
#include "platform/linux/SessionKeyMonitor.h"
#include "platform/linux/X11Connection.h"
#include "support/Logger.h"

#include <QSet>

#include <array>
#include <memory>

class QSocketNotifier;

namespace sayloom::linux_desktop {

// The keys of the whole X11 session, read as XInput 2.2 raw key events on the root window of a
// connection of our own. Raw events only observe: nothing is grabbed, and the focused window
// still receives every key. The connection is read through a socket notifier on the main thread.
//
// Keys are tracked per source device (the physical keyboard, the XTest keyboard of xdotool and
// of our own key poster), so that a release posted through XTest cannot undo a key the user
// still holds on the keyboard. Keys found down when observation starts count as held until any
// device releases them. While Sayloom posts keys (beginPosting), key presses from the XTest
// keyboards are ignored; releases always count, so no key is left stuck.
class XInput2KeyStream final : public SessionKeyStream {
public:
    // Starts observing; null when the session's keys cannot be observed (a Wayland session, no
    // X display, no XInput 2.2), with the reason written to `failure`. `listener` may destroy
    // the stream.
    static std::unique_ptr<XInput2KeyStream> open(Listener listener, QString& failure);
    ~XInput2KeyStream() override;
    XInput2KeyStream(const XInput2KeyStream&) = delete;
    XInput2KeyStream& operator=(const XInput2KeyStream&) = delete;

    // Reads the events that happened before the guard was raised, as the user's.
    void beginPosting() override;
    // Reads the events of the posted keys (the poster has synced them to the server) while the
    // guard is still up, then lowers it. What was read is delivered from the event loop.
    void endPosting() override;

private:
    XInput2KeyStream(std::unique_ptr<X11Connection> connection, Listener listener);

    bool select(int xinputOpcode);
    void rebuildKeymap();
    void findSyntheticKeyboards();
    // Reads every event the server has sent so far (after a round trip when `sync`).
    void read(bool sync);
    void handleRawKey(bool press, int device, unsigned keycode, bool repeat);

    std::unique_ptr<X11Connection> connection_;
    Logger log_{QStringLiteral("hotkey")};
    int xinputOpcode_ = -1;
    int xkbEventType_ = -1;
    std::array<KeyRole, 256> roles_{};
    QSet<int> syntheticKeyboards_;
    HeldKeys held_;
    int postingDepth_ = 0;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace sayloom::linux_desktop
