#pragma once

#include "engine/DictationHotkeys.h"
#include "engine/DictationRecorder.h"
#include "engine/EnginePorts.h"
#include "engine/EngineState.h"
#include "engine/Transcriber.h"
#include "engine/UsageStatus.h"
#include "support/Logger.h"
#include "support/Scheduler.h"
#include "support/URLSession.h"

#include <QObject>
#include <QUrl>

#include <chrono>
#include <cstdint>
#include <exception>
#include <optional>

namespace sayloom {

class AppSettings;

// The spine of dictation: turns a held hotkey into inserted text. It records while the hotkey is
// held, drops silent or too-short recordings quietly, sends the samples to the transcriber, and
// hands the post-processed transcript to the inserter. Failures show a short message for five
// seconds. Main thread only.
class SayloomEngine final : public QObject {
    Q_OBJECT
    Q_PROPERTY(sayloom::EngineState state READ state NOTIFY stateChanged)
    Q_PROPERTY(QString lastTranscription READ lastTranscription NOTIFY lastTranscriptionChanged)
    Q_PROPERTY(
        qint64 transcriptionSequence READ transcriptionSequence NOTIFY transcriptionSequenceChanged)
    Q_PROPERTY(bool accessibilityNeeded READ accessibilityNeeded NOTIFY accessibilityNeededChanged)
    Q_PROPERTY(
        bool isAccessibilityGranted READ isAccessibilityGranted NOTIFY accessibilityGrantedChanged)
    Q_PROPERTY(bool isMicrophoneGranted READ isMicrophoneGranted NOTIFY microphoneGrantedChanged)

public:
    // Everything the engine works with. All references must outlive the engine; the optional
    // pointers may be null (the engine then skips what they serve).
    struct Collaborators {
        Transcriber& transcriber;
        AppSettings& settings;
        Scheduler& scheduler;
        DictationHotkeys& hotkeys;
        DictationRecorder& recorder;
        TranscriptInserter& inserter;
        PermissionProbe& permissions;
        EngineShell* shell = nullptr;
        WordUsageSink* usage = nullptr;
        TranscriptPostProcessor* postProcessor = nullptr;
        // Warm-up requests go through this session to this address.
        URLSessionProtocol* session = nullptr;
        QUrl warmupURL;
        // The signed-in account (token at start-up and after waking) and the wake signal.
        EngineAccount* account = nullptr;
        WakeSource* wake = nullptr;
    };

    enum class PermissionPollingState { fast, slow };
    static constexpr std::chrono::seconds kFastPollInterval{2};
    static constexpr std::chrono::seconds kSlowPollInterval{30};
    static constexpr std::chrono::seconds kWarmupInterval{60};

    explicit SayloomEngine(Collaborators collaborators, QObject* parent = nullptr);
    ~SayloomEngine() override;

    EngineState state() const { return state_; }
    const QString& lastTranscription() const { return lastTranscription_; }
    qint64 transcriptionSequence() const { return transcriptionSequence_; }
    bool accessibilityNeeded() const { return accessibilityNeeded_; }
    UsageStatus usageStatus() const { return usageStatus_; }
    bool isAccessibilityGranted() const { return isAccessibilityGranted_; }
    bool isMicrophoneGranted() const { return isMicrophoneGranted_; }
    const std::optional<QString>& activeTranslationTarget() const {
        return activeTranslationTarget_;
    }
    // The short notice the pill shows: a recording's time warnings while recording, or for a
    // few seconds after a dictation that its transcript waits on the clipboard.
    const std::optional<QString>& recordingNotice() const { return recordingNotice_; }

    // Refreshes the two permission flags; restarts the key monitor when Accessibility has just
    // been granted, and polls faster while a permission is missing.
    void checkPermissions();

    // (Re)starts the background machinery: permission poll, wake handling, key monitor.
    void start();
    // Stops it; a recording in progress is discarded. The state is left as it is.
    void stop();

    PermissionPollingState permissionPollingState() const { return permissionPollingState_; }

    // One warm-up request to the service (no credentials); failures are logged, never thrown.
    static QCoro::Task<void> prewarm(URLSessionProtocol& session, QUrl warmupURL);
    // The warm-up request itself: an empty POST with a short time-out.
    static URLRequest warmupRequest(QUrl warmupURL);

    // The one short sentence a user sees for a failed transcription.
    static QString userMessage(const std::exception_ptr& error);

    // The inserter found after the fact that the last transcript went nowhere and left it on the
    // clipboard (no application took its paste). Says so as when it could only be left on the
    // clipboard, and tells the user on the pill how to paste it.
    void transcriptLeftOnClipboard();
    // The desktop refused to let Sayloom press keys (the user did not allow remote control): the
    // transcript is on the clipboard, and the pill says why and how to paste it.
    void keysRefusedByDesktop();
    static constexpr std::chrono::seconds kClipboardNoticeDisplay{5};

Q_SIGNALS:
    // Each fires on every assignment of its property, also when the value does not change.
    void stateChanged(const sayloom::EngineState& state);
    void lastTranscriptionChanged(const QString& text);
    void transcriptionSequenceChanged(qint64 sequence);
    void accessibilityNeededChanged(bool needed);
    void usageStatusChanged(sayloom::UsageStatus status);
    void accessibilityGrantedChanged(bool granted);
    void microphoneGrantedChanged(bool granted);
    void activeTranslationTargetChanged(const std::optional<QString>& target);
    void recordingNoticeChanged(const std::optional<QString>& notice);

private:
    void setState(EngineState state);
    void setLastTranscription(QString text);
    void setTranscriptionSequence(qint64 sequence);
    void setAccessibilityNeeded(bool needed);
    void setUsageStatus(UsageStatus status);
    void setAccessibilityGranted(bool granted);
    void setMicrophoneGranted(bool granted);
    void setActiveTranslationTarget(std::optional<QString> target);
    void setRecordingNotice(std::optional<QString> notice);

    void installHotkeyBindings();
    QCoro::Task<void> handleHotkeyHeldChange(bool held);
    void startRecording();
    QCoro::Task<void> stopRecordingAndTranscribe();
    QCoro::Task<void> handleUnlock();
    void cancelDictation();
    void handleTranscriptionResult(const TranscribeResult& result, std::uint64_t generation,
                                   MonotonicInstant releaseInstant);
    QCoro::Task<void> handleTranscriptionError(std::exception_ptr error, std::uint64_t generation);
    QCoro::Task<void> prepareTranscriber();
    void startWarmup();

    QCoro::Task<void> runStartup();
    void startPermissionPoll(std::chrono::seconds interval);
    void startWarmupTimer();
    void registerWakeObserver();
    void removeWakeObserver();
    QCoro::Task<void> handleWake();
    void requestMicrophone();
    bool isSignedIn() const;

    void onAudioInterrupted();
    void onDurationWarning(const QString& text);
    void onDurationLimitReached(const QString& text);

    Collaborators c_;
    Logger log_{QStringLiteral("engine")};

    EngineState state_ = EngineState::idle();
    QString lastTranscription_;
    qint64 transcriptionSequence_ = 0;
    bool accessibilityNeeded_ = false;
    UsageStatus usageStatus_ = UsageStatus::ok;
    bool isAccessibilityGranted_ = false;
    bool isMicrophoneGranted_ = false;
    std::optional<QString> activeTranslationTarget_;
    std::optional<QString> recordingNotice_;
    Timer clipboardNoticeTimer_;
    // Shows `notice` on the pill for kClipboardNoticeDisplay.
    void showClipboardNotice(const QString& notice);

    Timer startupTimer_;
    bool stoppedBeforeStartup_ = false;
    Timer permissionTimer_;
    Timer warmupTimer_;
    QMetaObject::Connection wakeObserver_;
    PermissionPollingState permissionPollingState_ = PermissionPollingState::fast;

    std::optional<WallInstant> lastWarmupTime_;
    bool translateCurrentRecording_ = false;
    // Incremented when a transcription starts and when one is cancelled; a result is used only
    // while the counter still has the value its transcription started with.
    std::uint64_t transcriptionGeneration_ = 0;

    // Last values passed through the de-duplicating hotkey bindings.
    bool lastRecordingActive_ = false;
    bool lastTranscribingActive_ = false;
    bool lastHotkeyHeld_ = false;
};

} // namespace sayloom
