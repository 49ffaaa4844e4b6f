#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// `sayloom` run where nothing of a desktop session is reachable: no display, no sound server,
// no session bus, and a home, runtime and keychain folder that must stay empty. A command that
// touched any of them before looking at its arguments would fail differently, or crash.
class CommandArgumentTest : public ::testing::Test {
protected:
    struct Outcome {
        QProcess::ExitStatus exitStatus = QProcess::CrashExit;
        int exitCode = -1;
        QString out;
        QString err;
    };

    Outcome run(const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "QT_QPA_PLATFORM",
                                 "SAYLOOM_IN_HEADLESS_SESSION"})
            environment.remove(QString::fromLatin1(name));
        const QString nowhere = home.filePath(QStringLiteral("nowhere"));
        environment.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + nowhere);
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           QStringLiteral("unix:path=") + nowhere);
        environment.insert(QStringLiteral("HOME"), home.path());
        for (const char* name : {"XDG_RUNTIME_DIR", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
            environment.insert(QString::fromLatin1(name), home.path());
        environment.insert(QStringLiteral("SAYLOOM_KEYCHAIN"), QStringLiteral("file"));

        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(home.path());
        process.start(QStringLiteral(SAYLOOM_EXECUTABLE), arguments);
        EXPECT_TRUE(process.waitForFinished(30'000));
        return {process.exitStatus(), process.exitCode(),
                QString::fromLocal8Bit(process.readAllStandardOutput()),
                QString::fromLocal8Bit(process.readAllStandardError())};
    }

    QStringList leftInHome() const {
        return QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    QTemporaryDir home;
};

TEST_F(CommandArgumentTest, AWrongUseOfAnyCommandGetsItsUsageAndTouchesNothing) {
    struct Case {
        QStringList arguments;
        const char* usage;
    };
    const Case cases[] = {
        {{"account", "--yaml"}, "usage: sayloom account [--json]"},
        {{"signin"}, "usage: sayloom signin google|github"},
        {{"signin", "gitlab"}, "usage: sayloom signin google|github"},
        {{"signout", "now"}, "usage: sayloom signout\n"},
        {{"insert", "--loud", "x"}, "usage: sayloom insert [--delay SECONDS] [--raw] TEXT"},
        {{"insert", "--delay", "soon", "x"}, "usage: sayloom insert"},
        {{"insert", "--raw"}, "usage: sayloom insert"},
        {{"prepare", "in.wav"}, "usage: sayloom prepare INPUT -o OUTPUT.ogg"},
        {{"prepare", "-x", "in.wav", "-o", "out.ogg"}, "usage: sayloom prepare"},
        {{"record", "-o", "out.wav", "--seconds", "-1"}, "usage: sayloom record -o OUTPUT.wav"},
        {{"record", "--seconds", "5"}, "usage: sayloom record"},
        {{"transcribe"}, "usage: sayloom transcribe INPUT"},
        {{"transcribe", "in.wav", "--tone", "loud"}, "usage: sayloom transcribe"},
        {{"transcribe", "in.wav", "--language"}, "usage: sayloom transcribe"},
        {{"doctor", "--fix"}, "usage: sayloom doctor\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
        const Outcome outcome = run(c.arguments);
        EXPECT_EQ(outcome.exitStatus, QProcess::NormalExit);
        EXPECT_EQ(outcome.exitCode, 2) << outcome.err.toStdString();
        EXPECT_TRUE(outcome.err.startsWith(QStringLiteral("sayloom: ")))
            << outcome.err.toStdString();
        EXPECT_TRUE(outcome.err.contains(QString::fromUtf8(c.usage))) << outcome.err.toStdString();
        EXPECT_TRUE(outcome.out.isEmpty()) << outcome.out.toStdString();
        EXPECT_EQ(leftInHome(), QStringList()) << "no keychain, settings, socket or output file";
    }
}

TEST_F(CommandArgumentTest, ACommandThatNeedsTheDisplaySaysItIsMissing) {
    const Outcome outcome = run({QStringLiteral("insert"), QStringLiteral("hello")});
    EXPECT_EQ(outcome.exitStatus, QProcess::NormalExit);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_TRUE(outcome.err.contains(QStringLiteral("DISPLAY is not set")))
        << outcome.err.toStdString();
}

} // namespace
