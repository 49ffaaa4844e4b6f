#include "cli/InterruptWatcher.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace sayloom {

namespace {

// The write end of the current watcher's pipe.
volatile std::sig_atomic_t interruptPipe = -1;

void onInterrupt(int) {
    const int saved = errno;
    const int fd = interruptPipe;
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = saved;
}

} // namespace

InterruptWatcher::InterruptWatcher(QObject* parent) : QObject(parent) {
    if (interruptPipe >= 0 || ::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    interruptPipe = fds_[1];
    struct sigaction action {};
    action.sa_handler = &onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousInterrupt_);
    sigaction(SIGTERM, &action, &previousTerminate_);
    sigaction(SIGHUP, &action, &previousHangUp_);
    notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(fds_[0], bytes, sizeof bytes) > 0) {
        }
        Q_EMIT interrupted();
    });
}

InterruptWatcher::~InterruptWatcher() { release(); }

void InterruptWatcher::release() {
    if (!notifier_)
        return;
    delete notifier_;
    notifier_ = nullptr;
    sigaction(SIGINT, &previousInterrupt_, nullptr);
    sigaction(SIGTERM, &previousTerminate_, nullptr);
    sigaction(SIGHUP, &previousHangUp_, nullptr);
    interruptPipe = -1;
    ::close(fds_[0]);
    ::close(fds_[1]);
}

} // namespace sayloom
