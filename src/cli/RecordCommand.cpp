#include "cli/RecordCommand.h"

#include "audio/AudioRecorder.h"
#include "cli/CommandOutput.h"
#include "cli/InterruptWatcher.h"
#include "platform/linux/PulseAudioInputFactory.h"
#include "support/QtScheduler.h"

#include <QEventLoop>
#include <QFile>
#include <QTextStream>

#include <sndfile.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

namespace sayloom {

namespace {

// What the dictation engine treats as "nothing was said".
constexpr float kSilentRMS = 0.002f;
constexpr int kMeterWidth = 30;

QString meterLine(float level, double seconds, std::optional<double> limit) {
    const int filled =
        std::clamp(static_cast<int>(std::lround(level * kMeterWidth)), 0, kMeterWidth);
    QString line =
        QStringLiteral("\r[%1%2] %3 s")
            .arg(QString(filled, QLatin1Char('#')), QString(kMeterWidth - filled, QLatin1Char('.')))
            .arg(seconds, 5, 'f', 1);
    line +=
        limit ? QStringLiteral(" of %1").arg(*limit, 0, 'f', 1) : QStringLiteral("  Ctrl+C stops");
    return line;
}

using SoundFile = std::unique_ptr<SNDFILE, int (*)(SNDFILE*)>;

// Opened before recording, so that a path that cannot be written is said at once rather than
// after the user has spoken.
SoundFile createWave(const QString& path, QString& error) {
    SF_INFO info{};
    info.samplerate = AudioRecorder::kSampleRate;
    info.channels = 1;
    // Float keeps the samples exactly as the recorder captured them: `sayloom prepare` of this
    // file then sends what a dictation would have sent.
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SoundFile file(sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info), &sf_close);
    if (!file)
        error = QString::fromUtf8(sf_strerror(nullptr));
    return file;
}

bool finishWave(SoundFile file, const std::vector<float>& samples, QString& error) {
    const auto count = static_cast<sf_count_t>(samples.size());
    const bool written = sf_writef_float(file.get(), samples.data(), count) == count;
    if (!written)
        error = QString::fromUtf8(sf_strerror(file.get()));
    if (sf_close(file.release()) != 0 && written) {
        error = QStringLiteral("the file could not be completed");
        return false;
    }
    return written;
}

struct Options {
    QString output;
    std::optional<double> seconds;
};

std::optional<Options> parse(const QStringList& arguments, QString& problem) {
    Options options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if ((argument == QLatin1String("-o") || argument == QLatin1String("--output")) &&
            hasValue) {
            options.output = arguments[++i];
        } else if (argument == QLatin1String("--seconds") && hasValue) {
            bool ok = false;
            const double value = arguments[++i].toDouble(&ok);
            if (!ok || !(value > 0) || !std::isfinite(value)) {
                problem = QStringLiteral("--seconds wants a positive number");
                return std::nullopt;
            }
            // The recorder ends every recording at ten minutes anyway.
            options.seconds = std::min(value, 3600.0);
        } else {
            problem = QStringLiteral("unexpected argument \"%1\"").arg(argument);
            return std::nullopt;
        }
    }
    if (options.output.isEmpty()) {
        problem = QStringLiteral("no OUTPUT.wav (-o)");
        return std::nullopt;
    }
    return options;
}

int run(const QStringList& arguments) {
    QString problem;
    const std::optional<Options> options = parse(arguments, problem);
    if (!options)
        return 2;
    const QString& output = options->output;
    const std::optional<double>& seconds = options->seconds;

    QString error;
    SoundFile wave = createWave(output, error);
    if (!wave) {
        printError(QStringLiteral("cannot write %1: %2").arg(output, error));
        return 1;
    }

    QTextStream err(stderr);
    QEventLoop loop;
    QtScheduler scheduler;
    bool interrupted = false;

    InterruptWatcher interrupts;
    if (!interrupts.isWatching()) {
        printError(QStringLiteral("cannot watch for Ctrl+C"));
        return 1;
    }
    QObject::connect(&interrupts, &InterruptWatcher::interrupted, &loop, &QEventLoop::quit);

    AudioRecorder recorder(linux_desktop::pulseAudioInputFactory());
    const bool meter = ::isatty(STDERR_FILENO) == 1;
    const auto clearMeter = [&] {
        if (meter)
            err << "\r\033[K" << Qt::flush;
    };
    recorder.setOnAudioInterrupted([&] {
        interrupted = true;
        loop.quit();
    });
    recorder.setOnDurationWarning([&](const QString& notice) {
        clearMeter();
        err << notice << Qt::endl;
    });
    recorder.setOnDurationLimitReached([&](const QString& notice) {
        clearMeter();
        err << notice << Qt::endl;
        loop.quit();
    });

    recorder.start();
    if (!recorder.isRecording()) {
        wave.reset();
        QFile::remove(output);
        printError(QStringLiteral("cannot record: no usable microphone (see the lines above)"));
        return 1;
    }
    const MonotonicInstant started = scheduler.monotonicNow();
    const auto elapsed = [&] { return Seconds(scheduler.monotonicNow() - started).count(); };
    Timer limitTimer;
    if (seconds)
        limitTimer = scheduler.scheduleOnce(std::chrono::duration_cast<Duration>(Seconds(*seconds)),
                                            [&loop] { loop.quit(); });
    Timer meterTimer;
    if (meter)
        meterTimer = scheduler.scheduleRepeating(std::chrono::milliseconds(50), [&] {
            err << meterLine(recorder.audioLevel(), elapsed(), seconds) << Qt::flush;
        });
    else
        err << (seconds ? QStringLiteral("Recording for %1 s.").arg(*seconds)
                        : QStringLiteral("Recording; press Ctrl+C to stop."))
            << Qt::endl;

    loop.exec();
    meterTimer.cancel();
    limitTimer.cancel();
    clearMeter();
    const std::vector<float> samples = recorder.stop();
    interrupts.release();

    if (interrupted)
        printError(QStringLiteral("the microphone changed or went away during the recording; "
                                  "writing what was captured before"));
    if (!finishWave(std::move(wave), samples, error)) {
        printError(QStringLiteral("cannot write %1: %2").arg(output, error));
        return 1;
    }
    const float rms = recorder.lastRecordingRMS();
    QTextStream(stdout) << "samples=" << samples.size() << " seconds="
                        << QString::number(static_cast<double>(samples.size()) /
                                               AudioRecorder::kSampleRate,
                                           'f', 2)
                        << " rms=" << QString::number(rms, 'f', 4) << Qt::endl;
    if (!(rms > kSilentRMS))
        printError(QStringLiteral("the recording is silent: dictation would ignore it. Check that "
                                  "the right microphone is the default input and that it is not "
                                  "muted (for example with pavucontrol or your desktop's sound "
                                  "settings)."));
    return interrupted ? 1 : 0;
}

} // namespace

Command recordCommand() {
    return Command{
        QStringLiteral("record"),
        QStringLiteral("-o OUTPUT.wav [--seconds N]"),
        QStringLiteral("Record the microphone as dictation hears it, with a level meter."),
        Command::Application::core,
        checkWith(parse),
        run};
}

} // namespace sayloom
