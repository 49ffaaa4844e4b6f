#pragma once

#include <QByteArray>
#include <QString>

#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;

namespace sayloom::testing {

// Input devices of a umockdev test bed: /sys/class/input entries, /dev/input/eventN nodes that
// answer the evdev ioctls (names, capabilities, the keys down) and carry the events written to
// them, and the udev events of devices coming and going. The process that reads them must run
// with umockdev's preload library: this one (see UmockdevMain.cpp), or a child started with
// environmentOfReaders(). Remembers whether anyone grabbed a device or wrote to one.
class MockKeyboards {
public:
    enum class Kind { keyboard, mouse };

    // Why mock devices cannot be made here; empty when they can.
    static QString missing();

    MockKeyboards();
    ~MockKeyboards();
    MockKeyboards(const MockKeyboards&) = delete;
    MockKeyboards& operator=(const MockKeyboards&) = delete;

    // Adds a device with the keys `down` already held, announced by a udev "add" event; returns
    // its node.
    QByteArray add(Kind kind = Kind::keyboard, std::initializer_list<unsigned> down = {});
    // Announces a device's removal by a udev "remove" event, then removes it.
    void remove(const QByteArray& node);

    // One key event (1 press, 0 release, 2 auto-repeat) and its SYN_REPORT.
    void key(const QByteArray& node, unsigned code, int value);
    // The kernel's buffer overflowed: the keys `down` are held now, and the reader gets
    // SYN_DROPPED instead of the events that led there.
    void dropEvents(const QByteArray& node, std::set<unsigned> down);

    // Whether a device was grabbed (EVIOCGRAB) or written to.
    bool touched() const;

    // The variables under which another process sees this test bed's devices in place of the
    // machine's: umockdev's preload library and the test bed's folder. The test bed answers for
    // the devices while this object lives.
    std::vector<std::pair<QString, QString>> environmentOfReaders() const;

    // A device's description and state, shared with umockdev's ioctl thread.
    struct Device;

private:
    void write(const QByteArray& node, unsigned type, unsigned code, int value);

    UMockdevTestbed* testbed_ = nullptr;
    std::map<QByteArray, std::shared_ptr<Device>> devices_;
    int nextNumber_ = 10;
};

} // namespace sayloom::testing
