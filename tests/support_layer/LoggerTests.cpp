#include "LogCapture.h"

#include "support/Logger.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace sayloom;
using sayloom::testing::LogCapture;

inline void PrintTo(const QString& text, std::ostream* os) { *os << text.toStdString(); }

namespace {

QString render(const char* format, const std::vector<LogArg>& args) {
    return logging::render(format, std::span<const LogArg>(args.data(), args.size()));
}

TEST(LoggerRenderTest, RendersFormatsTheWayTheLogShowsThem) {
    struct Case {
        const char* format;
        std::vector<LogArg> args;
        const char* expected;
    };
    const Case cases[] = {
        {"key=%{public}s", {QStringLiteral("abc")}, "key=abc"},
        {"user %{private}@ signed in", {"ada@example.com"}, "user ada@example.com signed in"},
        {"ready=%{bool}d", {true}, "ready=true"},
        {"ready=%{bool}d", {false}, "ready=false"},
        {"flag=%{bool,public}d", {true}, "flag=true"},
        {"flag=%{bool,public}d", {0}, "flag=false"},
        {"flag=%{bool}d", {2}, "flag=true"},
        {"%ld samples", {1234567890123LL}, "1234567890123 samples"},
        {"%d/%lu/%lld", {-5, 7u, -9000000000LL}, "-5/7/-9000000000"},
        {"took %.4f s", {3.14159265}, "took 3.1416 s"},
        {"%.2f", {2}, "2.00"},
        {"%.2f%% done", {99.5}, "99.50% done"},
        {"100%%", {}, "100%"},
        {"[%5d|%-3s]", {42, "ab"}, "[   42|ab ]"},
        {"Grüße, %{public}@!", {QStringLiteral("Wörld")}, "Grüße, Wörld!"},
        // An argument's text is never read as a format.
        {"%{public}s", {QStringLiteral("50% done %d")}, "50% done %d"},
        {"a=%d b=%{public}s", {1}, "a=1 b=<?>"},
        {"%{public}s", {}, "<?>"},
        {"plain", {1, 2}, "plain"},
        {"open brace %{public", {}, "open brace %{public"},
        {"%d chars in %.2fs, language %{public}@, cached=%{bool}d",
         {42, 1.5, "de", false},
         "42 chars in 1.50s, language de, cached=false"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(render(c.format, c.args), QString::fromUtf8(c.expected));
    }
}

TEST(LoggerTest, DropsLinesBelowTheMinimumLevelAndTagsTheRest) {
    LogCapture capture;
    logging::setMinimumLevel(LogLevel::notice);
    const Logger log(QStringLiteral("engine"));
    log.debug("debug line");
    log.info("info line");
    log.notice("notice %d", 1);
    log.error("error %{public}s", "two");

    const auto records = capture.records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].level, LogLevel::notice);
    EXPECT_EQ(records[0].message, QStringLiteral("notice 1"));
    EXPECT_EQ(records[0].category, QStringLiteral("engine"));
    EXPECT_EQ(records[0].subsystem, QStringLiteral("ai.sayloom.app"));
    EXPECT_EQ(records[1].level, LogLevel::error);
    EXPECT_EQ(records[1].message, QStringLiteral("error two"));

    logging::setMinimumLevel(LogLevel::debug);
    log.debug("now visible");
    EXPECT_TRUE(
        capture.contains(QStringLiteral("engine"), LogLevel::debug, QStringLiteral("now visible")));
}

TEST(LoggerTest, EnvironmentVariableSetsTheMinimumLevel) {
    const bool wasSet = qEnvironmentVariableIsSet("SAYLOOM_LOG_LEVEL");
    const QByteArray previousValue = qgetenv("SAYLOOM_LOG_LEVEL");
    const LogLevel previousLevel = logging::minimumLevel();

    struct Case {
        std::optional<QByteArray> value;
        LogLevel level;
        bool accepted;
    };
    const Case cases[] = {
        {std::nullopt, LogLevel::info, true}, {"", LogLevel::info, true},
        {"debug", LogLevel::debug, true},     {"INFO", LogLevel::info, true},
        {"Notice", LogLevel::notice, true},   {"default", LogLevel::notice, true},
        {" error\n", LogLevel::error, true},  {"verbose", LogLevel::info, false},
        {"3", LogLevel::info, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.value_or("<unset>").toStdString());
        if (c.value)
            qputenv("SAYLOOM_LOG_LEVEL", *c.value);
        else
            qunsetenv("SAYLOOM_LOG_LEVEL");
        // Start from another level, so that each case must set its own.
        logging::setMinimumLevel(c.level == LogLevel::error ? LogLevel::debug : LogLevel::error);
        EXPECT_EQ(logging::applyEnvironmentLevel(), c.accepted);
        EXPECT_EQ(logging::minimumLevel(), c.level);
    }

    if (wasSet)
        qputenv("SAYLOOM_LOG_LEVEL", previousValue);
    else
        qunsetenv("SAYLOOM_LOG_LEVEL");
    logging::setMinimumLevel(previousLevel);
}

} // namespace
