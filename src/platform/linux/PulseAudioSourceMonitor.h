#pragma once

#include "platform/linux/PulseAudioMainLoop.h"
#include "support/Logger.h"
#include "support/Scheduler.h"

#include <pulse/def.h>

#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

struct pa_context;
struct pa_server_info;
struct pa_source_info;

namespace sayloom::linux_desktop {

// Whether the sound server offers a microphone: it names a default source and that source exists
// (the monitor of an output counts). Asked on the main thread often, so the answer is kept ready.
//
// One connection to the server (PulseAudio, or PipeWire's Pulse server) on a libpulse thread of
// its own watches the server and its sources and updates a cached answer, which isAvailable()
// reads without waiting. While there is no connection the answer is false, and the monitor
// reconnects after a delay that doubles from `firstRetryDelay` up to `longestRetryDelay`; a
// successful connection starts the delays over. An attempt that the server does not answer within
// `timeout` is given up. No server is ever started.
//
// Threads: constructed, used and destroyed on the main thread, whose Scheduler times the retries
// and time-outs. The construction waits (at most `timeout`) for the first answer, so that the
// first question already gets the server's answer. availabilityChanged() is delivered on the main
// thread whenever the answer differs from the one last announced (at first, from the one the
// construction ended with), and carries the answer current at delivery.
class PulseAudioSourceMonitor final : public QObject {
    Q_OBJECT

public:
    struct Options {
        // Shown by the server's mixers as the client.
        QString applicationName = QStringLiteral("Sayloom");
        // A server address in libpulse's notation ("unix:/path"); none means libpulse's default.
        std::optional<QString> server;
        std::chrono::milliseconds timeout{3000};
        std::chrono::milliseconds firstRetryDelay{250};
        std::chrono::milliseconds longestRetryDelay{5000};
    };

    explicit PulseAudioSourceMonitor(Scheduler& scheduler, QObject* parent = nullptr);
    PulseAudioSourceMonitor(Scheduler& scheduler, Options options, QObject* parent = nullptr);
    ~PulseAudioSourceMonitor() override;

    // The cached answer; never blocks.
    bool isAvailable() const { return available_.load(); }

Q_SIGNALS:
    void availabilityChanged(bool available);

private:
    // Main thread.
    void connectToServer();
    void dropContext();
    void giveUpAttempt(std::uint64_t generation);
    void connectionReady(std::uint64_t generation);
    void connectionEnded(std::uint64_t generation);
    void announce();

    // Libpulse thread, lock held.
    void evaluate(pa_context* context);
    void finishEvaluation(bool available, const QString& source);
    void publish(bool available, const QString& source);
    void post(void (PulseAudioSourceMonitor::*method)(std::uint64_t));

    static void onContextState(pa_context* context, void* self);
    static void onSubscriptionEvent(pa_context* context, pa_subscription_event_type_t type,
                                    std::uint32_t index, void* self);
    static void onServerInfo(pa_context* context, const pa_server_info* info, void* self);
    static void onSourceInfo(pa_context* context, const pa_source_info* info, int eol, void* self);

    Logger log_{QStringLiteral("audio-source-monitor")};
    Scheduler& scheduler_;
    Options options_;
    PulseAudioMainLoop loop_{"sayloom-sources"};
    std::atomic<bool> available_{false};

    // Main thread.
    Timer retry_;
    Timer attempt_;
    std::chrono::milliseconds retryDelay_;
    std::uint64_t endedGeneration_ = 0;
    // The answer last announced, or seen at the end of the construction.
    bool announced_ = false;
    bool lostReported_ = false;

    // Written by the main thread and read by the libpulse thread, both under the loop's lock.
    pa_context* context_ = nullptr;
    std::uint64_t generation_ = 0;
    // Libpulse thread (and the main thread while it (re)connects), under the loop's lock. One
    // look-up runs at a time; an event during a look-up marks it stale, and it starts over.
    bool evaluating_ = false;
    bool stale_ = false;
    bool answered_ = false;
    QString defaultSource_;
    bool sourceFound_ = false;
};

} // namespace sayloom::linux_desktop
