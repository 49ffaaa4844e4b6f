#include "MockKeyboards.h"

#include <umockdev.h>

#include <linux/input.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <stdexcept>

namespace sayloom::testing {

struct MockKeyboards::Device {
    // Read by umockdev's ioctl thread, written by the test.
    mutable std::mutex mutex;
    Kind kind = Kind::keyboard;
    QByteArray name;
    QByteArray syspath;
    std::set<unsigned> down;
    UMockdevIoctlBase* handler = nullptr;
};

namespace {

std::atomic<bool> gTouched{false};

void setBit(guint8* bits, std::size_t size, unsigned bit) {
    if (bit / 8 < size)
        bits[bit / 8] |= static_cast<guint8>(1u << (bit % 8));
}

// Answers an evdev ioctl from the device's description, as the kernel would.
gboolean handleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
    const auto& device = *static_cast<const MockKeyboards::Device*>(data);
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* argument = umockdev_ioctl_client_get_arg(client);
    const unsigned size = _IOC_SIZE(request);
    const unsigned number = _IOC_NR(request);
    if (_IOC_TYPE(request) != 'E') {
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
        return TRUE;
    }
    if (request == EVIOCGRAB) {
        gTouched = true;
        umockdev_ioctl_client_complete(client, -1, EPERM);
        return TRUE;
    }
    if (_IOC_DIR(request) != _IOC_READ || size == 0) {
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return TRUE;
    }
    UMockdevIoctlData* out = umockdev_ioctl_data_resolve(argument, 0, size, nullptr);
    if (!out) {
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return TRUE;
    }
    std::memset(out->data, 0, size);
    long result = size;
    const std::lock_guard lock(device.mutex);
    const bool keyboard = device.kind == MockKeyboards::Kind::keyboard;
    if (request == EVIOCGVERSION) {
        const int version = EV_VERSION;
        std::memcpy(out->data, &version, sizeof version);
        result = 0;
    } else if (request == EVIOCGID) {
        const input_id id{BUS_USB, 0x1234, static_cast<__u16>(keyboard ? 1 : 2), 1};
        std::memcpy(out->data, &id, sizeof id);
        result = 0;
    } else if (request == EVIOCGREP) {
        const unsigned repeat[2] = {250, 33};
        std::memcpy(out->data, repeat, sizeof repeat);
        result = 0;
    } else if (number == _IOC_NR(EVIOCGNAME(0))) {
        result = static_cast<long>(std::min<std::size_t>(size, device.name.size() + 1));
        std::memcpy(out->data, device.name.constData(), static_cast<std::size_t>(result));
    } else if (number == _IOC_NR(EVIOCGKEY(0))) {
        for (const unsigned code : device.down)
            setBit(out->data, size, code);
    } else if (number == _IOC_NR(EVIOCGBIT(0, 0))) {
        setBit(out->data, size, EV_SYN);
        setBit(out->data, size, EV_KEY);
        setBit(out->data, size, keyboard ? EV_REP : EV_REL);
    } else if (number == _IOC_NR(EVIOCGBIT(EV_KEY, 0))) {
        if (keyboard) {
            for (unsigned code = KEY_ESC; code <= KEY_COMPOSE; ++code)
                setBit(out->data, size, code);
        } else {
            setBit(out->data, size, BTN_LEFT);
            setBit(out->data, size, BTN_RIGHT);
        }
    } else if (number == _IOC_NR(EVIOCGBIT(EV_REL, 0))) {
        if (!keyboard) {
            setBit(out->data, size, REL_X);
            setBit(out->data, size, REL_Y);
        }
    }
    // Every other query (LEDs, switches, properties, other event types) finds nothing.
    umockdev_ioctl_client_complete(client, result, 0);
    return TRUE;
}

gboolean handleWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer) {
    gTouched = true;
    umockdev_ioctl_client_complete(client, -1, EPERM);
    return TRUE;
}

// Device nodes in the test bed are pseudo-terminals: raw, so that events pass byte for byte.
void makeRaw(int fd) {
    termios attributes{};
    if (tcgetattr(fd, &attributes) == 0) {
        cfmakeraw(&attributes);
        tcsetattr(fd, TCSANOW, &attributes);
    }
}

} // namespace

QString MockKeyboards::missing() {
    const QByteArray preload = qgetenv("LD_PRELOAD");
    if (!preload.contains("libumockdev-preload"))
        return QStringLiteral("umockdev's preload library is not loaded (umockdev-wrapper not "
                              "found: install the umockdev package)");
    return {};
}

MockKeyboards::MockKeyboards() : testbed_(umockdev_testbed_new()) { gTouched = false; }

MockKeyboards::~MockKeyboards() {
    for (const auto& [node, device] : devices_) {
        umockdev_testbed_detach_ioctl(testbed_, node.constData(), nullptr);
        g_object_unref(device->handler);
    }
    g_object_unref(testbed_);
}

QByteArray MockKeyboards::add(Kind kind, std::initializer_list<unsigned> down) {
    const int number = nextNumber_++;
    const QByteArray event = "event" + QByteArray::number(number);
    const QByteArray node = "/dev/input/" + event;
    auto device = std::make_shared<Device>();
    device->kind = kind;
    device->name =
        (kind == Kind::keyboard ? "Mock Keyboard " : "Mock Mouse ") + QByteArray::number(number);
    device->syspath = "/sys/devices/virtual/input/input" + QByteArray::number(number) + "/" + event;
    device->down = down;

    const QByteArray description =
        "P: /devices/virtual/input/input" + QByteArray::number(number) + "/" + event +
        "\nN: input/" + event + "\nE: DEVNAME=" + node + "\nE: SUBSYSTEM=input\nE: ID_INPUT=1\n" +
        (kind == Kind::keyboard ? "E: ID_INPUT_KEY=1\nE: ID_INPUT_KEYBOARD=1\n"
                                : "E: ID_INPUT_MOUSE=1\n") +
        "A: dev=13:" + QByteArray::number(64 + number) + "\n";
    // The ioctls are answered before the device is announced: a reader may open it at once.
    device->handler = umockdev_ioctl_base_new();
    g_signal_connect(device->handler, "handle-ioctl", G_CALLBACK(handleIoctl), device.get());
    g_signal_connect(device->handler, "handle-write", G_CALLBACK(handleWrite), device.get());
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_, description.constData(), &error) ||
        !umockdev_testbed_attach_ioctl(testbed_, node.constData(), device->handler, &error)) {
        const std::string message = error ? error->message : "unknown error";
        g_clear_error(&error);
        throw std::runtime_error("umockdev refused the device: " + message);
    }
    makeRaw(umockdev_testbed_get_dev_fd(testbed_, node.constData()));
    devices_.emplace(node, std::move(device));
    return node;
}

void MockKeyboards::remove(const QByteArray& node) {
    const auto found = devices_.find(node);
    if (found == devices_.end())
        return;
    umockdev_testbed_uevent(testbed_, found->second->syspath.constData(), "remove");
    umockdev_testbed_remove_device(testbed_, found->second->syspath.constData());
}

void MockKeyboards::write(const QByteArray& node, unsigned type, unsigned code, int value) {
    input_event event{};
    event.type = static_cast<__u16>(type);
    event.code = static_cast<__u16>(code);
    event.value = value;
    const int fd = umockdev_testbed_get_dev_fd(testbed_, node.constData());
    if (fd < 0 || ::write(fd, &event, sizeof event) != static_cast<ssize_t>(sizeof event))
        throw std::runtime_error("cannot write an event to " + node.toStdString());
}

void MockKeyboards::key(const QByteArray& node, unsigned code, int value) {
    {
        const std::lock_guard lock(devices_.at(node)->mutex);
        if (value == 1)
            devices_.at(node)->down.insert(code);
        else if (value == 0)
            devices_.at(node)->down.erase(code);
    }
    write(node, EV_KEY, code, value);
    write(node, EV_SYN, SYN_REPORT, 0);
}

void MockKeyboards::dropEvents(const QByteArray& node, std::set<unsigned> down) {
    {
        const std::lock_guard lock(devices_.at(node)->mutex);
        devices_.at(node)->down = std::move(down);
    }
    write(node, EV_SYN, SYN_DROPPED, 0);
}

bool MockKeyboards::touched() const { return gTouched; }

std::vector<std::pair<QString, QString>> MockKeyboards::environmentOfReaders() const {
    return {{QStringLiteral("LD_PRELOAD"), QStringLiteral("libumockdev-preload.so.0")},
            {QStringLiteral("UMOCKDEV_DIR"),
             QString::fromUtf8(umockdev_testbed_get_root_dir(testbed_))}};
}

} // namespace sayloom::testing
