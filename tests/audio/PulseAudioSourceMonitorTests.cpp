// Whether a microphone is available, as the sound server reports it: the session's private server
// with its sources loaded and unloaded under the monitor, a scratch server that comes and goes,
// and no server at all.

#include "PulseAudioTest.h"
#include "VirtualScheduler.h"

#include "platform/linux/PulseAudioSourceMonitor.h"
#include "support/QtScheduler.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace sayloom;
using namespace sayloom::testing;
using linux_desktop::PulseAudioSourceMonitor;
using namespace std::chrono_literals;

namespace {

// Records every availabilityChanged() and whether it came on the main thread.
struct AvailabilitySpy {
    explicit AvailabilitySpy(PulseAudioSourceMonitor& monitor) {
        QObject::connect(
            &monitor, &PulseAudioSourceMonitor::availabilityChanged, [this](bool available) {
                values.push_back(available);
                onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
            });
    }
    std::vector<bool> values;
    bool onMainThread = true;
};

QString missingServer(const QTemporaryDir& folder) {
    return QStringLiteral("unix:%1").arg(folder.filePath(QStringLiteral("no-server")));
}

// ---- The session's server --------------------------------------------------------------------

class PulseAudioSourceMonitorTest : public PulseAudioTest {
protected:
    // The module index of the session's microphone sink.
    static std::optional<QString> micModule() {
        const std::optional<QString> modules =
            pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("modules")});
        for (const QString& line : modules ? modules->split(QLatin1Char('\n')) : QStringList())
            if (line.contains(QStringLiteral("sink_name=mic")))
                return line.section(QLatin1Char('\t'), 0, 0);
        return std::nullopt;
    }

    QtScheduler scheduler;
};

TEST_F(PulseAudioSourceMonitorTest, FollowsTheDefaultSourceAwayAndBack) {
    // The construction waited for the first answer.
    PulseAudioSourceMonitor monitor(scheduler);
    ASSERT_TRUE(monitor.isAvailable());
    AvailabilitySpy spy(monitor);

    const std::optional<int> other = loadNullSink(QStringLiteral("other"));
    ASSERT_TRUE(other);
    ASSERT_TRUE(setDefaultSource(QStringLiteral("other.monitor")));
    const std::optional<QString> mic = micModule();
    ASSERT_TRUE(mic);
    ASSERT_TRUE(pactl({QStringLiteral("unload-module"), *mic}));
    // Put the session's microphone back whatever happens below.
    const auto restore = qScopeGuard([this] {
        if (!micModule())
            pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                   QStringLiteral("sink_name=mic")});
        setDefaultSource(QString::fromLatin1(kMicSource));
    });
    // The default source is other.monitor, which still exists.
    ASSERT_EQ(defaultSource(), QStringLiteral("other.monitor"));
    EXPECT_TRUE(monitor.isAvailable());

    // The default source goes, and no source is left to take its place.
    ASSERT_TRUE(unloadModule(*other));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !spy.values.empty(); }, 5000));
    EXPECT_FALSE(monitor.isAvailable());

    ASSERT_TRUE(pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                       QStringLiteral("sink_name=mic")}));
    ASSERT_TRUE(setDefaultSource(QString::fromLatin1(kMicSource)));
    EXPECT_TRUE(QTest::qWaitFor([&] { return spy.values.size() >= 2; }, 5000));
    EXPECT_TRUE(monitor.isAvailable());
    EXPECT_EQ(spy.values, (std::vector<bool>{false, true}));
    EXPECT_TRUE(spy.onMainThread);
}

// ---- A server that comes and goes --------------------------------------------------------------

// A PulseAudio server of the test's own on a scratch socket, with one null sink, so that it can
// be stopped and started again without touching the session's server.
class ScratchServer {
public:
    explicit ScratchServer(const QTemporaryDir& folder) : folder_(folder) {}
    ~ScratchServer() { stop(); }

    QString address() const { return QStringLiteral("unix:%1").arg(socket()); }

    void start() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"HOME", "XDG_CONFIG_HOME", "PULSE_STATE_PATH", "PULSE_CONFIG_PATH"})
            environment.insert(QString::fromLatin1(name), folder_.path());
        environment.insert(QStringLiteral("PULSE_RUNTIME_PATH"),
                           folder_.filePath(QStringLiteral("runtime")));
        environment.insert(QStringLiteral("PULSE_CONFIG"), QStringLiteral("/dev/null"));
        // The session's server already owns the server's name on the session bus.
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        process_ = std::make_unique<QProcess>();
        process_->setProcessEnvironment(environment);
        process_->setProcessChannelMode(QProcess::MergedChannels);
        process_->start(
            QStringLiteral("pulseaudio"),
            {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
             QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--use-pid-file=no"),
             QStringLiteral("-L"),
             QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=%1").arg(socket()),
             QStringLiteral("-L"), QStringLiteral("module-null-sink sink_name=scratch")});
    }

    bool isRunning() const { return process_ && process_->state() != QProcess::NotRunning; }
    QString output() const { return process_ ? QString::fromUtf8(process_->readAll()) : QString(); }

    void stop() {
        if (!isRunning())
            return;
        process_->terminate();
        if (!process_->waitForFinished(5000)) {
            process_->kill();
            process_->waitForFinished(5000);
        }
    }

private:
    QString socket() const { return folder_.filePath(QStringLiteral("native")); }

    const QTemporaryDir& folder_;
    std::unique_ptr<QProcess> process_;
};

// Where the test's own server cannot run, the test is skipped, and fails where CI is set.
void skipOrFail(const QString& reason) {
    if (!qEnvironmentVariableIsEmpty("CI")) {
        FAIL() << "PulseAudio is required in CI: " << reason.toStdString();
    }
    GTEST_SKIP() << "PulseAudio unavailable: " << reason.toStdString();
}

TEST(PulseAudioSourceMonitorServer, FollowsAServerThatComesGoesAndComesBack) {
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty())
        return skipOrFail(QStringLiteral("pulseaudio is not installed"));
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ScratchServer server(folder);
    QtScheduler scheduler;
    PulseAudioSourceMonitor::Options options;
    options.server = server.address();
    options.firstRetryDelay = 50ms;
    options.longestRetryDelay = 200ms;

    // Not there yet.
    QElapsedTimer clock;
    clock.start();
    PulseAudioSourceMonitor monitor(scheduler, options);
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_FALSE(monitor.isAvailable());
    AvailabilitySpy spy(monitor);

    server.start();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return monitor.isAvailable() || !server.isRunning(); }, 10'000))
        << server.output().toStdString();
    if (!server.isRunning())
        return skipOrFail(
            QStringLiteral("the test's server did not start: %1").arg(server.output()));
    // Each change announced before the next one is made.
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.values.size() >= 1; }, 5000));
    server.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.values.size() >= 2; }, 5000));
    EXPECT_FALSE(monitor.isAvailable());
    server.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.values.size() >= 3; }, 10'000))
        << server.output().toStdString();
    EXPECT_TRUE(monitor.isAvailable());
    EXPECT_EQ(spy.values, (std::vector<bool>{true, false, true}));
    EXPECT_TRUE(spy.onMainThread);
}

// ---- No server ----------------------------------------------------------------------------------

TEST(PulseAudioSourceMonitorWithoutServer, RetriesAfterDelaysThatDoubleUpToTheLongest) {
    QTemporaryDir folder;
    VirtualScheduler scheduler;
    PulseAudioSourceMonitor::Options options;
    options.server = missingServer(folder);
    options.firstRetryDelay = 100ms;
    options.longestRetryDelay = 500ms;
    QElapsedTimer clock;
    clock.start();
    auto monitor = std::make_unique<PulseAudioSourceMonitor>(scheduler, options);
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_FALSE(monitor->isAvailable());

    std::vector<Duration> delays;
    for (int attempt = 0; attempt < 5; ++attempt) {
        // The failed attempt's retry, the only thing scheduled.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return scheduler.pendingCount() == 1 &&
                       scheduler.timeToNext().value_or(options.timeout) < options.timeout;
            },
            5000));
        delays.push_back(*scheduler.timeToNext());
        scheduler.advance(*scheduler.timeToNext());
    }
    EXPECT_EQ(delays, (std::vector<Duration>{100ms, 200ms, 400ms, 500ms, 500ms}));
    EXPECT_FALSE(monitor->isAvailable());
    // Goes with a retry due and the last attempt's report perhaps still on its way.
    scheduler.advance(*scheduler.timeToNext());
    clock.restart();
    monitor.reset();
    EXPECT_LT(clock.elapsed(), 1000);
}

TEST(PulseAudioSourceMonitorWithoutServer, AServerThatNeverAnswersIsGivenUpAndTriedAgain) {
    QTemporaryDir folder;
    // Accepts connections (the kernel's backlog does) and never says a word.
    QLocalServer silent;
    const QString path = folder.filePath(QStringLiteral("silent"));
    ASSERT_TRUE(silent.listen(path));
    int connections = 0;
    QObject::connect(&silent, &QLocalServer::newConnection, [&] {
        while (silent.hasPendingConnections()) {
            silent.nextPendingConnection();
            ++connections;
        }
    });
    QtScheduler scheduler;
    PulseAudioSourceMonitor::Options options;
    options.server = QStringLiteral("unix:%1").arg(path);
    options.timeout = 300ms;
    options.firstRetryDelay = 50ms;

    QElapsedTimer clock;
    clock.start();
    auto monitor = std::make_unique<PulseAudioSourceMonitor>(scheduler, options);
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_FALSE(monitor->isAvailable());
    EXPECT_TRUE(QTest::qWaitFor([&] { return connections >= 3; }, 5000)) << connections;
    EXPECT_FALSE(monitor->isAvailable());
    clock.restart();
    monitor.reset();
    EXPECT_LT(clock.elapsed(), 1000);
}

} // namespace
