#include "BuildConfig.h"
#include "cli/Command.h"

#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace sayloom;

namespace {

struct Outcome {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Outcome run(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(SAYLOOM_EXECUTABLE), arguments);
    if (!process.waitForFinished(10'000))
        return {};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

TEST(CommandLineTest, TheHelpListsEveryCommandOnOneLineAndTheVersionIsPrinted) {
    const Outcome help = run({QStringLiteral("--help")});
    ASSERT_EQ(help.exitCode, 0) << help.err.toStdString();
    EXPECT_TRUE(help.err.isEmpty());
    const QStringList lines = QString::fromUtf8(help.out).split(QLatin1Char('\n'));
    for (const Command& command : commands()) {
        const QStringList described =
            lines.filter(QRegularExpression(QStringLiteral("^  %1 +\\S").arg(command.name)));
        ASSERT_EQ(described.size(), 1) << command.name.toStdString();
        EXPECT_TRUE(described.first().endsWith(command.summary)) << command.name.toStdString();
    }
    EXPECT_EQ(run({QStringLiteral("-h")}).out, help.out);

    for (const char* option : {"--version", "-v"}) {
        const Outcome version = run({QString::fromLatin1(option)});
        EXPECT_EQ(version.exitCode, 0) << option;
        EXPECT_EQ(version.out, QByteArray("sayloom ") + build::kVersion + "\n") << option;
    }
}

TEST(CommandLineTest, AnUnknownCommandOrOptionGetsTheUsageOnStderrAndStatusTwo) {
    const QByteArray usage = run({QStringLiteral("--help")}).out;
    const std::pair<const char*, const char*> cases[] = {
        {"frobnicate", "sayloom: unknown command \"frobnicate\"\n\n"},
        {"--frobnicate", "sayloom: unknown option \"--frobnicate\"\n\n"},
        {"-x", "sayloom: unknown option \"-x\"\n\n"},
    };
    for (const auto& [argument, error] : cases) {
        const Outcome refused = run({QString::fromLatin1(argument), QStringLiteral("more")});
        EXPECT_EQ(refused.exitCode, 2) << argument;
        EXPECT_TRUE(refused.out.isEmpty()) << argument;
        EXPECT_EQ(refused.err, error + usage) << argument;
    }
}

} // namespace
