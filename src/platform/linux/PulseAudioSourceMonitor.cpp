#include "platform/linux/PulseAudioSourceMonitor.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/subscribe.h>

#include <algorithm>

namespace sayloom::linux_desktop {

namespace {

void forget(pa_operation* operation) {
    if (operation)
        pa_operation_unref(operation);
}

} // namespace

PulseAudioSourceMonitor::PulseAudioSourceMonitor(Scheduler& scheduler, QObject* parent)
    : PulseAudioSourceMonitor(scheduler, Options(), parent) {}

PulseAudioSourceMonitor::PulseAudioSourceMonitor(Scheduler& scheduler, Options options,
                                                 QObject* parent)
    : QObject(parent)
    , scheduler_(scheduler)
    , options_(std::move(options))
    , retryDelay_(options_.firstRetryDelay) {
    if (!loop_.start()) {
        log_.error("No audio source monitor: cannot start the PulseAudio thread");
        return;
    }
    connectToServer();
    PulseAudioMainLoop::Lock lock(loop_);
    if (context_)
        loop_.waitLocked(
            context_,
            [this] { return answered_ || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_)); },
            PulseAudioMainLoop::deadlineAfter(options_.timeout));
    // Nobody can have listened to the first answer: it is no change to announce.
    announced_ = available_.load();
}

PulseAudioSourceMonitor::~PulseAudioSourceMonitor() {
    retry_.cancel();
    attempt_.cancel();
    {
        PulseAudioMainLoop::Lock lock(loop_);
        dropContext();
    }
    // Nothing posts to this object any more; what was posted goes with it.
    loop_.stop();
}

void PulseAudioSourceMonitor::connectToServer() {
    bool connecting = false;
    {
        PulseAudioMainLoop::Lock lock(loop_);
        dropContext();
        ++generation_;
        evaluating_ = false;
        stale_ = false;
        answered_ = false;
        context_ = loop_.newContext(options_.applicationName);
        if (context_) {
            pa_context_set_state_callback(context_, &PulseAudioSourceMonitor::onContextState, this);
            pa_context_set_subscribe_callback(context_,
                                              &PulseAudioSourceMonitor::onSubscriptionEvent, this);
            connecting = PulseAudioMainLoop::connect(context_, options_.server);
        }
    }
    const std::uint64_t generation = generation_;
    if (!connecting) {
        connectionEnded(generation);
        return;
    }
    attempt_ = scheduler_.scheduleOnce(options_.timeout,
                                       [this, generation] { giveUpAttempt(generation); });
}

void PulseAudioSourceMonitor::dropContext() {
    if (!context_)
        return;
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_set_subscribe_callback(context_, nullptr, nullptr);
    // Cancels the look-ups in flight: their callbacks do not run.
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
}

void PulseAudioSourceMonitor::giveUpAttempt(std::uint64_t generation) {
    {
        PulseAudioMainLoop::Lock lock(loop_);
        if (generation != generation_ || !context_)
            return;
        const pa_context_state_t state = pa_context_get_state(context_);
        if (state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state))
            return; // its state change is on its way
        dropContext();
    }
    log_.debug("The sound server did not answer within %lld ms",
               static_cast<long long>(options_.timeout.count()));
    connectionEnded(generation);
}

void PulseAudioSourceMonitor::connectionReady(std::uint64_t generation) {
    if (generation != generation_)
        return;
    attempt_.cancel();
    retryDelay_ = options_.firstRetryDelay;
    if (lostReported_)
        log_.notice("Connected to the sound server again");
    lostReported_ = false;
}

void PulseAudioSourceMonitor::connectionEnded(std::uint64_t generation) {
    // The state callback and the caller that saw the failure may both report the same end.
    if (generation != generation_ || generation == endedGeneration_)
        return;
    endedGeneration_ = generation;
    attempt_.cancel();
    QString reason = QStringLiteral("no answer");
    {
        PulseAudioMainLoop::Lock lock(loop_);
        if (context_)
            reason = QString::fromUtf8(pa_strerror(pa_context_errno(context_)));
    }
    if (!lostReported_)
        log_.notice("No connection to the sound server (%s); retrying", reason);
    else
        log_.debug("Still no connection to the sound server (%s); retrying in %lld ms", reason,
                   static_cast<long long>(retryDelay_.count()));
    lostReported_ = true;
    retry_ = scheduler_.scheduleOnce(retryDelay_, [this] { connectToServer(); });
    retryDelay_ = std::min(retryDelay_ * 2, options_.longestRetryDelay);
}

void PulseAudioSourceMonitor::evaluate(pa_context* context) {
    if (evaluating_) {
        stale_ = true;
        return;
    }
    evaluating_ = true;
    stale_ = false;
    sourceFound_ = false;
    defaultSource_.clear();
    pa_operation* operation =
        pa_context_get_server_info(context, &PulseAudioSourceMonitor::onServerInfo, this);
    // None when the connection is going: its state change gives the answer then.
    evaluating_ = operation != nullptr;
    forget(operation);
}

void PulseAudioSourceMonitor::finishEvaluation(bool available, const QString& source) {
    evaluating_ = false;
    answered_ = true;
    loop_.signal();
    publish(available, source);
}

void PulseAudioSourceMonitor::publish(bool available, const QString& source) {
    if (available_.exchange(available) == available)
        return;
    if (available)
        log_.info("Audio source available: %s", source);
    else
        log_.info("No audio source available");
    QMetaObject::invokeMethod(this, &PulseAudioSourceMonitor::announce, Qt::QueuedConnection);
}

void PulseAudioSourceMonitor::announce() {
    // Flips back and forth before this runs add up to no change, or to the last one.
    const bool available = available_.load();
    if (available == announced_)
        return;
    announced_ = available;
    Q_EMIT availabilityChanged(available);
}

void PulseAudioSourceMonitor::post(void (PulseAudioSourceMonitor::*method)(std::uint64_t)) {
    const std::uint64_t generation = generation_;
    QMetaObject::invokeMethod(
        this, [this, method, generation] { (this->*method)(generation); }, Qt::QueuedConnection);
}

void PulseAudioSourceMonitor::onContextState(pa_context* context, void* self) {
    auto* monitor = static_cast<PulseAudioSourceMonitor*>(self);
    monitor->loop_.signal();
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) {
        // Watch before looking up: a change after the look-up's answer still arrives as an event.
        forget(pa_context_subscribe(context,
                                    static_cast<pa_subscription_mask_t>(
                                        PA_SUBSCRIPTION_MASK_SERVER | PA_SUBSCRIPTION_MASK_SOURCE),
                                    nullptr, nullptr));
        monitor->evaluate(context);
        monitor->post(&PulseAudioSourceMonitor::connectionReady);
    } else if (!PA_CONTEXT_IS_GOOD(state)) {
        monitor->evaluating_ = false;
        monitor->publish(false, {});
        monitor->post(&PulseAudioSourceMonitor::connectionEnded);
    }
}

void PulseAudioSourceMonitor::onSubscriptionEvent(pa_context* context,
                                                  pa_subscription_event_type_t type, std::uint32_t,
                                                  void* self) {
    const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    // The default source changes with a server event; a source that comes or goes may be it.
    // A source's own changes (volume, suspension) leave the answer as it is.
    if (facility == PA_SUBSCRIPTION_EVENT_SERVER ||
        (facility == PA_SUBSCRIPTION_EVENT_SOURCE && kind != PA_SUBSCRIPTION_EVENT_CHANGE))
        static_cast<PulseAudioSourceMonitor*>(self)->evaluate(context);
}

void PulseAudioSourceMonitor::onServerInfo(pa_context* context, const pa_server_info* info,
                                           void* self) {
    auto* monitor = static_cast<PulseAudioSourceMonitor*>(self);
    if (monitor->stale_) {
        monitor->evaluating_ = false;
        monitor->evaluate(context);
        return;
    }
    if (!info || !info->default_source_name || !*info->default_source_name) {
        monitor->finishEvaluation(false, {});
        return;
    }
    monitor->defaultSource_ = QString::fromUtf8(info->default_source_name);
    pa_operation* operation = pa_context_get_source_info_by_name(
        context, info->default_source_name, &PulseAudioSourceMonitor::onSourceInfo, monitor);
    monitor->evaluating_ = operation != nullptr;
    forget(operation);
}

void PulseAudioSourceMonitor::onSourceInfo(pa_context* context, const pa_source_info* info, int eol,
                                           void* self) {
    auto* monitor = static_cast<PulseAudioSourceMonitor*>(self);
    if (eol == 0) {
        monitor->sourceFound_ = monitor->sourceFound_ || info != nullptr;
        return; // the end of the list follows
    }
    // eol < 0: the server has no source of that name.
    if (monitor->stale_) {
        monitor->evaluating_ = false;
        monitor->evaluate(context);
        return;
    }
    monitor->finishEvaluation(monitor->sourceFound_, monitor->defaultSource_);
}

} // namespace sayloom::linux_desktop
