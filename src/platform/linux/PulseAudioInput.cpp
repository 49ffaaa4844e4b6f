#include "platform/linux/PulseAudioInput.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>
#include <pulse/subscribe.h>

#include <algorithm>
#include <cstring>

namespace sayloom::linux_desktop {

namespace {

QString fromUtf8(const char* text) { return text ? QString::fromUtf8(text) : QString(); }

void forget(pa_operation* operation) {
    if (operation)
        pa_operation_unref(operation);
}

} // namespace

std::unique_ptr<PulseAudioInput> PulseAudioInput::open(Options options) {
    std::unique_ptr<PulseAudioInput> input(new PulseAudioInput(std::move(options)));
    input->connectAndLookUp();
    if (!input->failureReason_.isEmpty())
        input->log_.error("No audio input: %s", input->failureReason_);
    else
        input->log_.debug("Default audio source %s (%s): %uHz %uch",
                          QString::fromStdString(input->sourceName_), input->description_,
                          input->sourceSpec_.rate, input->sourceSpec_.channels);
    return input;
}

PulseAudioInput::PulseAudioInput(Options options) : options_(std::move(options)) {
    options_.framesPerBuffer = std::max<std::size_t>(options_.framesPerBuffer, 1);
}

PulseAudioInput::~PulseAudioInput() {
    if (!loop_.get())
        return;
    {
        PulseAudioMainLoop::Lock lock(loop_);
        // From here on neither handler runs again; taking the lock waited for a call in progress.
        bufferHandler_ = {};
        changeHandler_ = {};
        closeStream();
        if (context_) {
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_set_subscribe_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
        }
    }
    loop_.stop();
    if (context_)
        pa_context_unref(context_);
}

void PulseAudioInput::connectAndLookUp() {
    if (!loop_.get()) {
        failureReason_ = QStringLiteral("cannot create a PulseAudio main loop");
        return;
    }
    context_ = loop_.newContext(options_.applicationName);
    if (!context_) {
        failureReason_ = QStringLiteral("cannot create a PulseAudio context");
        return;
    }
    pa_context_set_state_callback(context_, &PulseAudioInput::onContextState, this);
    pa_context_set_subscribe_callback(context_, &PulseAudioInput::onSubscriptionEvent, this);
    if (!loop_.start()) {
        failureReason_ = QStringLiteral("cannot start the PulseAudio thread");
        return;
    }

    PulseAudioMainLoop::Lock lock(loop_);
    const std::uint64_t deadline = deadlineFromNow();
    const auto timedOut = [this] {
        return QStringLiteral("the sound server did not answer within %1 ms")
            .arg(options_.timeout.count());
    };

    if (!PulseAudioMainLoop::connect(context_, options_.server)) {
        failureReason_ =
            QStringLiteral("cannot connect to the sound server: %1").arg(contextError());
        return;
    }
    const bool settled = waitLocked(
        [this] {
            const pa_context_state_t state = pa_context_get_state(context_);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        },
        deadline);
    if (pa_context_get_state(context_) != PA_CONTEXT_READY) {
        failureReason_ =
            settled ? QStringLiteral("cannot connect to the sound server: %1").arg(contextError())
                    : timedOut();
        return;
    }
    contextWasReady_ = true;

    // Watch before looking up: a change after the look-up's answer then still arrives as an event.
    forget(pa_context_subscribe(context_,
                                static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SERVER |
                                                                    PA_SUBSCRIPTION_MASK_SOURCE),
                                nullptr, nullptr));
    if (!awaitOperation(
            pa_context_get_server_info(context_, &PulseAudioInput::onInitialServerInfo, this),
            deadline)) {
        failureReason_ = timedOut();
        return;
    }
    if (pa_context_get_state(context_) != PA_CONTEXT_READY) {
        failureReason_ =
            QStringLiteral("lost the connection to the sound server: %1").arg(contextError());
        return;
    }
    if (defaultSourceName_.empty()) {
        failureReason_ = QStringLiteral("the sound server has no default audio source");
        return;
    }
    if (!awaitOperation(pa_context_get_source_info_by_name(context_, defaultSourceName_.c_str(),
                                                           &PulseAudioInput::onInitialSourceInfo,
                                                           this),
                        deadline)) {
        failureReason_ = timedOut();
        return;
    }
    if (sourceIndex_ == PA_INVALID_INDEX) {
        failureReason_ = QStringLiteral("the default audio source %1 disappeared")
                             .arg(QString::fromStdString(defaultSourceName_));
        return;
    }
    if (!pa_sample_spec_valid(&sourceSpec_)) {
        failureReason_ = QStringLiteral("the audio source %1 reports no valid format")
                             .arg(QString::fromStdString(sourceName_));
        sourceIndex_ = PA_INVALID_INDEX;
        return;
    }
    if (!pa_channel_map_valid(&sourceChannelMap_) ||
        sourceChannelMap_.channels != sourceSpec_.channels)
        pa_channel_map_init_extend(&sourceChannelMap_, sourceSpec_.channels,
                                   PA_CHANNEL_MAP_DEFAULT);
    format_ = AudioInputFormat{static_cast<int>(sourceSpec_.rate),
                               static_cast<int>(sourceSpec_.channels)};
    // The capture path's only buffer, sized once for the source's channel count.
    staging_.assign(options_.framesPerBuffer * sourceSpec_.channels, 0.0f);
}

std::uint64_t PulseAudioInput::deadlineFromNow() const {
    return PulseAudioMainLoop::deadlineAfter(options_.timeout);
}

bool PulseAudioInput::waitLocked(const std::function<bool()>& done, std::uint64_t deadline) {
    return loop_.waitLocked(context_, done, deadline);
}

bool PulseAudioInput::awaitOperation(pa_operation* operation, std::uint64_t deadline) {
    if (!operation)
        return false;
    const bool answered = waitLocked(
        [operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; },
        deadline);
    if (!answered)
        pa_operation_cancel(operation); // its callback will not run after this
    pa_operation_unref(operation);
    return answered;
}

QString PulseAudioInput::contextError() const {
    return fromUtf8(pa_strerror(pa_context_errno(context_)));
}

std::optional<QString> PulseAudioInput::inputName() const {
    if (!description_.isEmpty())
        return description_;
    if (!sourceName_.empty())
        return QString::fromStdString(sourceName_);
    return std::nullopt;
}

void PulseAudioInput::setBufferHandler(BufferHandler handler) {
    PulseAudioMainLoop::Lock lock(loop_);
    bufferHandler_ = std::move(handler);
}

void PulseAudioInput::setConfigurationChangeHandler(ConfigurationChangeHandler handler) {
    PulseAudioMainLoop::Lock lock(loop_);
    changeHandler_ = std::move(handler);
    // A change that came before anyone listened is still news to the new handler.
    if (changed_ && !changeDelivered_ && changeHandler_) {
        changeDelivered_ = true;
        changeHandler_();
    }
}

bool PulseAudioInput::start(QString& errorDescription) {
    if (!failureReason_.isEmpty() || !loop_.get() || !context_) {
        errorDescription = failureReason_;
        return false;
    }
    PulseAudioMainLoop::Lock lock(loop_);
    if (running_)
        return true;
    if (pa_context_get_state(context_) != PA_CONTEXT_READY) {
        errorDescription =
            QStringLiteral("lost the connection to the sound server: %1").arg(contextError());
        return false;
    }

    const pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32NE, sourceSpec_.rate, sourceSpec_.channels};
    const QByteArray streamName = options_.streamName.toUtf8();
    stream_ = pa_stream_new(context_, streamName.constData(), &sampleFormat, &sourceChannelMap_);
    if (!stream_) {
        errorDescription =
            QStringLiteral("cannot create a recording stream: %1").arg(contextError());
        return false;
    }
    pa_stream_set_state_callback(stream_, &PulseAudioInput::onStreamState, this);
    pa_stream_set_read_callback(stream_, &PulseAudioInput::onStreamRead, this);

    // fragsize with ADJUST_LATENCY asks the source for about one buffer of latency, so that the
    // server sends about framesPerBuffer frames at a time. DONT_MOVE: when the source goes, the
    // stream ends (and we report the change) instead of silently recording another device.
    pa_buffer_attr attributes;
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = static_cast<std::uint32_t>(-1);
    attributes.prebuf = static_cast<std::uint32_t>(-1);
    attributes.minreq = static_cast<std::uint32_t>(-1);
    attributes.fragsize =
        static_cast<std::uint32_t>(options_.framesPerBuffer * pa_frame_size(&sampleFormat));
    stagedBytes_ = 0;
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(stream_, sourceName_.c_str(), &attributes, flags) < 0) {
        errorDescription = QStringLiteral("cannot record from %1: %2")
                               .arg(QString::fromStdString(sourceName_), contextError());
        closeStream();
        return false;
    }
    const bool settled = waitLocked(
        [this] {
            const pa_stream_state_t state = pa_stream_get_state(stream_);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        },
        deadlineFromNow());
    if (pa_stream_get_state(stream_) != PA_STREAM_READY) {
        errorDescription = settled ? QStringLiteral("cannot record from %1: %2")
                                         .arg(QString::fromStdString(sourceName_), contextError())
                                   : QStringLiteral("the sound server did not open the recording "
                                                    "stream within %1 ms")
                                         .arg(options_.timeout.count());
        closeStream();
        return false;
    }
    running_ = true;
    return true;
}

void PulseAudioInput::stop() {
    PulseAudioMainLoop::Lock lock(loop_);
    closeStream();
    running_ = false;
}

void PulseAudioInput::closeStream() {
    stagedBytes_ = 0; // a part-filled buffer belongs to the recording that ends here
    if (!stream_)
        return;
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)))
        pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
}

void PulseAudioInput::drainStream(pa_stream* stream) {
    for (;;) {
        const void* data = nullptr;
        std::size_t size = 0;
        if (pa_stream_peek(stream, &data, &size) < 0 || size == 0)
            return;
        // No data with a size is a hole the server left in the stream: nothing to deliver.
        if (data && stream == stream_)
            consume(static_cast<const std::uint8_t*>(data), size);
        pa_stream_drop(stream);
    }
}

void PulseAudioInput::consume(const std::uint8_t* bytes, std::size_t size) {
    auto* staging = reinterpret_cast<std::uint8_t*>(staging_.data());
    const std::size_t capacity = staging_.size() * sizeof(float);
    while (size > 0) {
        const std::size_t taken = std::min(size, capacity - stagedBytes_);
        std::memcpy(staging + stagedBytes_, bytes, taken);
        stagedBytes_ += taken;
        bytes += taken;
        size -= taken;
        if (stagedBytes_ < capacity)
            return;
        stagedBytes_ = 0;
        if (bufferHandler_)
            bufferHandler_(AudioInputBuffer{staging_.data(), options_.framesPerBuffer,
                                            static_cast<int>(sourceSpec_.channels),
                                            static_cast<int>(sourceSpec_.rate)});
    }
}

void PulseAudioInput::reportChange(const QString& reason) {
    if (changed_)
        return;
    changed_ = true;
    log_.notice("Audio input changed: %s", reason);
    if (changeHandler_) {
        changeDelivered_ = true;
        changeHandler_();
    }
}

void PulseAudioInput::onContextState(pa_context* context, void* self) {
    auto* input = static_cast<PulseAudioInput*>(self);
    input->loop_.signal();
    if (input->contextWasReady_ && !PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        input->reportChange(QStringLiteral("lost the connection to the sound server: %1")
                                .arg(input->contextError()));
}

void PulseAudioInput::onStreamState(pa_stream* stream, void* self) {
    auto* input = static_cast<PulseAudioInput*>(self);
    input->loop_.signal();
    // Before the stream was ready, start() reports the failure itself.
    if (input->running_ && stream == input->stream_ &&
        !PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
        input->reportChange(QStringLiteral("the recording stream of %1 ended")
                                .arg(QString::fromStdString(input->sourceName_)));
}

void PulseAudioInput::onStreamRead(pa_stream* stream, std::size_t, void* self) {
    static_cast<PulseAudioInput*>(self)->drainStream(stream);
}

void PulseAudioInput::onSubscriptionEvent(pa_context* context, pa_subscription_event_type_t type,
                                          std::uint32_t index, void* self) {
    auto* input = static_cast<PulseAudioInput*>(self);
    if (input->sourceIndex_ == PA_INVALID_INDEX || input->changed_)
        return; // no source of ours yet (its look-up answers with the current state), or told
    const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
        forget(pa_context_get_server_info(context, &PulseAudioInput::onServerCheck, input));
    } else if (facility == PA_SUBSCRIPTION_EVENT_SOURCE && index == input->sourceIndex_) {
        if (kind == PA_SUBSCRIPTION_EVENT_REMOVE)
            input->reportChange(QStringLiteral("the audio source %1 was removed")
                                    .arg(QString::fromStdString(input->sourceName_)));
        else if (kind == PA_SUBSCRIPTION_EVENT_CHANGE)
            forget(pa_context_get_source_info_by_index(context, index,
                                                       &PulseAudioInput::onSourceCheck, input));
    }
}

void PulseAudioInput::onInitialServerInfo(pa_context*, const pa_server_info* info, void* self) {
    auto* input = static_cast<PulseAudioInput*>(self);
    if (info && info->default_source_name)
        input->defaultSourceName_ = info->default_source_name;
    input->loop_.signal();
}

void PulseAudioInput::onInitialSourceInfo(pa_context*, const pa_source_info* info, int eol,
                                          void* self) {
    auto* input = static_cast<PulseAudioInput*>(self);
    // Written here on the capture thread, so that events handled before the opening thread wakes
    // up already compare against this source.
    if (eol == 0 && info && info->name) {
        input->sourceName_ = info->name;
        input->sourceIndex_ = info->index;
        input->sourceSpec_ = info->sample_spec;
        input->sourceChannelMap_ = info->channel_map;
        input->description_ = fromUtf8(info->description);
    }
    input->loop_.signal();
}

void PulseAudioInput::onServerCheck(pa_context*, const pa_server_info* info, void* self) {
    auto* input = static_cast<PulseAudioInput*>(self);
    if (!info)
        return;
    const std::string current = info->default_source_name ? info->default_source_name : "";
    if (current != input->sourceName_)
        input->reportChange(
            QStringLiteral("the default audio source is now %1")
                .arg(current.empty() ? QStringLiteral("none") : QString::fromStdString(current)));
}

void PulseAudioInput::onSourceCheck(pa_context*, const pa_source_info* info, int eol, void* self) {
    auto* input = static_cast<PulseAudioInput*>(self);
    if (eol != 0 || !info)
        return;
    if (info->sample_spec.rate != input->sourceSpec_.rate ||
        info->sample_spec.channels != input->sourceSpec_.channels)
        input->reportChange(QStringLiteral("the audio source %1 now delivers %2 Hz, %3 channels")
                                .arg(QString::fromStdString(input->sourceName_))
                                .arg(info->sample_spec.rate)
                                .arg(info->sample_spec.channels));
}

} // namespace sayloom::linux_desktop
