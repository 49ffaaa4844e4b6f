#pragma once

#include <QObject>

#include <atomic>
#include <cstdint>

class QSocketNotifier;

namespace sayloom {

// Carries the newest display level from the capture thread to the main thread without locking or
// allocating on the capture thread: the level waits in an atomic slot, and an eventfd wakes the
// main thread's event loop, which emits `levelArrived`. A level that is overwritten before the main
// thread picks it up is simply skipped: the display only wants the latest one.
class LevelMailbox final : public QObject {
    Q_OBJECT

public:
    explicit LevelMailbox(QObject* parent = nullptr);
    ~LevelMailbox() override;

    // Any thread. `tag` identifies the recording the level belongs to.
    void post(float level, std::uint32_t tag);

Q_SIGNALS:
    void levelArrived(float level, quint32 tag);

private:
    void deliver();

    std::atomic<std::uint64_t> slot_{0};
    std::atomic<bool> pending_{false};
    int eventFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace sayloom
