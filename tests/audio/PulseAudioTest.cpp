#include "PulseAudioTest.h"

#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include <sndfile.h>

namespace sayloom::testing {

std::optional<QString> PulseAudioTest::unavailableReason() {
    static const std::optional<QString> reason = []() -> std::optional<QString> {
        if (qEnvironmentVariableIsEmpty("SAYLOOM_IN_HEADLESS_SESSION") &&
            qEnvironmentVariableIsEmpty("SAYLOOM_IN_WAYLAND_SESSION") &&
            qEnvironmentVariableIsEmpty("SAYLOOM_IN_SWAY_SESSION") &&
            qEnvironmentVariableIsEmpty("SAYLOOM_IN_KWIN_SESSION"))
            // Never load sinks into, or change the default source of, the desktop's real server.
            return QStringLiteral("run through scripts/lib/headless-session.sh (or "
                                  "wayland-session.sh, sway-session.sh, kwin-session.sh), which "
                                  "starts a private "
                                  "PulseAudio server");
        const QString unavailable = qEnvironmentVariable("SAYLOOM_PULSEAUDIO_UNAVAILABLE");
        if (!unavailable.isEmpty())
            return unavailable;
        if (QStandardPaths::findExecutable(QStringLiteral("paplay")).isEmpty())
            return QStringLiteral("paplay (package pulseaudio-utils) is not installed");
        const std::optional<QString> source = defaultSource();
        if (!source)
            return QStringLiteral("the session's PulseAudio server does not answer");
        if (*source != QLatin1String(kMicSource))
            return QStringLiteral("the default source is %1, not %2").arg(*source, kMicSource);
        return std::nullopt;
    }();
    return reason;
}

std::optional<QString> PulseAudioTest::pactl(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    if (!process.waitForFinished(10'000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

std::optional<QString> PulseAudioTest::defaultSource() {
    return pactl({QStringLiteral("get-default-source")});
}

void PulseAudioTest::SetUp() {
    if (const std::optional<QString> reason = unavailableReason()) {
        if (!qEnvironmentVariableIsEmpty("CI")) {
            FAIL() << "PulseAudio is required in CI: " << reason->toStdString();
        }
        GTEST_SKIP() << "PulseAudio unavailable: " << reason->toStdString();
    }
    ASSERT_TRUE(keepMonitorLive(QString::fromLatin1(kMicSource)));
}

void PulseAudioTest::TearDown() {
    if (unavailableReason())
        return;
    for (const std::unique_ptr<QProcess>& listener : listeners_) {
        listener->kill();
        listener->waitForFinished(5000);
    }
    listeners_.clear();
    for (auto it = loadedModules_.rbegin(); it != loadedModules_.rend(); ++it)
        unloadModule(*it);
    if (defaultSource() != QString::fromLatin1(kMicSource)) {
        EXPECT_TRUE(setDefaultSource(QString::fromLatin1(kMicSource)));
    }
}

std::optional<int> PulseAudioTest::loadNullSink(const QString& name, const QString& arguments) {
    QStringList command{QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                        QStringLiteral("sink_name=%1").arg(name)};
    if (!arguments.isEmpty())
        command += arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const std::optional<QString> output = pactl(command);
    bool ok = false;
    const int index = output ? output->toInt(&ok) : -1;
    if (!ok)
        return std::nullopt;
    loadedModules_.push_back(index);
    if (!keepMonitorLive(QStringLiteral("%1.monitor").arg(name)))
        return std::nullopt;
    return index;
}

bool PulseAudioTest::keepMonitorLive(const QString& source) {
    auto listener = std::make_unique<QProcess>();
    QProcess* process = listener.get();
    // One byte a millisecond, thrown away as it comes.
    auto received = std::make_shared<qint64>(0);
    QObject::connect(process, &QProcess::readyReadStandardOutput, process,
                     [process, received] { *received += process->readAllStandardOutput().size(); });
    process->start(QStringLiteral("parec"),
                   {QStringLiteral("--raw"), QStringLiteral("--format=u8"),
                    QStringLiteral("--rate=1000"), QStringLiteral("--channels=1"),
                    QStringLiteral("--latency-msec=10"), QStringLiteral("-d"), source});
    const bool live = QTest::qWaitFor(
        [&] { return *received > 0 || process->state() == QProcess::NotRunning; }, 5000);
    if (!live || *received == 0)
        return false;
    listeners_.push_back(std::move(listener));
    return true;
}

bool PulseAudioTest::unloadModule(int index) {
    std::erase(loadedModules_, index);
    return pactl({QStringLiteral("unload-module"), QString::number(index)}).has_value();
}

bool PulseAudioTest::setDefaultSource(const QString& source) {
    return pactl({QStringLiteral("set-default-source"), source}).has_value();
}

std::unique_ptr<QProcess> PulseAudioTest::play(const QString& sink, const QString& file) {
    auto player = std::make_unique<QProcess>();
    player->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    player->start(QStringLiteral("paplay"), {QStringLiteral("-d"), sink, file});
    return player;
}

bool PulseAudioTest::waitUntilPlayed(QProcess& player, int timeoutMs) {
    // Not waitForFinished: the recorder's level reaches the test through the event loop.
    return QTest::qWaitFor([&] { return player.state() == QProcess::NotRunning; }, timeoutMs) &&
           player.exitStatus() == QProcess::NormalExit && player.exitCode() == 0;
}

bool writeWaveFile(const QString& path, const std::vector<float>& interleaved, int sampleRate,
                   int channels, int format) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | format;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    const auto frames =
        static_cast<sf_count_t>(interleaved.size() / static_cast<std::size_t>(channels));
    const bool written = sf_writef_float(file, interleaved.data(), frames) == frames;
    return sf_close(file) == 0 && written;
}

std::optional<SoundFileContents> readSoundFile(const QString& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return std::nullopt;
    SoundFileContents contents;
    contents.sampleRate = info.samplerate;
    contents.channels = info.channels;
    contents.format = info.format;
    contents.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    const sf_count_t read = sf_readf_float(file, contents.samples.data(), info.frames);
    sf_close(file);
    if (read != info.frames)
        return std::nullopt;
    return contents;
}

} // namespace sayloom::testing
