#pragma once

#include "engine/DictationHotkeys.h"
#include "engine/DictationRecorder.h"
#include "engine/EnginePorts.h"

#include <QStringList>

#include <vector>

namespace sayloom::testing {

// The hotkey monitor's surface, driven by the test: press(), release(), unlock(), cancel().
class FakeHotkeys final : public DictationHotkeys {
    Q_OBJECT
public:
    bool isHotkeyHeld() const override { return held_; }
    bool activeIsTranslate() const override { return translate_; }
    bool isLocked() const override { return locked_; }
    void setLocked(bool locked) override { locked_ = locked; }
    void setRecordingActive(bool active) override { recordingActive.push_back(active); }
    void setTranscribingActive(bool active) override { transcribingActive.push_back(active); }
    void start() override {
        ++startCount;
        setEventTapFailed(!installable);
    }
    void stop() override { ++stopCount; }
    bool eventTapFailed() const override { return eventTapFailed_; }
    void setEventTapFailed(bool failed) override {
        eventTapFailed_ = failed;
        Q_EMIT eventTapFailedChanged(failed);
    }

    void press(bool translate = false) {
        translate_ = translate;
        held_ = true;
        Q_EMIT hotkeyHeldChanged(true);
    }
    void release() {
        held_ = false;
        Q_EMIT hotkeyHeldChanged(false);
    }
    void lock() { locked_ = true; }
    void unlock() {
        locked_ = false;
        Q_EMIT unlockRequested();
    }
    void cancel() { Q_EMIT cancelRequested(); }

    // Every value the engine wrote, in order.
    std::vector<bool> recordingActive;
    std::vector<bool> transcribingActive;
    // Whether start() can install the monitor (an X11 session) or not (Wayland, no XInput2).
    bool installable = true;
    int startCount = 0;
    int stopCount = 0;

private:
    bool eventTapFailed_ = false;
    bool held_ = false;
    bool translate_ = false;
    bool locked_ = false;
};

// A recorder that returns the samples the test gave it.
class FakeRecorder final : public DictationRecorder {
public:
    void start() override {
        ++startCount;
        recording_ = startSucceeds;
    }
    bool isRecording() const override { return recording_; }
    std::vector<float> stop() override {
        ++stopCount;
        recording_ = false;
        lastRMS_ = nextRMS;
        return nextSamples;
    }
    float lastRecordingRMS() const override { return lastRMS_; }
    void setOnAudioInterrupted(std::function<void()> callback) override {
        onInterrupted = std::move(callback);
    }
    void setOnDurationWarning(std::function<void(const QString&)> callback) override {
        onWarning = std::move(callback);
    }
    void setOnDurationLimitReached(std::function<void(const QString&)> callback) override {
        onLimit = std::move(callback);
    }

    // The next recording: `count` samples with the given RMS.
    void willRecord(std::size_t count, float rms = 0.1f) {
        nextSamples.assign(count, 0.1f);
        nextRMS = rms;
    }

    bool startSucceeds = true;
    std::vector<float> nextSamples = std::vector<float>(32000, 0.1f);
    float nextRMS = 0.1f;
    int startCount = 0;
    int stopCount = 0;
    std::function<void()> onInterrupted;
    std::function<void(const QString&)> onWarning;
    std::function<void(const QString&)> onLimit;

private:
    bool recording_ = false;
    float lastRMS_ = 0;
};

class FakeInserter final : public TranscriptInserter {
public:
    bool inject(const QString& text) override {
        injected << text;
        return result;
    }
    QStringList injected;
    bool result = true;
};

class FakePermissions final : public PermissionProbe {
public:
    bool isAccessibilityTrusted() override { return accessibility; }
    bool isMicrophoneAuthorized() override { return microphone; }
    bool accessibility = true;
    bool microphone = true;
};

class FakeShell final : public EngineShell {
public:
    struct Popup {
        bool microphone;
        bool accessibility;
    };
    void showPermissionsPopup(bool microphoneGranted, bool accessibilityGranted) override {
        permissionPopups.push_back({microphoneGranted, accessibilityGranted});
    }
    void showLimitReached() override { ++limitWindows; }
    std::vector<Popup> permissionPopups;
    int limitWindows = 0;
};

class FakeWordUsage final : public WordUsageSink {
public:
    void setWordsUsed(std::int64_t value) override { wordsUsed = value; }
    void setWordLimit(std::int64_t value) override { wordLimit = value; }
    std::optional<std::int64_t> wordsUsed;
    std::optional<std::int64_t> wordLimit;
};

// The signed-in account: restored at once, a token on request (or an error), refresh timer counted.
class FakeAccount final : public EngineAccount {
public:
    QCoro::Task<void> waitUntilRestored() override { co_return; }
    bool isLoggedIn() const override { return loggedIn; }
    QCoro::Task<QString> getIdToken() override {
        ++tokenRequests;
        if (tokenError)
            std::rethrow_exception(tokenError);
        co_return QStringLiteral("token");
    }
    void startRefreshTimer() override { ++refreshTimerStarts; }

    bool loggedIn = true;
    std::exception_ptr tokenError;
    int tokenRequests = 0;
    int refreshTimerStarts = 0;
};

class FakeWake final : public WakeSource {
    Q_OBJECT
public:
    void wake() { Q_EMIT didWake(); }
};

} // namespace sayloom::testing
