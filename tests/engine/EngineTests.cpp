#include "EngineFakes.h"
#include "FakeTranscriber.h"
#include "FakeURLSession.h"
#include "LogCapture.h"
#include "MemoryKeyValueStore.h"
#include "VirtualScheduler.h"

#include "engine/SayloomEngine.h"
#include "engine/TranscriberError.h"
#include "settings/AppSettings.h"
#include "support/PlatformText.h"
#include "support/URLError.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace std::chrono_literals;
using namespace sayloom;
using namespace sayloom::testing;

namespace {

const QString kEngine = QStringLiteral("engine");

TranscribeResult resultWithText(const QString& text) {
    TranscribeResult result;
    result.text = text;
    return result;
}

class EngineTest : public ::testing::Test {
protected:
    EngineTest()
        : settings(store)
        , engine(SayloomEngine::Collaborators{
              transcriber, settings, scheduler, hotkeys, recorder, inserter, permissions, &shell,
              &usage, nullptr, &session, QUrl(QStringLiteral("https://api.test/v1/warmup"))}) {
        QObject::connect(&engine, &SayloomEngine::stateChanged,
                         [this](const EngineState& state) { states.push_back(state); });
    }

    ~EngineTest() override {
        // Let pending error displays run out so that no dictation is left suspended.
        scheduler.advance(1min);
    }

    // Holds the hotkey, records `samples` samples and releases: the engine is then transcribing.
    void dictate(std::size_t samples = 32000, bool translate = false) {
        recorder.willRecord(samples);
        hotkeys.press(translate);
        hotkeys.release();
    }

    LogCapture logs;
    VirtualScheduler scheduler;
    MemoryKeyValueStore store;
    AppSettings settings;
    FakeTranscriber transcriber;
    FakeHotkeys hotkeys;
    FakeRecorder recorder;
    FakeInserter inserter;
    FakePermissions permissions;
    FakeShell shell;
    FakeWordUsage usage;
    FakeURLSession session;
    SayloomEngine engine;
    std::vector<EngineState> states;
};

TEST_F(EngineTest, ADictationRecordsTranscribesInsertsAndReturnsToIdle) {
    recorder.willRecord(32000);
    hotkeys.press();
    EXPECT_EQ(engine.state(), EngineState::recording());
    EXPECT_EQ(recorder.startCount, 1);
    EXPECT_EQ(transcriber.prepareCount(), 1);
    EXPECT_TRUE(logs.contains(kEngine, LogLevel::info, QStringLiteral("Recording started")));

    scheduler.advance(1200ms);
    hotkeys.release();
    EXPECT_EQ(engine.state(), EngineState::transcribing());
    ASSERT_EQ(transcriber.callCount(), 1u);
    EXPECT_EQ(transcriber.call(0).sampleCount, 32000u);
    EXPECT_EQ(transcriber.call(0).translationTarget, std::nullopt);

    scheduler.advance(250ms);
    TranscribeResult result = resultWithText(QStringLiteral("  hello world \n"));
    result.wordsUsed = 120;
    result.wordLimit = 2000;
    result.requestID = QStringLiteral("req-1");
    transcriber.complete(0, result);

    EXPECT_EQ(engine.state(), EngineState::idle());
    EXPECT_EQ(inserter.injected, QStringList{QStringLiteral("hello world")});
    EXPECT_EQ(engine.lastTranscription(), QStringLiteral("hello world"));
    EXPECT_EQ(engine.transcriptionSequence(), 1);
    EXPECT_FALSE(engine.accessibilityNeeded());
    EXPECT_EQ(usage.wordsUsed, 120);
    EXPECT_EQ(usage.wordLimit, 2000);
    EXPECT_TRUE(logs.contains(kEngine, LogLevel::info,
                              QStringLiteral("Transcription completed request=req-1 "
                                             "releaseToInsertion=0.25 seconds server=unavailable "
                                             "inserted=true")));
    EXPECT_EQ(states, (std::vector<EngineState>{EngineState::recording(),
                                                EngineState::transcribing(), EngineState::idle()}));
    // The hotkey monitor heard each change of activity once.
    EXPECT_EQ(hotkeys.recordingActive, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(hotkeys.transcribingActive, (std::vector<bool>{false, true, false}));
}

TEST_F(EngineTest, RecordingsOfHalfASecondOrLessAndSilentOnesAreDroppedQuietly) {
    dictate(8000);
    EXPECT_EQ(engine.state(), EngineState::idle());
    EXPECT_EQ(transcriber.callCount(), 0u);
    EXPECT_TRUE(
        logs.contains(kEngine, LogLevel::info,
                      QStringLiteral("Recording too short (0.50s) — silently returning to idle")));

    dictate(8001);
    EXPECT_EQ(engine.state(), EngineState::transcribing());
    transcriber.complete(0, resultWithText(QStringLiteral("ok")));

    // Exactly the silence threshold counts as silence, however long the recording.
    recorder.willRecord(160000, 0.002f);
    hotkeys.press();
    hotkeys.release();
    EXPECT_EQ(engine.state(), EngineState::idle());
    EXPECT_EQ(transcriber.callCount(), 1u);
    EXPECT_TRUE(logs.contains(
        kEngine, LogLevel::info,
        QStringLiteral("No speech detected RMS=0.0020 — silently returning to idle")));
    EXPECT_TRUE(shell.permissionPopups.empty());
}

TEST_F(EngineTest, AResultArrivingAfterACancelIsDiscarded) {
    dictate();
    hotkeys.cancel();
    EXPECT_EQ(engine.state(), EngineState::idle());
    EXPECT_TRUE(
        logs.contains(kEngine, LogLevel::info, QStringLiteral("Transcription cancelled by user")));

    transcriber.complete(0, resultWithText(QStringLiteral("too late")));
    EXPECT_EQ(engine.state(), EngineState::idle());
    EXPECT_TRUE(inserter.injected.isEmpty());
    EXPECT_EQ(engine.lastTranscription(), QString());
    EXPECT_EQ(engine.transcriptionSequence(), 0);
    EXPECT_TRUE(logs.contains(kEngine, LogLevel::info,
                              QStringLiteral("Discarding a transcription the user cancelled")));
}

TEST_F(EngineTest, AnErrorArrivingAfterACancelChangesNothingAndLogsNothing) {
    dictate();
    hotkeys.cancel();
    logs.clear();
    states.clear();
    transcriber.fail(0, URLError(URLError::timedOut));
    transcriber.fail(0, TranscriberError::hardLimitReached()); // already finished: ignored
    EXPECT_TRUE(states.empty());
    EXPECT_TRUE(logs.messages(kEngine).isEmpty());

    // A stale hard-limit error is dropped too, without the limit window.
    dictate();
    hotkeys.cancel();
    logs.clear();
    transcriber.fail(1, TranscriberError::hardLimitReached());
    EXPECT_EQ(shell.limitWindows, 0);
    EXPECT_EQ(engine.usageStatus(), UsageStatus::ok);
    EXPECT_TRUE(logs.messages(kEngine).isEmpty());
}

TEST_F(EngineTest, AnErrorShowsItsMessageForFiveSeconds) {
    dictate();
    transcriber.fail(0, TranscriberError::transcriptionFailed(QStringLiteral("boom")));
    EXPECT_EQ(engine.state(),
              EngineState::error(QStringLiteral("Transcription failed – please try again")));
    EXPECT_TRUE(logs.contains(kEngine, LogLevel::error,
                              QStringLiteral("Transcription error: Transcription failed: boom")));
    scheduler.advance(4999ms);
    EXPECT_TRUE(engine.state().is(EngineState::Kind::error));
    scheduler.advance(1ms);
    EXPECT_EQ(engine.state(), EngineState::idle());
}

TEST_F(EngineTest, TheFirstErrorTimerClearsASecondErrorEarly) {
    dictate();
    transcriber.fail(0, URLError(URLError::timedOut));
    scheduler.advance(3s);
    dictate();
    transcriber.fail(1, URLError(URLError::notConnectedToInternet));
    EXPECT_EQ(engine.state(), EngineState::error(QStringLiteral("No internet connection")));
    scheduler.advance(2s);
    EXPECT_EQ(engine.state(), EngineState::idle()) << "the first timer resets any error";
}

TEST_F(EngineTest, ADictationStartedDuringAnErrorKeepsRecordingWhenTheTimerFires) {
    dictate();
    transcriber.fail(0, URLError(URLError::cannotFindHost));
    scheduler.advance(2s);
    recorder.willRecord(32000);
    hotkeys.press();
    EXPECT_EQ(engine.state(), EngineState::recording());
    scheduler.advance(3s);
    EXPECT_EQ(engine.state(), EngineState::recording());
    hotkeys.release();
    EXPECT_EQ(engine.state(), EngineState::transcribing());
    transcriber.complete(1, resultWithText(QStringLiteral("fine")));
}

TEST_F(EngineTest, NoSpeechAndTooShortErrorsReturnToIdleWithoutAMessage) {
    for (const QString& message : {QStringLiteral("No Opus frames produced – audio too short"),
                                   QStringLiteral("No speech detected in audio")}) {
        const std::size_t index = transcriber.callCount();
        dictate();
        transcriber.fail(index, TranscriberError::transcriptionFailed(message));
        EXPECT_EQ(engine.state(), EngineState::idle()) << message.toStdString();
        EXPECT_TRUE(logs.contains(kEngine, LogLevel::info,
                                  QStringLiteral("Transcription failed: ") + message +
                                      QStringLiteral(" — silently returning to idle")));
    }
    EXPECT_TRUE(logs.messages(kEngine, LogLevel::error).isEmpty());
}

TEST_F(EngineTest, TheHardLimitMarksUsageAndOpensTheLimitWindow) {
    dictate();
    transcriber.fail(0, TranscriberError::hardLimitReached());
    EXPECT_EQ(engine.state(), EngineState::idle());
    EXPECT_EQ(engine.usageStatus(), UsageStatus::hard);
    EXPECT_EQ(shell.limitWindows, 1);
    EXPECT_TRUE(logs.contains(kEngine, LogLevel::error, QStringLiteral("Hard word limit reached")));
}

TEST_F(EngineTest, WhitespaceOnlyTranscriptsAreEmpty) {
    dictate();
    transcriber.complete(0, resultWithText(QStringLiteral(" \n \t\n")));
    EXPECT_EQ(engine.state(), EngineState::idle());
    EXPECT_TRUE(inserter.injected.isEmpty());
    EXPECT_EQ(engine.transcriptionSequence(), 0);
    EXPECT_TRUE(logs.contains(
        kEngine, LogLevel::info,
        QStringLiteral("API returned empty transcription — silently returning to idle")));
}

TEST_F(EngineTest, AMissingTranslationInsertsTheUntranslatedTextAndLogsIt) {
    dictate(32000, true);
    EXPECT_EQ(transcriber.call(0).translationTarget, QStringLiteral("Spanish"));
    TranscribeResult result = resultWithText(QStringLiteral("hello"));
    result.translationError = QStringLiteral("unsupported pair");
    result.wordsUsed = 5; // a count without a limit leaves the limit alone
    transcriber.complete(0, result);
    EXPECT_EQ(inserter.injected, QStringList{QStringLiteral("hello")});
    EXPECT_TRUE(
        logs.contains(kEngine, LogLevel::error,
                      QStringLiteral("Translation requested but not produced: unsupported pair")));
    EXPECT_EQ(usage.wordsUsed, 5);
    EXPECT_EQ(usage.wordLimit, std::nullopt);
}

TEST_F(EngineTest, AnUnconfirmedInsertionStillCountsButFlagsAccessibility) {
    inserter.result = false;
    dictate();
    transcriber.complete(0, resultWithText(QStringLiteral("hi")));
    EXPECT_EQ(engine.transcriptionSequence(), 1);
    EXPECT_TRUE(engine.accessibilityNeeded());
    EXPECT_TRUE(logs.contains(
        kEngine, LogLevel::error,
        QStringLiteral(
            "Accessibility not granted - Cmd+V may be silently dropped. Text is on clipboard.")));
    engine.checkPermissions();
    EXPECT_FALSE(engine.accessibilityNeeded()) << "cleared once Accessibility is granted";
}

// The desktop refused to let Sayloom press keys: the pill says so, and how to paste by hand.
TEST_F(EngineTest, RefusedKeysShowTheirOwnNoticeForAWhile) {
    const QString refused = platformText(PlatformTextKey::remoteControlRefused);
    ASSERT_TRUE(refused.contains(QLatin1String("Ctrl+V")));
    dictate();
    transcriber.complete(0, resultWithText(QStringLiteral("hi")));
    engine.keysRefusedByDesktop();
    EXPECT_EQ(engine.recordingNotice(), refused);
    scheduler.advance(5s);
    EXPECT_EQ(engine.recordingNotice(), std::nullopt);
    EXPECT_TRUE(logs.contains(
        kEngine, LogLevel::error,
        QStringLiteral("The desktop refused remote control - the transcript is on the clipboard")));
}

TEST_F(EngineTest, ATranscriptLeftOnTheClipboardFlagsAccessibilityAndShowsANoticeForAWhile) {
    const QString copied = QStringLiteral("Copied. Press Ctrl+V to paste");
    dictate();
    transcriber.complete(0, resultWithText(QStringLiteral("hi")));
    ASSERT_FALSE(engine.accessibilityNeeded());

    // The restore a moment later finds that nobody took the paste.
    scheduler.advance(1500ms);
    engine.transcriptLeftOnClipboard();
    EXPECT_TRUE(engine.accessibilityNeeded());
    EXPECT_EQ(engine.recordingNotice(), copied);
    EXPECT_EQ(engine.state(), EngineState::idle());
    scheduler.advance(4999ms);
    EXPECT_EQ(engine.recordingNotice(), copied);
    scheduler.advance(1ms);
    EXPECT_EQ(engine.recordingNotice(), std::nullopt);

    // A new recording takes the pill over at once, and keeps its own notice when the clipboard
    // notice's time runs out.
    engine.transcriptLeftOnClipboard();
    recorder.willRecord(32000);
    hotkeys.press();
    EXPECT_EQ(engine.recordingNotice(), std::nullopt);
    recorder.onWarning(QStringLiteral("1 minute left"));
    scheduler.advance(5s);
    EXPECT_EQ(engine.recordingNotice(), QStringLiteral("1 minute left"));
    EXPECT_TRUE(logs.contains(
        kEngine, LogLevel::error,
        QStringLiteral("No application took the paste - the transcript is on the clipboard")));
}

TEST_F(EngineTest, MissingPermissionsShowThePopupAndRecordNothing) {
    permissions.microphone = false;
    hotkeys.press();
    EXPECT_EQ(engine.state(), EngineState::idle());
    EXPECT_EQ(recorder.startCount, 0);
    ASSERT_EQ(shell.permissionPopups.size(), 1u);
    EXPECT_FALSE(shell.permissionPopups[0].microphone);
    EXPECT_TRUE(shell.permissionPopups[0].accessibility);
    EXPECT_TRUE(logs.contains(kEngine, LogLevel::error,
                              QStringLiteral("Missing permissions - showing popup")));
    EXPECT_TRUE(states.empty());
}

TEST_F(EngineTest, ARecorderThatDoesNotStartRollsBackToIdle) {
    recorder.startSucceeds = false;
    hotkeys.press();
    EXPECT_EQ(engine.state(), EngineState::idle());
    EXPECT_TRUE(
        logs.contains(kEngine, LogLevel::error,
                      QStringLiteral("AudioRecorder failed to start; rolled back to idle")));
}

TEST_F(EngineTest, KeyDownWhileTranscribingOnlyUpdatesTheTranslationChoice) {
    dictate();
    hotkeys.press(true);
    EXPECT_EQ(engine.state(), EngineState::transcribing());
    EXPECT_EQ(recorder.startCount, 1);
    EXPECT_EQ(engine.activeTranslationTarget(), QStringLiteral("Spanish"));
    hotkeys.release();
    transcriber.complete(0, resultWithText(QStringLiteral("x")));
    EXPECT_EQ(engine.activeTranslationTarget(), std::nullopt) << "idle clears it";
}

TEST_F(EngineTest, TheTranslationTargetIsReadAtRelease) {
    recorder.willRecord(32000);
    hotkeys.press(true);
    EXPECT_EQ(engine.activeTranslationTarget(), QStringLiteral("Spanish"));
    settings.setOutputLanguageKey(QStringLiteral("fr"));
    hotkeys.release();
    EXPECT_EQ(transcriber.call(0).translationTarget, QStringLiteral("French"));
    transcriber.complete(0, resultWithText(QStringLiteral("bonjour")));
}

TEST_F(EngineTest, ALockedRecordingOutlivesTheReleaseAndEndsOnUnlock) {
    recorder.willRecord(32000);
    hotkeys.press();
    hotkeys.lock();
    hotkeys.release();
    EXPECT_EQ(engine.state(), EngineState::recording());
    hotkeys.unlock();
    EXPECT_EQ(engine.state(), EngineState::transcribing());
    EXPECT_FALSE(hotkeys.isLocked());
    transcriber.complete(0, resultWithText(QStringLiteral("x")));

    hotkeys.unlock(); // nothing to unlock while idle
    EXPECT_EQ(transcriber.callCount(), 1u);
}

TEST_F(EngineTest, EscapeWhileRecordingDiscardsTheRecording) {
    recorder.willRecord(32000);
    hotkeys.press();
    hotkeys.cancel();
    EXPECT_EQ(engine.state(), EngineState::idle());
    EXPECT_EQ(recorder.stopCount, 1);
    EXPECT_TRUE(
        logs.contains(kEngine, LogLevel::info, QStringLiteral("Recording cancelled by user")));
    hotkeys.release();
    EXPECT_EQ(transcriber.callCount(), 0u);

    hotkeys.cancel(); // idle: nothing happens
    EXPECT_EQ(recorder.stopCount, 1);
}

TEST_F(EngineTest, RecorderNoticesAndTheDurationLimit) {
    recorder.willRecord(32000);
    hotkeys.press(true);
    recorder.onWarning(QStringLiteral("1 minute left"));
    EXPECT_EQ(engine.recordingNotice(), QStringLiteral("1 minute left"));
    recorder.onLimit(QStringLiteral("Limit reached"));
    EXPECT_EQ(engine.state(), EngineState::transcribing()) << "the limit acts as a release";
    EXPECT_EQ(engine.recordingNotice(), QStringLiteral("Limit reached"));
    hotkeys.release(); // the later key-up changes nothing
    EXPECT_EQ(transcriber.callCount(), 1u);
    transcriber.complete(0, resultWithText(QStringLiteral("x")));
    EXPECT_EQ(engine.recordingNotice(), std::nullopt);

    recorder.onWarning(QStringLiteral("late")); // idle: ignored
    EXPECT_EQ(engine.recordingNotice(), std::nullopt);
}

TEST_F(EngineTest, AnAudioInterruptionDiscardsTheRecording) {
    recorder.willRecord(32000);
    hotkeys.press();
    recorder.onInterrupted();
    EXPECT_EQ(engine.state(), EngineState::idle());
    EXPECT_EQ(recorder.stopCount, 1);
    EXPECT_TRUE(logs.contains(kEngine, LogLevel::error,
                              QStringLiteral("Audio interrupted - discarding recording")));
    hotkeys.release();
    EXPECT_EQ(transcriber.callCount(), 0u);
}

TEST_F(EngineTest, KeyPressesWarmTheServiceUpAtMostEveryThirtySeconds) {
    auto warmups = [&] { return session.requests.size(); };
    recorder.willRecord(100); // too short: each press ends quietly
    hotkeys.press();
    hotkeys.release();
    ASSERT_EQ(warmups(), 1u);
    const URLRequest& request = session.requests[0];
    EXPECT_EQ(request.url, QUrl(QStringLiteral("https://api.test/v1/warmup")));
    EXPECT_EQ(request.httpMethod, QByteArray("POST"));
    EXPECT_EQ(request.value("Content-Length"), QByteArray("0"));
    EXPECT_EQ(request.value("Content-Type"), QByteArray("application/json"));
    EXPECT_EQ(request.value("Authorization"), std::nullopt);
    EXPECT_EQ(request.timeoutInterval, 5s);

    scheduler.advance(30s);
    hotkeys.press();
    hotkeys.release();
    EXPECT_EQ(warmups(), 1u) << "exactly 30 s later is not more than 30 s";
    scheduler.advance(1ms);
    hotkeys.press();
    hotkeys.release();
    EXPECT_EQ(warmups(), 2u);
    EXPECT_EQ(transcriber.prepareCount(), 3) << "prepare runs at every press";
}

TEST_F(EngineTest, FailedWarmUpsAndPreparationsAreOnlyLogged) {
    session.failWith(URLError::cannotConnectToHost);
    transcriber.failPrepare(TranscriberError::transcriptionFailed(QStringLiteral("no token")));
    hotkeys.press();
    EXPECT_EQ(engine.state(), EngineState::recording());
    EXPECT_TRUE(logs.contains(
        kEngine, LogLevel::info,
        QStringLiteral("Prewarm API failed (non-fatal): Could not connect to the server.")));
    EXPECT_TRUE(logs.contains(kEngine, LogLevel::debug,
                              QStringLiteral("Transcription preparation did not complete: "
                                             "Transcription failed: no token")));
    hotkeys.cancel();
}

TEST(EngineUserMessageTest, EachFailureHasItsShortSentence) {
    const auto message = [](auto error) {
        return SayloomEngine::userMessage(std::make_exception_ptr(error)).toStdString();
    };
    const std::vector<std::pair<int, std::string>> urlCases = {
        {URLError::notConnectedToInternet, "No internet connection"},
        {URLError::networkConnectionLost, "No internet connection"},
        {URLError::timedOut, "The server took too long to respond"},
        {URLError::cannotFindHost, "Can't reach Sayloom right now"},
        {URLError::cannotConnectToHost, "Can't reach Sayloom right now"},
        {URLError::dnsLookupFailed, "Can't reach Sayloom right now"},
        {URLError::userAuthenticationRequired, "Please sign in again"},
        {URLError::secureConnectionFailed, "Network problem – please try again"},
        {URLError::cancelled, "Network problem – please try again"},
        {URLError::unknown, "Network problem – please try again"},
    };
    for (const auto& [code, expected] : urlCases)
        EXPECT_EQ(message(URLError(code)), expected) << code;

    EXPECT_EQ(message(TranscriberError::transcriptionFailed(QStringLiteral("x"))),
              "Transcription failed – please try again");
    EXPECT_EQ(message(TranscriberError::hardLimitReached()), "Weekly limit reached");
    EXPECT_EQ(message(TranscriberError::modelNotLoaded()),
              "Something went wrong – please try again");
    EXPECT_EQ(message(TranscriberError::modelNotFound(QStringLiteral("/m"))),
              "Something went wrong – please try again");
    EXPECT_EQ(message(std::runtime_error("json")), "Something went wrong – please try again");
}

} // namespace
