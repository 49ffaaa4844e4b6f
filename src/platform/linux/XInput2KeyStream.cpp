#include "platform/linux/XInput2KeyStream.h"

#include <QByteArray>
#include <QSocketNotifier>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

namespace sayloom::linux_desktop {

namespace {

// Keys found down when observation started belong to no known device.
constexpr int kUnknownDevice = 0;

unsigned heldKey(int device, unsigned keycode) {
    return (static_cast<unsigned>(device) << 8) | (keycode & 0xFF);
}

} // namespace

std::unique_ptr<XInput2KeyStream> XInput2KeyStream::open(Listener listener, QString& failure) {
    const auto fail = [&failure](const QString& reason) {
        failure = reason;
        return nullptr;
    };

    // Under XWayland the X server sees only the keys aimed at X clients.
    if (X11Connection::isWaylandSession())
        return fail(QStringLiteral("Wayland sessions are not supported yet: the global hotkey "
                                   "can only be observed in an X11 session"));

    auto connection = std::make_unique<X11Connection>();
    Display* display = connection->display();
    if (!display)
        return fail(QStringLiteral("Cannot observe the global hotkey: no X display (DISPLAY=%1)")
                        .arg(qEnvironmentVariable("DISPLAY")));

    int opcode = 0, eventBase = 0, errorBase = 0;
    int major = 2, minor = 2;
    // Announcing 2.2 matters: a client below it misses raw events while another one grabs.
    if (!XQueryExtension(display, "XInputExtension", &opcode, &eventBase, &errorBase) ||
        XIQueryVersion(display, &major, &minor) != Success || major < 2 ||
        (major == 2 && minor < 2))
        return fail(QStringLiteral("Cannot observe the global hotkey: the X server offers no "
                                   "XInput 2.2"));

    std::unique_ptr<XInput2KeyStream> stream(
        new XInput2KeyStream(std::move(connection), std::move(listener)));
    if (!stream->select(opcode))
        return fail(QStringLiteral("Cannot observe the global hotkey: the X server refused raw "
                                   "key events"));
    return stream;
}

XInput2KeyStream::XInput2KeyStream(std::unique_ptr<X11Connection> connection, Listener listener)
    : SessionKeyStream(std::move(listener))
    , connection_(std::move(connection)) {}

XInput2KeyStream::~XInput2KeyStream() {
    if (notifier_) {
        // It may be the notifier whose signal is being handled right now.
        notifier_->setEnabled(false);
        notifier_->deleteLater();
    }
}

bool XInput2KeyStream::select(int xinputOpcode) {
    xinputOpcode_ = xinputOpcode;
    Display* display = connection_->display();
    const bool selected = connection_->withoutErrors([&] {
        unsigned char rawMask[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(rawMask, XI_RawKeyPress);
        XISetMask(rawMask, XI_RawKeyRelease);
        unsigned char hierarchyMask[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(hierarchyMask, XI_HierarchyChanged);
        XIEventMask masks[] = {
            {XIAllMasterDevices, static_cast<int>(sizeof rawMask), rawMask},
            {XIAllDevices, static_cast<int>(sizeof hierarchyMask), hierarchyMask},
        };
        XISelectEvents(display, DefaultRootWindow(display), masks, 2);

        int xkbOpcode = 0, xkbEventBase = 0, xkbErrorBase = 0;
        int xkbMajor = XkbMajorVersion, xkbMinor = XkbMinorVersion;
        if (XkbQueryExtension(display, &xkbOpcode, &xkbEventBase, &xkbErrorBase, &xkbMajor,
                              &xkbMinor)) {
            const unsigned long mask = XkbMapNotifyMask | XkbNewKeyboardNotifyMask;
            if (XkbSelectEvents(display, XkbUseCoreKbd, mask, mask))
                xkbEventType_ = xkbEventBase;
        }
    });
    if (!selected)
        return false;

    rebuildKeymap();
    findSyntheticKeyboards();
    // The keys already down: a Control held since before we started still counts when Shift
    // joins it.
    char keys[32] = {};
    XQueryKeymap(display, keys);
    for (unsigned keycode = 0; keycode < 256; ++keycode) {
        if (keys[keycode / 8] & (1 << (keycode % 8)))
            (void)held_.press(heldKey(kUnknownDevice, keycode), roles_[keycode]);
    }

    notifier_ = new QSocketNotifier(ConnectionNumber(display), QSocketNotifier::Read);
    QObject::connect(notifier_, &QSocketNotifier::activated, &context(), [this] {
        read(false);
        deliverPending();
    });
    // Events read by the calls above sit in Xlib's queue, where the notifier cannot see them.
    read(false);
    scheduleDelivery();
    return true;
}

void XInput2KeyStream::rebuildKeymap() {
    Display* display = connection_->display();
    roles_.fill(KeyRole::other);
    int minKeycode = 0, maxKeycode = 0;
    XDisplayKeycodes(display, &minKeycode, &maxKeycode);
    int perKeycode = 0;
    KeySym* keysyms = XGetKeyboardMapping(display, static_cast<unsigned char>(minKeycode),
                                          maxKeycode - minKeycode + 1, &perKeycode);
    if (!keysyms)
        return;
    for (int keycode = minKeycode; keycode <= maxKeycode && keycode < 256; ++keycode) {
        // The keysym of the first group and level names the key itself.
        roles_[static_cast<std::size_t>(keycode)] =
            HeldKeys::roleOfKeysym(keysyms[(keycode - minKeycode) * perKeycode]);
    }
    XFree(keysyms);
}

void XInput2KeyStream::findSyntheticKeyboards() {
    syntheticKeyboards_.clear();
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(connection_->display(), XIAllDevices, &count);
    for (int i = 0; i < count; ++i) {
        // The X server gives every master keyboard one, named "<master> XTEST keyboard".
        if (devices[i].use == XISlaveKeyboard &&
            QByteArray(devices[i].name).endsWith(" XTEST keyboard"))
            syntheticKeyboards_.insert(devices[i].deviceid);
    }
    if (devices)
        XIFreeDeviceInfo(devices);
}

void XInput2KeyStream::read(bool sync) {
    Display* display = connection_->display();
    if (sync)
        XSync(display, False);
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == GenericEvent && event.xcookie.extension == xinputOpcode_) {
            if (!XGetEventData(display, &event.xcookie))
                continue;
            const int type = event.xcookie.evtype;
            if (type == XI_RawKeyPress || type == XI_RawKeyRelease) {
                const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
                // Servers before 1.11 report no source device in raw events.
                const int device = raw->sourceid != 0 ? raw->sourceid : raw->deviceid;
                handleRawKey(type == XI_RawKeyPress, device, static_cast<unsigned>(raw->detail),
                             (raw->flags & XIKeyRepeat) != 0);
            } else if (type == XI_HierarchyChanged) {
                findSyntheticKeyboards();
            }
            XFreeEventData(display, &event.xcookie);
        } else if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            if (event.xmapping.request != MappingPointer)
                rebuildKeymap();
        } else if (xkbEventType_ >= 0 && event.type == xkbEventType_) {
            const int xkbType = reinterpret_cast<const XkbAnyEvent*>(&event)->xkb_type;
            if (xkbType == XkbMapNotify || xkbType == XkbNewKeyboardNotify)
                rebuildKeymap();
        }
    }
}

void XInput2KeyStream::handleRawKey(bool press, int device, unsigned keycode, bool repeat) {
    if (keycode > 255)
        return;
    const unsigned key = heldKey(device, keycode);
    const unsigned unknownKey = heldKey(kUnknownDevice, keycode);
    HeldKeys::Change change;
    if (press) {
        if (repeat || (postingDepth_ > 0 && syntheticKeyboards_.contains(device)))
            return;
        // A key that was down before we looked: this press is its auto-repeat, now with a
        // device we know.
        if (held_.isHeld(unknownKey)) {
            (void)held_.release(unknownKey);
            (void)held_.press(key, roles_[keycode]);
            return;
        }
        change = held_.press(key, roles_[keycode]);
    } else {
        change = held_.isHeld(key) ? held_.release(key) : held_.release(unknownKey);
    }
    if (change.flags || change.keyDown)
        queue(change);
}

void XInput2KeyStream::beginPosting() {
    if (postingDepth_++ == 0) {
        read(true);
        scheduleDelivery();
    }
}

void XInput2KeyStream::endPosting() {
    if (postingDepth_ == 0)
        return;
    if (postingDepth_ == 1) {
        read(true);
        scheduleDelivery();
    }
    --postingDepth_;
}

} // namespace sayloom::linux_desktop
