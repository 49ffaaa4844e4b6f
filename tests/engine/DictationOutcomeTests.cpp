#include "engine/DictationOutcome.h"

#include <QLocale>

#include <gtest/gtest.h>

using namespace sayloom;

namespace {

TEST(LocalizedStandardContainsTest, IgnoresCaseAccentsAndWidthButNotLetters) {
    struct Case {
        const char* text;
        const char* fragment;
        bool contains;
    };
    const Case cases[] = {
        {"Hello World", "hello world", true},
        {"Je suis allé au café.", "je suis alle au cafe", true},
        {"Ｈｅｌｌｏ there", "hello", true}, // full-width letters
        {"Straße", "STRASSE", true},
        {"résumé attached", "resume", true},
        {"Hello", "help", false},
        {"", "x", false},
        {"abc", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(
            localizedStandardContains(QString::fromUtf8(c.text), QString::fromUtf8(c.fragment)),
            c.contains)
            << c.text << " / " << c.fragment;
}

TEST(NextOutcomeTest, FollowsTheTranscriptAndTheField) {
    const DictationOutcome none;
    const DictationOutcome typed{true, true, true};
    // An empty transcript changes nothing, even when something was typed before.
    EXPECT_EQ(nextOutcome(QStringLiteral("  \n"), QStringLiteral("anything"), none), none);
    EXPECT_EQ(nextOutcome(QStringLiteral(" "), QString(), typed), typed);
    // Heard but the field is empty: not typed (and a typed flag is kept).
    EXPECT_EQ(nextOutcome(QStringLiteral("Hello"), QStringLiteral("   "), none),
              (DictationOutcome{true, true, false}));
    EXPECT_EQ(nextOutcome(QStringLiteral("Hello"), QString(), typed), typed);
    // The field holds the transcript in another case and without accents.
    EXPECT_EQ(
        nextOutcome(QStringLiteral(" Crème brûlée "), QStringLiteral("I said creme BRULEE!"), none),
        typed);
    EXPECT_EQ(nextOutcome(QStringLiteral("Hello"), QStringLiteral("Goodbye"), none),
              (DictationOutcome{true, true, false}));
}

class OutcomeTrackerTest : public ::testing::Test {
protected:
    OutcomeTrackerTest() {
        QObject::connect(&tracker, &DictationOutcomeTracker::outcomeChanged,
                         [this](const DictationOutcome& o) { reported.push_back(o); });
    }
    DictationOutcomeTracker tracker;
    std::vector<DictationOutcome> reported;
};

TEST_F(OutcomeTrackerTest, ADroppedRecordingIsAttemptedButNotHeard) {
    tracker.fieldShown(4, QStringLiteral("old"), QString());
    EXPECT_TRUE(reported.empty()) << "transcripts from before the field was shown do not count";
    tracker.engineStateChanged(EngineState::recording());
    tracker.engineStateChanged(EngineState::idle());
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported.back(), (DictationOutcome{true, false, false}));
    tracker.engineStateChanged(EngineState::idle());
    EXPECT_EQ(reported.size(), 1u) << "only changes are reported";
}

TEST_F(OutcomeTrackerTest, ATranscriptThatReachesTheFieldIsTyped) {
    tracker.fieldShown(0, QString(), QString());
    tracker.engineStateChanged(EngineState::recording());
    tracker.engineStateChanged(EngineState::transcribing());
    EXPECT_TRUE(reported.empty()) << "transcribing does not end the attempt";
    tracker.transcriptionSequenceChanged(1, QStringLiteral("Hello there"),
                                         QStringLiteral("Hello there"));
    tracker.engineStateChanged(EngineState::idle());
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(tracker.outcome(), (DictationOutcome{true, true, true}));
}

TEST_F(OutcomeTrackerTest, ATranscriptPastedAfterItWasCountedStillCountsAsTyped) {
    tracker.fieldShown(2, QStringLiteral("earlier"), QString());
    tracker.fieldTextChanged(QStringLiteral("earlier"), QStringLiteral("earlier"));
    EXPECT_TRUE(reported.empty()) << "typing before a new transcription proves nothing";
    tracker.engineStateChanged(EngineState::recording());
    tracker.engineStateChanged(EngineState::transcribing());
    // The engine counts the transcription before the paste reaches the field.
    tracker.transcriptionSequenceChanged(3, QStringLiteral("Hello there."), QString());
    tracker.engineStateChanged(EngineState::idle());
    EXPECT_EQ(tracker.outcome(), (DictationOutcome{true, true, false}));
    tracker.fieldTextChanged(QStringLiteral("Hello there."), QStringLiteral("Hello"));
    EXPECT_EQ(tracker.outcome(), (DictationOutcome{true, true, false}));
    tracker.fieldTextChanged(QStringLiteral("Hello there."), QStringLiteral("Hello there."));
    EXPECT_EQ(tracker.outcome(), (DictationOutcome{true, true, true}));
    tracker.fieldTextChanged(QStringLiteral("Hello there."), QString());
    EXPECT_EQ(tracker.outcome(), (DictationOutcome{true, true, true})) << "typed stays typed";
}

TEST_F(OutcomeTrackerTest, NothingCountsBeforeTheFieldIsShown) {
    tracker.transcriptionSequenceChanged(3, QStringLiteral("Hello"), QStringLiteral("Hello"));
    EXPECT_TRUE(reported.empty());
    tracker.fieldShown(3, QStringLiteral("Hello"), QStringLiteral("Hello"));
    EXPECT_TRUE(reported.empty());
}

} // namespace
