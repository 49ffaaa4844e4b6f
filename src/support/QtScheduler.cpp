#include "support/QtScheduler.h"

#include <QTimer>

namespace sayloom {

namespace {

class QtTimerControl final : public Timer::Control,
                             public std::enable_shared_from_this<QtTimerControl> {
public:
    QtTimerControl(bool repeating, std::function<void()> action)
        : repeating_(repeating)
        , action_(std::move(action)) {}
    ~QtTimerControl() override { cancel(); }

    void start(Duration delay) {
        timer_ = new QTimer;
        timer_->setTimerType(Qt::PreciseTimer);
        timer_->setSingleShot(!repeating_);
        std::weak_ptr<QtTimerControl> weak = shared_from_this();
        QObject::connect(timer_, &QTimer::timeout, [weak] {
            if (auto self = weak.lock())
                self->fire();
        });
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(delay);
        timer_->start(std::max<std::chrono::milliseconds>(ms, std::chrono::milliseconds::zero()));
    }

    void cancel() override {
        active_ = false;
        if (timer_) {
            timer_->stop();
            // The timer may be the one whose signal is being delivered right now.
            timer_->deleteLater();
            timer_ = nullptr;
        }
    }

    bool isActive() const override { return active_; }

private:
    void fire() {
        if (!active_)
            return;
        if (!repeating_)
            cancel();
        // A copy: the action may drop the last handle to this control while it runs.
        auto action = action_;
        action();
    }

    bool repeating_;
    bool active_ = true;
    std::function<void()> action_;
    QTimer* timer_ = nullptr;
};

} // namespace

MonotonicInstant QtScheduler::monotonicNow() const { return std::chrono::steady_clock::now(); }

WallInstant QtScheduler::wallNow() const { return std::chrono::system_clock::now(); }

Timer QtScheduler::scheduleOnce(Duration delay, std::function<void()> action) {
    return schedule(delay, false, std::move(action));
}

Timer QtScheduler::scheduleRepeating(Duration interval, std::function<void()> action) {
    return schedule(interval, true, std::move(action));
}

Timer QtScheduler::schedule(Duration delay, bool repeating, std::function<void()> action) {
    auto control = std::make_shared<QtTimerControl>(repeating, std::move(action));
    control->start(delay);
    return Timer(control);
}

} // namespace sayloom
