#pragma once

#include "platform/linux/EvdevKeyboardLayout.h"
#include "platform/linux/HeldKeys.h"
#include "platform/linux/SessionKeyMonitor.h"
#include "support/Logger.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <memory>
#include <set>

class QSocketNotifier;
struct libevdev;
struct udev;
struct udev_device;
struct udev_monitor;

namespace sayloom::linux_desktop {

// The keys of every keyboard among the kernel's input devices (/dev/input/event*), which the
// user can read when in the "input" group. The devices are only observed: never grabbed, never
// written to, and every key still reaches the focused window. Each device is read without
// blocking through a socket notifier on the main thread; udev tells of keyboards that come and
// go.
//
// Keys are held per device, so that a release on one keyboard cannot undo a key still held on
// another; a device that goes away releases the keys it held. When the kernel dropped events
// (SYN_DROPPED), the device's keys are read anew and the difference counts as presses and
// releases. Auto-repeats are no presses. Keys are told apart through the session's keyboard
// layout, followed while the stream runs. While Sayloom posts keys (beginPosting) key presses are
// ignored, whichever device they come from; releases always count, so no key is left stuck.
class EvdevKeyStream final : public SessionKeyStream {
public:
    // Starts reading the keyboards; null when none can be read (no keyboard, or none readable
    // without the "input" group), with the reason written to `failure`. `listener` may destroy
    // the stream.
    static std::unique_ptr<EvdevKeyStream> open(Listener listener, QString& failure);
    ~EvdevKeyStream() override;
    EvdevKeyStream(const EvdevKeyStream&) = delete;
    EvdevKeyStream& operator=(const EvdevKeyStream&) = delete;

    // Reads the events that happened before the guard was raised, as the user's.
    void beginPosting() override;
    // Reads what the devices have so far while the guard is still up, then lowers it. What was
    // read is delivered from the event loop.
    void endPosting() override;

    // The device nodes of the keyboards being read.
    std::set<QByteArray> keyboards() const;

    // Whether some input device that looks like a keyboard can be opened for reading.
    static bool someKeyboardReadable();

private:
    struct Device;
    enum class Opening { keyboard, notKeyboard, unreadable };

    explicit EvdevKeyStream(Listener listener);

    bool start(QString& failure);
    Opening addDevice(udev_device* device);
    void removeDevice(const QByteArray& node);
    void readUdev();
    // Reads every event the device has; false when the device is gone.
    bool readDevice(Device& device);
    void handleKey(Device& device, unsigned code, int value);
    void readAll();

    Logger log_{QStringLiteral("hotkey")};
    EvdevKeyboardLayout layout_;
    std::unique_ptr<X11KeyboardLayoutWatch> layoutWatch_;
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    QSocketNotifier* monitorNotifier_ = nullptr;
    std::map<QByteArray, std::unique_ptr<Device>> devices_;
    unsigned nextDeviceId_ = 1;
    HeldKeys held_;
    int postingDepth_ = 0;
};

} // namespace sayloom::linux_desktop
