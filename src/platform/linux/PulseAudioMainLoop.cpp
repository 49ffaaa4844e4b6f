#include "platform/linux/PulseAudioMainLoop.h"

#include <pulse/context.h>
#include <pulse/proplist.h>
#include <pulse/rtclock.h>
#include <pulse/thread-mainloop.h>

namespace sayloom::linux_desktop {

namespace {

struct Alarm {
    pa_threaded_mainloop* mainloop;
    bool fired = false;
};

void onAlarm(pa_mainloop_api*, pa_time_event*, const timeval*, void* alarm) {
    auto* state = static_cast<Alarm*>(alarm);
    state->fired = true;
    pa_threaded_mainloop_signal(state->mainloop, 0);
}

} // namespace

PulseAudioMainLoop::Lock::Lock(const PulseAudioMainLoop& loop)
    : mainloop_(loop.mainloop_ && !pa_threaded_mainloop_in_thread(loop.mainloop_) ? loop.mainloop_
                                                                                  : nullptr) {
    if (mainloop_)
        pa_threaded_mainloop_lock(mainloop_);
}

PulseAudioMainLoop::Lock::~Lock() {
    if (mainloop_)
        pa_threaded_mainloop_unlock(mainloop_);
}

PulseAudioMainLoop::PulseAudioMainLoop(const char* threadName)
    : mainloop_(pa_threaded_mainloop_new()) {
    if (mainloop_)
        pa_threaded_mainloop_set_name(mainloop_, threadName);
}

PulseAudioMainLoop::~PulseAudioMainLoop() {
    if (mainloop_)
        pa_threaded_mainloop_free(mainloop_); // stops the thread first when it still runs
}

bool PulseAudioMainLoop::start() { return mainloop_ && pa_threaded_mainloop_start(mainloop_) >= 0; }

void PulseAudioMainLoop::stop() {
    if (mainloop_)
        pa_threaded_mainloop_stop(mainloop_);
}

void PulseAudioMainLoop::signal() { pa_threaded_mainloop_signal(mainloop_, 0); }

pa_context* PulseAudioMainLoop::newContext(const QString& applicationName) const {
    if (!mainloop_)
        return nullptr;
    const QByteArray name = applicationName.toUtf8();
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, name.constData());
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "ai.sayloom.app");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ICON_NAME, "audio-input-microphone");
    pa_context* context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(mainloop_),
                                                       name.constData(), properties);
    pa_proplist_free(properties);
    return context;
}

bool PulseAudioMainLoop::connect(pa_context* context, const std::optional<QString>& server) {
    const QByteArray address = server ? server->toUtf8() : QByteArray();
    return pa_context_connect(context, server ? address.constData() : nullptr,
                              PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
}

bool PulseAudioMainLoop::waitLocked(pa_context* context, const std::function<bool()>& done,
                                    std::uint64_t deadline) {
    if (done())
        return true;
    Alarm alarm{mainloop_};
    pa_time_event* event = pa_context_rttime_new(context, deadline, &onAlarm, &alarm);
    if (!event)
        return false; // without an alarm the wait would have no bound
    while (!done() && !alarm.fired)
        pa_threaded_mainloop_wait(mainloop_);
    pa_threaded_mainloop_get_api(mainloop_)->time_free(event);
    return done();
}

std::uint64_t PulseAudioMainLoop::deadlineAfter(std::chrono::milliseconds timeout) {
    return pa_rtclock_now() +
           static_cast<std::uint64_t>(
               std::chrono::duration_cast<std::chrono::microseconds>(timeout).count());
}

} // namespace sayloom::linux_desktop
