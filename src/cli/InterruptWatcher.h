#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

namespace sayloom {

// Turns Ctrl+C (SIGINT), SIGTERM and SIGHUP (the terminal or the session went away) into a signal
// on the event loop while it lives, through a pipe written by an async-signal-safe handler. The
// previous handlers come back when it goes, so a second Ctrl+C after that ends the process as
// usual. One at a time per process.
class InterruptWatcher final : public QObject {
    Q_OBJECT

public:
    explicit InterruptWatcher(QObject* parent = nullptr);
    ~InterruptWatcher() override;

    // False when the handlers could not be installed.
    bool isWatching() const { return notifier_ != nullptr; }
    // Restores the previous handlers now.
    void release();

Q_SIGNALS:
    void interrupted();

private:
    int fds_[2] = {-1, -1};
    struct sigaction previousInterrupt_ {};
    struct sigaction previousTerminate_ {};
    struct sigaction previousHangUp_ {};
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace sayloom
