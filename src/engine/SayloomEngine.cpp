#include "engine/SayloomEngine.h"

#include "engine/TranscriberError.h"
#include "settings/AppSettings.h"
#include "support/PlatformText.h"
#include "support/TextMetrics.h"
#include "support/URLError.h"
#include "support/URLSession.h"

#include <QPointer>

using namespace std::chrono_literals;

namespace sayloom {

namespace {

constexpr float kSilenceRMS = 0.002f;
constexpr double kMinimumSeconds = 0.5;
constexpr double kSampleRate = 16000.0;
constexpr auto kWarmupSpacing = 30s;
constexpr auto kErrorDisplay = 5s;
constexpr auto kWarmupTimeout = 5s;

} // namespace

SayloomEngine::SayloomEngine(Collaborators collaborators, QObject* parent)
    : QObject(parent)
    , c_(std::move(collaborators)) {
    installHotkeyBindings();

    checkPermissions();
    startPermissionPoll(kFastPollInterval);
    registerWakeObserver();
    // The rest of start-up runs from the event loop, once construction is over.
    startupTimer_ = c_.scheduler.scheduleOnce(Duration::zero(), [this] { runStartup(); });
}

SayloomEngine::~SayloomEngine() = default;

// MARK: published properties

void SayloomEngine::setState(EngineState state) {
    state_ = std::move(state);
    Q_EMIT stateChanged(state_);

    // The hotkey monitor needs to know whether a recording or a transcription is active;
    // it hears about changes only.
    const bool recording = state_.is(EngineState::Kind::recording);
    if (recording != lastRecordingActive_) {
        lastRecordingActive_ = recording;
        c_.hotkeys.setRecordingActive(recording);
    }
    const bool transcribing = state_.is(EngineState::Kind::transcribing);
    if (transcribing != lastTranscribingActive_) {
        lastTranscribingActive_ = transcribing;
        c_.hotkeys.setTranscribingActive(transcribing);
    }

    // Back at idle, nothing of the last recording is on show any more.
    if (state_.is(EngineState::Kind::idle)) {
        setActiveTranslationTarget(std::nullopt);
        setRecordingNotice(std::nullopt);
    }
}

void SayloomEngine::setLastTranscription(QString text) {
    lastTranscription_ = std::move(text);
    Q_EMIT lastTranscriptionChanged(lastTranscription_);
}

void SayloomEngine::setTranscriptionSequence(qint64 sequence) {
    transcriptionSequence_ = sequence;
    Q_EMIT transcriptionSequenceChanged(sequence);
}

void SayloomEngine::setAccessibilityNeeded(bool needed) {
    accessibilityNeeded_ = needed;
    Q_EMIT accessibilityNeededChanged(needed);
}

void SayloomEngine::setUsageStatus(UsageStatus status) {
    usageStatus_ = status;
    Q_EMIT usageStatusChanged(status);
}

void SayloomEngine::setAccessibilityGranted(bool granted) {
    isAccessibilityGranted_ = granted;
    Q_EMIT accessibilityGrantedChanged(granted);
}

void SayloomEngine::setMicrophoneGranted(bool granted) {
    isMicrophoneGranted_ = granted;
    Q_EMIT microphoneGrantedChanged(granted);
}

void SayloomEngine::setActiveTranslationTarget(std::optional<QString> target) {
    activeTranslationTarget_ = std::move(target);
    Q_EMIT activeTranslationTargetChanged(activeTranslationTarget_);
}

void SayloomEngine::setRecordingNotice(std::optional<QString> notice) {
    recordingNotice_ = std::move(notice);
    Q_EMIT recordingNoticeChanged(recordingNotice_);
}

// MARK: hotkey bindings

void SayloomEngine::installHotkeyBindings() {
    lastRecordingActive_ = false;
    lastTranscribingActive_ = false;
    c_.hotkeys.setRecordingActive(false);
    c_.hotkeys.setTranscribingActive(false);
    lastHotkeyHeld_ = c_.hotkeys.isHotkeyHeld();

    connect(&c_.hotkeys, &DictationHotkeys::hotkeyHeldChanged, this, [this](bool held) {
        if (held == lastHotkeyHeld_)
            return;
        lastHotkeyHeld_ = held;
        handleHotkeyHeldChange(held);
    });
    connect(&c_.hotkeys, &DictationHotkeys::unlockRequested, this, [this] { handleUnlock(); });
    connect(&c_.hotkeys, &DictationHotkeys::cancelRequested, this, [this] { cancelDictation(); });
}

QCoro::Task<void> SayloomEngine::handleHotkeyHeldChange(bool held) {
    if (held) {
        translateCurrentRecording_ = c_.hotkeys.activeIsTranslate();
        setActiveTranslationTarget(translateCurrentRecording_ ? c_.settings.translationTargetName()
                                                              : std::nullopt);
        startRecording();
        co_return;
    }
    if (state_.is(EngineState::Kind::recording) && !c_.hotkeys.isLocked())
        co_await stopRecordingAndTranscribe();
}

QCoro::Task<void> SayloomEngine::handleUnlock() {
    if (state_.is(EngineState::Kind::recording))
        co_await stopRecordingAndTranscribe();
}

// MARK: permissions

void SayloomEngine::checkPermissions() {
    const bool wasAccessibilityGranted = isAccessibilityGranted_;
    setAccessibilityGranted(c_.permissions.isAccessibilityTrusted());
    setMicrophoneGranted(c_.permissions.isMicrophoneAuthorized());
    if (isAccessibilityGranted_)
        setAccessibilityNeeded(false);

    if (!wasAccessibilityGranted && isAccessibilityGranted_) {
        log_.info("Accessibility just granted - restarting hotkey monitor");
        c_.hotkeys.setEventTapFailed(false);
        start();
    }
    if (isAccessibilityGranted_ && isMicrophoneGranted_) {
        if (permissionPollingState_ == PermissionPollingState::slow)
            return;
        permissionPollingState_ = PermissionPollingState::slow;
        startPermissionPoll(kSlowPollInterval);
        log_.info("All permissions granted - reduced polling to %lds", kSlowPollInterval.count());
    } else {
        if (permissionPollingState_ == PermissionPollingState::fast)
            return;
        permissionPollingState_ = PermissionPollingState::fast;
        startPermissionPoll(kFastPollInterval);
        log_.error("Permission revoked - resumed fast polling");
    }
}

// MARK: start-up and shut-down

QCoro::Task<void> SayloomEngine::runStartup() {
    QPointer<SayloomEngine> self(this);
    // The application stopped the engine before its start-up came round (nobody is signed in):
    // that decision stands.
    if (!stoppedBeforeStartup_)
        start();
    requestMicrophone();
    if (!c_.account)
        co_return;
    EngineAccount& account = *c_.account;
    co_await account.waitUntilRestored();
    if (!self || !account.isLoggedIn())
        co_return; // nobody signed in: no token, no warm-up, no warm-up timer
    try {
        (void)co_await account.getIdToken();
    } catch (const std::exception& error) {
        if (self)
            self->log_.error("Initial token fetch failed: %s", localizedDescription(error));
    }
    if (!self)
        co_return;
    account.startRefreshTimer();
    if (c_.session && c_.warmupURL.isValid())
        co_await prewarm(*c_.session, c_.warmupURL);
    if (self)
        self->startWarmupTimer();
}

void SayloomEngine::start() {
    startPermissionPoll(kFastPollInterval);
    permissionPollingState_ = PermissionPollingState::fast;
    registerWakeObserver();
    checkPermissions();
    c_.hotkeys.start();
    if (c_.hotkeys.eventTapFailed()) {
        if (!c_.settings.hasCompletedOnboarding()) {
            log_.info("Accessibility not granted yet - onboarding will handle it");
        } else {
            // Stays until the next dictation or another change of state; no timer clears it.
            setState(EngineState::error(platformText(PlatformTextKey::enableAccessibilityError)));
            log_.error("Event tap failed - accessibility not granted for this binary");
        }
    } else {
        log_.info("Engine started");
    }
}

void SayloomEngine::stop() {
    if (startupTimer_.isActive())
        stoppedBeforeStartup_ = true;
    permissionTimer_.cancel();
    warmupTimer_.cancel();
    removeWakeObserver();
    c_.hotkeys.stop();
    if (c_.recorder.isRecording())
        (void)c_.recorder.stop();
    log_.info("Engine stopped");
}

void SayloomEngine::startPermissionPoll(std::chrono::seconds interval) {
    QPointer<SayloomEngine> self(this);
    permissionTimer_ = c_.scheduler.scheduleRepeating(interval, [self] {
        if (self)
            self->checkPermissions();
    });
}

void SayloomEngine::startWarmupTimer() {
    QPointer<SayloomEngine> self(this);
    warmupTimer_ = c_.scheduler.scheduleRepeating(kWarmupInterval, [self] {
        if (self && self->isSignedIn())
            self->startWarmup();
    });
}

void SayloomEngine::requestMicrophone() {
    // There is no permission to ask for: a capture source is either there or not. The next poll
    // sees one that appears.
    if (!c_.permissions.isMicrophoneAuthorized())
        log_.error("Microphone permission denied - open System Settings > Privacy > Microphone");
}

bool SayloomEngine::isSignedIn() const { return c_.account && c_.account->isLoggedIn(); }

// MARK: waking from sleep

void SayloomEngine::registerWakeObserver() {
    removeWakeObserver();
    if (c_.wake)
        wakeObserver_ = connect(c_.wake, &WakeSource::didWake, this, [this] { handleWake(); });
}

void SayloomEngine::removeWakeObserver() {
    if (wakeObserver_)
        disconnect(wakeObserver_);
    wakeObserver_ = {};
}

QCoro::Task<void> SayloomEngine::handleWake() {
    log_.info("System woke from sleep - refreshing credentials + warming API");
    QPointer<SayloomEngine> self(this);
    if (isSignedIn()) {
        try {
            (void)co_await c_.account->getIdToken();
        } catch (const std::exception& error) {
            if (self)
                self->log_.error("Post-wake token refresh failed: %s", localizedDescription(error));
        }
    }
    if (self && c_.session && c_.warmupURL.isValid())
        co_await prewarm(*c_.session, c_.warmupURL);
}

// MARK: one dictation

void SayloomEngine::startRecording() {
    if (state_.is(EngineState::Kind::recording) || state_.is(EngineState::Kind::transcribing))
        return;

    checkPermissions();
    if (!isMicrophoneGranted_ || !isAccessibilityGranted_) {
        log_.error("Missing permissions - showing popup");
        if (c_.shell)
            c_.shell->showPermissionsPopup(isMicrophoneGranted_, isAccessibilityGranted_);
        return;
    }

    // Warm the connection up while the user speaks, at most once per 30 seconds.
    const WallInstant now = c_.scheduler.wallNow();
    if (!lastWarmupTime_ || now - *lastWarmupTime_ > kWarmupSpacing) {
        lastWarmupTime_ = now;
        startWarmup();
    }

    prepareTranscriber();

    QPointer<SayloomEngine> self(this);
    c_.recorder.setOnAudioInterrupted([self] {
        if (self)
            self->onAudioInterrupted();
    });
    c_.recorder.setOnDurationWarning([self](const QString& text) {
        if (self)
            self->onDurationWarning(text);
    });
    c_.recorder.setOnDurationLimitReached([self](const QString& text) {
        if (self)
            self->onDurationLimitReached(text);
    });

    setState(EngineState::recording());
    setRecordingNotice(std::nullopt);

    c_.recorder.start();
    if (!c_.recorder.isRecording()) {
        setState(EngineState::idle());
        log_.error("AudioRecorder failed to start; rolled back to idle");
    } else {
        log_.info("Recording started");
    }
}

QCoro::Task<void> SayloomEngine::prepareTranscriber() {
    QPointer<SayloomEngine> self(this);
    Logger log = log_;
    try {
        co_await c_.transcriber.prepare();
    } catch (const std::exception& error) {
        log.debug("Transcription preparation did not complete: %s", localizedDescription(error));
    }
}

void SayloomEngine::startWarmup() {
    if (c_.session && c_.warmupURL.isValid())
        prewarm(*c_.session, c_.warmupURL);
}

QCoro::Task<void> SayloomEngine::stopRecordingAndTranscribe() {
    const MonotonicInstant releaseInstant = c_.scheduler.monotonicNow();
    c_.hotkeys.setLocked(false);
    std::vector<float> samples = c_.recorder.stop();
    const float rms = c_.recorder.lastRecordingRMS();

    if (rms <= kSilenceRMS) {
        log_.info("No speech detected RMS=%s — silently returning to idle",
                  QString::asprintf("%.4f", static_cast<double>(rms)));
        setState(EngineState::idle());
        co_return;
    }
    const double seconds = static_cast<double>(samples.size()) / kSampleRate;
    if (seconds <= kMinimumSeconds) {
        log_.info("Recording too short (%ss) — silently returning to idle",
                  QString::asprintf("%.2f", seconds));
        setState(EngineState::idle());
        co_return;
    }

    setState(EngineState::transcribing());
    log_.info("Transcribing…");
    const std::uint64_t generation = ++transcriptionGeneration_;
    // The target is read at release: a change of settings while recording applies.
    std::optional<QString> target =
        translateCurrentRecording_ ? c_.settings.translationTargetName() : std::nullopt;

    QPointer<SayloomEngine> self(this);
    std::optional<TranscribeResult> result;
    std::exception_ptr error;
    try {
        result = co_await c_.transcriber.transcribe(std::move(samples), std::move(target));
    } catch (...) {
        error = std::current_exception();
    }
    if (!self)
        co_return;
    if (result)
        handleTranscriptionResult(*result, generation, releaseInstant);
    else
        co_await handleTranscriptionError(error, generation);
}

void SayloomEngine::handleTranscriptionResult(const TranscribeResult& result,
                                              std::uint64_t generation,
                                              MonotonicInstant releaseInstant) {
    if (transcriptionGeneration_ != generation) {
        log_.info("Discarding a transcription the user cancelled");
        return;
    }
    const QString text = result.text.trimmed();
    setUsageStatus(result.status);
    if (result.wordsUsed && c_.usage) {
        c_.usage->setWordsUsed(*result.wordsUsed);
        if (result.wordLimit)
            c_.usage->setWordLimit(*result.wordLimit);
    }
    log_.debug("[Engine] Transcription result length=%ld status=%ld", characterCount(text),
               rawValue(result.status));

    if (text.isEmpty()) {
        log_.info("API returned empty transcription — silently returning to idle");
        setState(EngineState::idle());
        return;
    }

    setLastTranscription(text);
    setTranscriptionSequence(transcriptionSequence_ + 1);
    if (result.translationError)
        log_.error("Translation requested but not produced: %{public}s", *result.translationError);
    log_.debug("[Engine] Transcription accepted");

    const QString finalText =
        c_.postProcessor
            ? c_.postProcessor->process(text, translateCurrentRecording_, result.translationError)
            : text;
    const bool inserted = c_.inserter.inject(finalText);
    setAccessibilityNeeded(!inserted);

    const Duration elapsed = c_.scheduler.monotonicNow() - releaseInstant;
    log_.info("Transcription completed request=%{public}s releaseToInsertion=%{public}s "
              "server=%{public}s inserted=%{bool}d",
              result.requestID.value_or(QStringLiteral("unknown")), durationText(elapsed),
              result.serverTiming.value_or(QStringLiteral("unavailable")), inserted);
    if (!inserted)
        log_.error(
            "Accessibility not granted - Cmd+V may be silently dropped. Text is on clipboard.");
    setState(EngineState::idle());
}

void SayloomEngine::transcriptLeftOnClipboard() {
    log_.error("No application took the paste - the transcript is on the clipboard");
    setAccessibilityNeeded(true);
    showClipboardNotice(platformText(PlatformTextKey::copiedPressToPaste));
}

void SayloomEngine::keysRefusedByDesktop() {
    log_.error("The desktop refused remote control - the transcript is on the clipboard");
    showClipboardNotice(platformText(PlatformTextKey::remoteControlRefused));
}

void SayloomEngine::showClipboardNotice(const QString& notice) {
    setRecordingNotice(notice);
    clipboardNoticeTimer_ = c_.scheduler.scheduleOnce(kClipboardNoticeDisplay, [this, notice] {
        // A recording started since has a notice of its own, or none.
        if (recordingNotice_ == notice)
            setRecordingNotice(std::nullopt);
    });
}

QCoro::Task<void> SayloomEngine::handleTranscriptionError(std::exception_ptr error,
                                                          std::uint64_t generation) {
    bool hardLimit = false;
    try {
        std::rethrow_exception(error);
    } catch (const TranscriberError& e) {
        hardLimit = e.kind() == TranscriberError::Kind::hardLimitReached;
    } catch (...) {
    }

    if (hardLimit) {
        if (transcriptionGeneration_ == generation) {
            log_.error("Hard word limit reached");
            setUsageStatus(UsageStatus::hard);
            setState(EngineState::idle());
            if (c_.shell)
                c_.shell->showLimitReached();
        }
        co_return;
    }
    if (transcriptionGeneration_ != generation)
        co_return;

    const QString description = localizedDescription(error);
    const QString lowered = description.toLower();
    if (lowered.contains(QLatin1String("no speech")) ||
        lowered.contains(QLatin1String("too short")) ||
        lowered.contains(QLatin1String("recording too short"))) {
        log_.info("%s — silently returning to idle", description);
        setState(EngineState::idle());
        co_return;
    }

    log_.error("Transcription error: %s", description);
    setState(EngineState::error(userMessage(error)));

    QPointer<SayloomEngine> self(this);
    co_await c_.scheduler.sleep(kErrorDisplay);
    // Any error still on show goes, whichever dictation set it; a dictation started meanwhile
    // keeps its state.
    if (self && self->state_.is(EngineState::Kind::error))
        self->setState(EngineState::idle());
}

void SayloomEngine::cancelDictation() {
    if (state_.is(EngineState::Kind::transcribing)) {
        // The request runs on; its outcome is dropped when it arrives.
        ++transcriptionGeneration_;
        setState(EngineState::idle());
        log_.info("Transcription cancelled by user");
    } else if (state_.is(EngineState::Kind::recording)) {
        (void)c_.recorder.stop();
        setState(EngineState::idle());
        log_.info("Recording cancelled by user");
    }
}

// MARK: recorder callbacks

void SayloomEngine::onAudioInterrupted() {
    if (!state_.is(EngineState::Kind::recording))
        return;
    log_.error("Audio interrupted - discarding recording");
    (void)c_.recorder.stop();
    setState(EngineState::idle());
}

void SayloomEngine::onDurationWarning(const QString& text) {
    if (state_.is(EngineState::Kind::recording))
        setRecordingNotice(text);
}

void SayloomEngine::onDurationLimitReached(const QString& text) {
    if (!state_.is(EngineState::Kind::recording))
        return;
    setRecordingNotice(text);
    stopRecordingAndTranscribe();
}

// MARK: messages and warm-up

QString SayloomEngine::userMessage(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const URLError& e) {
        switch (e.code()) {
        case URLError::notConnectedToInternet:
        case URLError::networkConnectionLost:
            return QStringLiteral("No internet connection");
        case URLError::timedOut:
            return QStringLiteral("The server took too long to respond");
        case URLError::cannotFindHost:
        case URLError::cannotConnectToHost:
        case URLError::dnsLookupFailed:
            return QStringLiteral("Can't reach Sayloom right now");
        case URLError::userAuthenticationRequired:
            return QStringLiteral("Please sign in again");
        default:
            return QStringLiteral("Network problem – please try again");
        }
    } catch (const TranscriberError& e) {
        switch (e.kind()) {
        case TranscriberError::Kind::transcriptionFailed:
            return QStringLiteral("Transcription failed – please try again");
        case TranscriberError::Kind::hardLimitReached:
            return QStringLiteral("Weekly limit reached");
        default:
            break;
        }
    } catch (...) {
    }
    return QStringLiteral("Something went wrong – please try again");
}

URLRequest SayloomEngine::warmupRequest(QUrl warmupURL) {
    URLRequest request;
    request.url = std::move(warmupURL);
    request.httpMethod = "POST";
    request.setValue("0", "Content-Length");
    request.setValue("application/json", "Content-Type");
    request.timeoutInterval = kWarmupTimeout;
    return request;
}

QCoro::Task<void> SayloomEngine::prewarm(URLSessionProtocol& session, QUrl warmupURL) {
    try {
        // Any answer, whatever its status, means the connection is warm.
        (void)co_await session.data(warmupRequest(std::move(warmupURL)));
    } catch (const std::exception& error) {
        Logger(QStringLiteral("engine"))
            .info("Prewarm API failed (non-fatal): %{public}s", localizedDescription(error));
    }
}

} // namespace sayloom
