#include "FakeURLSession.h"
#include "LogCapture.h"
#include "MemoryKeyValueStore.h"
#include "TaskProbe.h"
#include "VirtualScheduler.h"

#include "app/UpdateState.h"
#include "support/URLError.h"

#include <QTimeZone>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace sayloom;
using namespace sayloom::testing;

inline void PrintTo(const QString& text, std::ostream* os) { *os << text.toStdString(); }

namespace {

const QUrl kDownload(QStringLiteral("https://sayloom.test/"));

class UpdateStateTest : public ::testing::Test {
public:
    UpdateStateTest() {
        // 2026-12-07 00:00 UTC.
        scheduler.setWallNow(WallInstant(std::chrono::seconds(1'796'601'600)));
    }
    bool check() { return TaskProbe<bool>::start(state.checkForUpdate()).value(); }

    LogCapture logs;
    VirtualScheduler scheduler;
    MemoryKeyValueStore defaults;
    FakeURLSession session;
    UpdateState state{{session, defaults, scheduler,
                       QUrl(QStringLiteral("https://api.test/v1/app/version-check?platform=linux")),
                       kDownload}};
};

TEST_F(UpdateStateTest, EachAnswerOverwritesEverythingAndKeysOfTheWrongTypeCountAsAbsent) {
    session.respond(
        200, R"({"updateAvailable":true,"latestVersion":"2.0","updateUrl":"https://x.test/u",)"
             R"("warningDate":"w","forceDate":"2027-01-01"})");
    ASSERT_TRUE(check());
    EXPECT_TRUE(state.updateAvailable());
    EXPECT_FALSE(state.forceUpdate());
    EXPECT_EQ(state.latestVersion(), QStringLiteral("2.0"));
    EXPECT_EQ(state.updateUrl(), QStringLiteral("https://x.test/u"));
    EXPECT_EQ(state.forceDate(), QStringLiteral("2027-01-01"));
    EXPECT_EQ(session.requests[0].timeoutInterval, 10s);

    session.respond(200, R"({"forceUpdate":true,"updateAvailable":"yes","latestVersion":3})");
    ASSERT_TRUE(check());
    EXPECT_TRUE(state.updateAvailable()) << "a forced update is an available one";
    EXPECT_TRUE(state.forceUpdate());
    EXPECT_EQ(state.latestVersion(), std::nullopt);
    EXPECT_EQ(state.updateUrl(), kDownload.toString());
    EXPECT_EQ(state.forceDate(), std::nullopt) << "a key missing now clears the earlier value";

    session.respond(200, R"({"updateAvailable":"yes"})");
    ASSERT_TRUE(check());
    EXPECT_FALSE(state.updateAvailable());

    // Refusals and unusable bodies change nothing and log nothing; a transport error is logged.
    session.respond(200, R"({"updateAvailable":true})");
    ASSERT_TRUE(check());
    logs.clear();
    session.respond(304);
    EXPECT_FALSE(check());
    session.respond(500, R"({"updateAvailable":false})");
    EXPECT_FALSE(check());
    session.respond(200, "[true]");
    EXPECT_FALSE(check());
    EXPECT_TRUE(logs.messages().isEmpty());
    session.failWith(URLError::notConnectedToInternet);
    EXPECT_FALSE(check());
    EXPECT_TRUE(state.updateAvailable());
    EXPECT_EQ(logs.messages(QStringLiteral("update")),
              QStringList{"Version check failed (non-fatal): The Internet connection appears to be "
                          "offline."});
}

TEST_F(UpdateStateTest, DaysLeftCountsWholeDaysToTheDeadline) {
    const std::pair<const char*, std::optional<int>> cases[] = {
        {"2026-12-10", 3},                      // midnight UTC, 3 days ahead
        {"2026-12-10T12:00:00Z", 3},            // 3.5 days
        {"2026-12-10T12:00:00.250Z", 3},        // with fractional seconds
        {"2026-12-09T00:00:00+02:00", 1},       // 1 day and 22 hours
        {"2026-12-07T12:00:00Z", std::nullopt}, // 12 hours: no whole day
        {"2026-12-01", std::nullopt},           // past
        {"next week", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [forceDate, days] : cases) {
        session.respond(200, QByteArray(R"({"forceDate":")") + forceDate + R"("})");
        ASSERT_TRUE(check());
        EXPECT_EQ(state.daysLeft(), days) << forceDate;
    }
}

TEST_F(UpdateStateTest, TheSnoozeLastsExactlyADayAndOnlyADateCounts) {
    state.snoozeReminder();
    EXPECT_TRUE(logs.contains(QStringLiteral("update"), LogLevel::info,
                              QStringLiteral("Update reminder snoozed for 24 hours")));
    scheduler.advance(23h);
    state.clearExpiredSnooze();
    EXPECT_TRUE(state.isReminderSnoozed());
    scheduler.advance(1h - 1s);
    EXPECT_TRUE(state.isReminderSnoozed());
    scheduler.advance(1s); // exactly 24 hours
    EXPECT_FALSE(state.isReminderSnoozed());
    state.clearExpiredSnooze();
    EXPECT_FALSE(defaults.value(QLatin1String(UpdateState::kSnoozedAtKey)));
    EXPECT_TRUE(logs.contains(QStringLiteral("update"), LogLevel::info,
                              QStringLiteral("Cleared expired snooze entry")));

    defaults.setString(QLatin1String(UpdateState::kSnoozedAtKey), QStringLiteral("yesterday"));
    EXPECT_FALSE(state.isReminderSnoozed());
    state.clearExpiredSnooze();
    EXPECT_TRUE(defaults.value(QLatin1String(UpdateState::kSnoozedAtKey))) << "never removed";
}

} // namespace
