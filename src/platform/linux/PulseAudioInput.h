#pragma once

#include "audio/AudioInput.h"
#include "platform/linux/PulseAudioMainLoop.h"
#include "support/Logger.h"

#include <pulse/channelmap.h>
#include <pulse/def.h>
#include <pulse/sample.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct pa_context;
struct pa_operation;
struct pa_server_info;
struct pa_source_info;
struct pa_stream;

namespace sayloom::linux_desktop {

// The default microphone through a PulseAudio server (PipeWire's Pulse server included).
//
// Opening connects to the server on a capture thread of its own (libpulse's threaded main loop),
// looks up the default source and keeps its native rate, channel count and description. Starting
// opens a record stream on exactly that source, in its native format as 32-bit float, and hands
// the handler buffers of `framesPerBuffer` frames; stopping closes the stream, so the microphone
// is not held open between recordings.
//
// The input stands for the source that was the default when it was opened. It reports a
// configuration change (once) when the server's default source becomes another one, when that
// source is removed or changes its rate or channel count, when its record stream is killed, and
// when the connection to the server is lost.
//
// Threads: every member function is called on the main thread. Both handlers run on the capture
// thread with the main loop's lock held, and every member function that touches a handler or the
// stream takes that lock, which is how replacing a handler, stop() and destruction wait for a
// handler call in progress. The capture path reuses one staging buffer and allocates nothing.
class PulseAudioInput final : public AudioInput {
public:
    struct Options {
        // Shown by the server's mixers as the client and its record stream.
        QString applicationName = QStringLiteral("Sayloom");
        QString streamName = QStringLiteral("Dictation");
        // A server address in libpulse's notation ("unix:/path"); none means libpulse's default
        // (PULSE_SERVER, client.conf, then the user's runtime folder). Never spawns a server.
        std::optional<QString> server;
        // Bounds the connection with its look-ups, and the opening of a record stream: a server
        // that accepts the connection but never answers must not hang the caller.
        std::chrono::milliseconds timeout{3000};
        std::size_t framesPerBuffer = 1024;
    };

    // Never null. When there is no server or no default source, the input reports no usable
    // format (0 Hz, 0 channels), logs why, and keeps the reason in failureReason().
    static std::unique_ptr<PulseAudioInput> open(Options options);
    static std::unique_ptr<PulseAudioInput> open() { return open(Options()); }

    ~PulseAudioInput() override;
    PulseAudioInput(const PulseAudioInput&) = delete;
    PulseAudioInput& operator=(const PulseAudioInput&) = delete;

    AudioInputFormat nativeFormat() const override { return format_; }
    std::optional<QString> inputName() const override;
    void setBufferHandler(BufferHandler handler) override;
    void setConfigurationChangeHandler(ConfigurationChangeHandler handler) override;
    bool start(QString& errorDescription) override;
    void stop() override;
    bool isRunning() const override { return running_; }

    // The server's name of the source this input records, empty when there is none.
    QString sourceName() const { return QString::fromStdString(sourceName_); }
    // Why the input has no usable format; empty when it has one.
    QString failureReason() const { return failureReason_; }

private:
    explicit PulseAudioInput(Options options);

    void connectAndLookUp();
    // Waits (lock held) until `done` holds or the monotonic `deadline` passes.
    bool waitLocked(const std::function<bool()>& done, std::uint64_t deadline);
    // Waits (lock held) for an introspection request to be answered, and gives it up at
    // `deadline`. False when it was not answered in time.
    bool awaitOperation(pa_operation* operation, std::uint64_t deadline);
    std::uint64_t deadlineFromNow() const;
    QString contextError() const;
    void closeStream();
    void drainStream(pa_stream* stream);
    void consume(const std::uint8_t* bytes, std::size_t size);
    void reportChange(const QString& reason);

    static void onContextState(pa_context* context, void* self);
    static void onStreamState(pa_stream* stream, void* self);
    static void onStreamRead(pa_stream* stream, std::size_t bytes, void* self);
    static void onSubscriptionEvent(pa_context* context, pa_subscription_event_type_t type,
                                    std::uint32_t index, void* self);
    static void onInitialServerInfo(pa_context* context, const pa_server_info* info, void* self);
    static void onInitialSourceInfo(pa_context* context, const pa_source_info* info, int eol,
                                    void* self);
    static void onServerCheck(pa_context* context, const pa_server_info* info, void* self);
    static void onSourceCheck(pa_context* context, const pa_source_info* info, int eol, void* self);

    Logger log_{QStringLiteral("audio-input")};
    Options options_;
    PulseAudioMainLoop loop_{"sayloom-capture"};
    pa_context* context_ = nullptr;

    // Written while opening (main thread, or capture thread while the main thread waits), read-only
    // afterwards.
    AudioInputFormat format_;
    std::string sourceName_;
    std::uint32_t sourceIndex_ = PA_INVALID_INDEX;
    pa_sample_spec sourceSpec_{};
    pa_channel_map sourceChannelMap_{};
    QString description_;
    QString failureReason_;
    bool lookUpDone_ = false;
    std::string defaultSourceName_;

    // Guarded by the main loop's lock.
    pa_stream* stream_ = nullptr;
    bool running_ = false;
    bool contextWasReady_ = false;
    bool changed_ = false;
    bool changeDelivered_ = false;
    BufferHandler bufferHandler_;
    ConfigurationChangeHandler changeHandler_;
    // Capture thread: gathers what the server sends into whole buffers of framesPerBuffer frames.
    std::vector<float> staging_;
    std::size_t stagedBytes_ = 0;
};

} // namespace sayloom::linux_desktop
