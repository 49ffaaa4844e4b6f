#include "MockTranscriber.h"
#include "TaskProbe.h"
#include "VirtualScheduler.h"

#include "engine/TranscriberError.h"
#include "engine/UsageStatus.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace sayloom;
using namespace sayloom::testing;

namespace {

TEST(TranscriberErrorTest, DescriptionsReadAsGiven) {
    EXPECT_EQ(
        TranscriberError::transcriptionFailed(QStringLiteral("timeout")).localizedDescription(),
        QStringLiteral("Transcription failed: timeout"));
    EXPECT_EQ(TranscriberError::modelNotFound(QStringLiteral("/models/a")).localizedDescription(),
              QStringLiteral("Model not found at: /models/a"));
    EXPECT_EQ(TranscriberError::modelNotLoaded().localizedDescription(),
              QStringLiteral("Speech model is not loaded"));
    EXPECT_EQ(TranscriberError::hardLimitReached().localizedDescription(),
              QStringLiteral("Weekly word limit reached. Upgrade to Pro for unlimited words."));
    EXPECT_STREQ(TranscriberError::modelNotLoaded().what(), "Speech model is not loaded");
}

TEST(UsageStatusTest, OnlyZeroAndThreeAreStatuses) {
    EXPECT_EQ(usageStatusFromRawValue(0), UsageStatus::ok);
    EXPECT_EQ(usageStatusFromRawValue(3), UsageStatus::hard);
    for (long long raw : {1LL, 2LL, -1LL, 4LL, 7LL})
        EXPECT_EQ(usageStatusFromRawValue(raw), std::nullopt) << raw;
}

TEST(MockTranscriberTest, AnswersAfterTwoTenthsOfASecondWithTheDuration) {
    VirtualScheduler scheduler;
    MockTranscriber mock(scheduler);
    auto probe = TaskProbe<TranscribeResult>::start(mock.transcribe(std::vector<float>(24000), {}));
    scheduler.advance(199ms);
    EXPECT_FALSE(probe.done());
    scheduler.advance(1ms);
    ASSERT_TRUE(probe.done());
    EXPECT_EQ(probe.value().text, QStringLiteral("Hello, this is a test transcription (1.5s)"));
    EXPECT_EQ(probe.value().status, UsageStatus::ok);
    EXPECT_EQ(probe.value().requestID, std::nullopt);

    auto empty = TaskProbe<TranscribeResult>::start(mock.transcribe({}, QStringLiteral("Spanish")));
    scheduler.advance(200ms);
    EXPECT_EQ(empty.value().text, QStringLiteral("Hello, this is a test transcription (0.0s)"));
}

TEST(MockTranscriberTest, ACancelledWaitEndsWithTheCancellationError) {
    VirtualScheduler scheduler;
    CancellationToken token;
    MockTranscriber mock(scheduler, token);
    auto probe = TaskProbe<TranscribeResult>::start(mock.transcribe(std::vector<float>(16000), {}));
    token.cancel();
    scheduler.runDue();
    ASSERT_TRUE(probe.done());
    EXPECT_TRUE(probe.errorAs<CancellationError>().has_value());
}

} // namespace
