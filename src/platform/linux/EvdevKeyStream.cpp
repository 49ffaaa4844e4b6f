#include "platform/linux/EvdevKeyStream.h"

#include "platform/linux/SessionRoads.h"

#include <QSocketNotifier>

#include <libevdev/libevdev.h>
#include <libudev.h>
#include <linux/input.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sayloom::linux_desktop {

namespace {

// A key of a device in HeldKeys: the device's number above the key code (below KEY_CNT, 0x300).
constexpr unsigned kCodeBits = 10;
static_assert(KEY_CNT <= (1u << kCodeBits));

unsigned heldKey(unsigned deviceId, unsigned code) { return (deviceId << kCodeBits) | code; }

// Letter keys make a keyboard; so do modifier keys alone (a pedal or a macro pad that sends
// Ctrl). Mice, power buttons and lid switches have neither.
bool isKeyboard(const libevdev* device) {
    if (!libevdev_has_event_type(device, EV_KEY))
        return false;
    const auto has = [device](unsigned code) {
        return libevdev_has_event_code(device, EV_KEY, code) != 0;
    };
    if (has(KEY_Q) && has(KEY_A) && has(KEY_Z))
        return true;
    for (const unsigned code :
         {KEY_LEFTCTRL, KEY_RIGHTCTRL, KEY_LEFTSHIFT, KEY_RIGHTSHIFT, KEY_LEFTALT, KEY_RIGHTALT})
        if (has(code))
            return true;
    return false;
}

bool isEventNode(udev_device* device) {
    const char* sysname = udev_device_get_sysname(device);
    return sysname && std::strncmp(sysname, "event", 5) == 0 && udev_device_get_devnode(device);
}

// Calls `visit` with every input event device udev knows, until it returns false.
template <typename Visit>
void forEachEventDevice(udev* context, Visit visit) {
    udev_enumerate* enumerate = udev_enumerate_new(context);
    if (!enumerate)
        return;
    udev_enumerate_add_match_subsystem(enumerate, "input");
    udev_enumerate_add_match_sysname(enumerate, "event*");
    udev_enumerate_scan_devices(enumerate);
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
        udev_device* device =
            udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
        if (!device)
            continue;
        const bool goOn = !isEventNode(device) || visit(device);
        udev_device_unref(device);
        if (!goOn)
            break;
    }
    udev_enumerate_unref(enumerate);
}

struct Opened {
    int fd = -1;
    libevdev* device = nullptr;
    int error = 0;
};

// Opens a device for reading only: nothing is ever written to it, and it is never grabbed.
Opened openKeyboard(const char* node) {
    Opened opened;
    opened.fd = ::open(node, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (opened.fd < 0) {
        opened.error = errno;
        return opened;
    }
    if (libevdev_new_from_fd(opened.fd, &opened.device) < 0 || !isKeyboard(opened.device)) {
        libevdev_free(opened.device);
        ::close(opened.fd);
        return {};
    }
    return opened;
}

} // namespace

struct EvdevKeyStream::Device {
    QByteArray node;
    unsigned id = 0;
    int fd = -1;
    libevdev* evdev = nullptr;
    QSocketNotifier* notifier = nullptr;
    // The codes this device holds down.
    std::set<unsigned> held;

    ~Device() {
        if (notifier) {
            // It may be the notifier whose signal is being handled right now.
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
        libevdev_free(evdev);
        if (fd >= 0)
            ::close(fd);
    }
};

std::unique_ptr<EvdevKeyStream> EvdevKeyStream::open(Listener listener, QString& failure) {
    std::unique_ptr<EvdevKeyStream> stream(new EvdevKeyStream(std::move(listener)));
    if (!stream->start(failure))
        return nullptr;
    return stream;
}

EvdevKeyStream::EvdevKeyStream(Listener listener) : SessionKeyStream(std::move(listener)) {}

EvdevKeyStream::~EvdevKeyStream() {
    devices_.clear();
    if (monitorNotifier_) {
        monitorNotifier_->setEnabled(false);
        monitorNotifier_->deleteLater();
    }
    if (monitor_)
        udev_monitor_unref(monitor_);
    if (udev_)
        udev_unref(udev_);
}

bool EvdevKeyStream::start(QString& failure) {
    udev_ = udev_new();
    if (!udev_) {
        failure = QStringLiteral("Cannot observe the global hotkey: udev cannot list the input "
                                 "devices");
        return false;
    }
    layoutWatch_ = X11KeyboardLayoutWatch::open([this](const EvdevKeyboardLayout& layout) {
        layout_ = layout;
        log_.info("The keyboard layout changed; keys are read through %{public}s",
                  layout_.source());
    });
    layout_ = layoutWatch_ ? layoutWatch_->layout() : EvdevKeyboardLayout::current();

    // Listening before listing: a keyboard plugged in meanwhile is not missed.
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ &&
        (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "input", nullptr) < 0 ||
         udev_monitor_enable_receiving(monitor_) < 0)) {
        udev_monitor_unref(monitor_);
        monitor_ = nullptr;
    }

    bool unreadable = false;
    forEachEventDevice(udev_, [&](udev_device* device) {
        unreadable = addDevice(device) == Opening::unreadable || unreadable;
        return true;
    });
    if (devices_.empty()) {
        failure = unreadable
                      ? QStringLiteral("Cannot observe the global hotkey: the keyboards cannot be "
                                       "read; %1")
                            .arg(QLatin1String(kInputGroupStep))
                      : QStringLiteral("Cannot observe the global hotkey: no keyboard among the "
                                       "input devices");
        return false;
    }

    if (monitor_) {
        monitorNotifier_ =
            new QSocketNotifier(udev_monitor_get_fd(monitor_), QSocketNotifier::Read);
        QObject::connect(monitorNotifier_, &QSocketNotifier::activated, &context(), [this] {
            readUdev();
            deliverPending();
        });
    } else {
        log_.notice("Keyboards plugged in later will not be read: udev's monitor is not "
                    "available");
    }
    log_.info("Reading the keys of %{public}d keyboards, their layout from %{public}s",
              static_cast<int>(devices_.size()), layout_.source());
    return true;
}

EvdevKeyStream::Opening EvdevKeyStream::addDevice(udev_device* device) {
    const QByteArray node(udev_device_get_devnode(device));
    if (devices_.contains(node))
        return Opening::keyboard;
    Opened opened = openKeyboard(node.constData());
    if (!opened.device) {
        const bool denied = opened.error == EACCES || opened.error == EPERM;
        const char* keyboard = udev_device_get_property_value(device, "ID_INPUT_KEYBOARD");
        return denied && keyboard && std::strcmp(keyboard, "1") == 0 ? Opening::unreadable
                                                                     : Opening::notKeyboard;
    }

    auto added = std::make_unique<Device>();
    Device& keyboard = *added;
    keyboard.node = node;
    keyboard.id = nextDeviceId_++;
    keyboard.fd = opened.fd;
    keyboard.evdev = opened.device;
    // Keys already down count as held without being reported, as when the X server is asked: a
    // Control held since before we looked still counts when Shift joins it.
    for (unsigned code = 0; code < KEY_CNT; ++code) {
        if (libevdev_get_event_value(keyboard.evdev, EV_KEY, code) == 1) {
            (void)held_.press(heldKey(keyboard.id, code), layout_.role(code));
            keyboard.held.insert(code);
        }
    }
    keyboard.notifier = new QSocketNotifier(keyboard.fd, QSocketNotifier::Read);
    QObject::connect(keyboard.notifier, &QSocketNotifier::activated, &context(), [this, node] {
        const auto found = devices_.find(node);
        if (found == devices_.end())
            return;
        if (!readDevice(*found->second))
            removeDevice(node);
        deliverPending();
    });
    log_.info("Reading the keys of %{public}s (%{public}s)", QString::fromLocal8Bit(node),
              QString::fromUtf8(libevdev_get_name(keyboard.evdev)));
    devices_.emplace(node, std::move(added));
    return Opening::keyboard;
}

void EvdevKeyStream::removeDevice(const QByteArray& node) {
    const auto found = devices_.find(node);
    if (found == devices_.end())
        return;
    const Device& device = *found->second;
    const ModifierFlags before = held_.flags();
    for (const unsigned code : device.held)
        (void)held_.release(heldKey(device.id, code));
    if (const ModifierFlags after = held_.flags(); after != before)
        queue(HeldKeys::Change{.flags = after, .keyDown = std::nullopt});
    log_.info("Keyboard %{public}s went away", QString::fromLocal8Bit(node));
    devices_.erase(found);
}

void EvdevKeyStream::readUdev() {
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
        const char* action = udev_device_get_action(device);
        if (action && isEventNode(device)) {
            if (std::strcmp(action, "add") == 0)
                (void)addDevice(device);
            else if (std::strcmp(action, "remove") == 0)
                removeDevice(QByteArray(udev_device_get_devnode(device)));
        }
        udev_device_unref(device);
    }
}

bool EvdevKeyStream::readDevice(Device& device) {
    unsigned flags = LIBEVDEV_READ_FLAG_NORMAL;
    for (;;) {
        input_event event{};
        const int status = libevdev_next_event(device.evdev, flags, &event);
        if (status == LIBEVDEV_READ_STATUS_SUCCESS) {
            if (event.type == EV_KEY)
                handleKey(device, event.code, event.value);
        } else if (status == LIBEVDEV_READ_STATUS_SYNC) {
            // The kernel dropped events: libevdev reads the device's state anew and hands out
            // the difference, as events, until the device has nothing more (-EAGAIN).
            if (flags == LIBEVDEV_READ_FLAG_NORMAL) {
                log_.notice("%{public}s dropped events; its keys are read anew",
                            QString::fromLocal8Bit(device.node));
                flags = LIBEVDEV_READ_FLAG_SYNC;
            } else if (event.type == EV_KEY) {
                handleKey(device, event.code, event.value);
            }
        } else if (status == -EAGAIN) {
            if (flags == LIBEVDEV_READ_FLAG_NORMAL)
                return true;
            flags = LIBEVDEV_READ_FLAG_NORMAL;
        } else {
            // ENODEV once a device is unplugged, before udev tells.
            return false;
        }
    }
}

void EvdevKeyStream::handleKey(Device& device, unsigned code, int value) {
    if (code >= KEY_CNT)
        return;
    const unsigned key = heldKey(device.id, code);
    HeldKeys::Change change;
    if (value == 1) {
        if (postingDepth_ > 0)
            return;
        change = held_.press(key, layout_.role(code));
        device.held.insert(code);
    } else if (value == 0) {
        change = held_.release(key);
        device.held.erase(code);
    } else {
        // 2: an auto-repeat of a key already down.
        return;
    }
    if (change.flags || change.keyDown)
        queue(change);
}

void EvdevKeyStream::readAll() {
    std::vector<QByteArray> gone;
    for (const auto& [node, device] : devices_) {
        if (!readDevice(*device))
            gone.push_back(node);
    }
    for (const QByteArray& node : gone)
        removeDevice(node);
}

void EvdevKeyStream::beginPosting() {
    if (postingDepth_++ == 0) {
        readAll();
        scheduleDelivery();
    }
}

void EvdevKeyStream::endPosting() {
    if (postingDepth_ == 0)
        return;
    if (postingDepth_ == 1) {
        readAll();
        scheduleDelivery();
    }
    --postingDepth_;
}

std::set<QByteArray> EvdevKeyStream::keyboards() const {
    std::set<QByteArray> nodes;
    for (const auto& [node, device] : devices_)
        nodes.insert(node);
    return nodes;
}

bool EvdevKeyStream::someKeyboardReadable() {
    udev* context = udev_new();
    if (!context)
        return false;
    bool readable = false;
    forEachEventDevice(context, [&](udev_device* device) {
        const Opened opened = openKeyboard(udev_device_get_devnode(device));
        if (opened.device) {
            readable = true;
            libevdev_free(opened.device);
            ::close(opened.fd);
        }
        return !readable;
    });
    udev_unref(context);
    return readable;
}

} // namespace sayloom::linux_desktop
