#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

namespace sayloom::testing {

// Base of the tests that drive the private PulseAudio server of the headless session
// (scripts/lib/headless-session.sh): its default source is the monitor of the null sink "mic".
// Where that server cannot be used the test reports itself skipped with the reason, and fails
// where CI is set. A test leaves the server as it found it: the null sinks it loaded are unloaded
// and the default source is "mic.monitor" again.
class PulseAudioTest : public ::testing::Test {
public:
    static constexpr const char* kMicSink = "mic";
    static constexpr const char* kMicSource = "mic.monitor";

    // Why the session's server cannot be used, or nothing when it can.
    static std::optional<QString> unavailableReason();

    // Runs pactl; its standard output, or nothing when it failed or took more than 10 s.
    static std::optional<QString> pactl(const QStringList& arguments);
    static std::optional<QString> defaultSource();

protected:
    void SetUp() override;
    void TearDown() override;

    // Loads a null sink named `name` (arguments such as "rate=48000 channels=1" may follow) and
    // returns its module index; the test's tear-down unloads it.
    std::optional<int> loadNullSink(const QString& name, const QString& arguments = {});
    bool unloadModule(int index);
    bool setDefaultSource(const QString& source);
    // Starts `paplay -d sink file`; it plays on until it finishes or the returned process goes.
    std::unique_ptr<QProcess> play(const QString& sink, const QString& file);
    // Waits (bounded, running the event loop) for a started player to finish; true when it played
    // everything.
    static bool waitUntilPlayed(QProcess& player, int timeoutMs = 15'000);

private:
    // A null sink that nobody asks for a low latency renders two seconds ahead at a time, so its
    // monitor delivers in two-second bursts, long after the sound was played. A microphone
    // delivers as it hears. A low-latency reader kept on the monitor makes the sink render in
    // small blocks; its first data shows that the sink has switched.
    bool keepMonitorLive(const QString& source);

    std::vector<int> loadedModules_;
    std::vector<std::unique_ptr<QProcess>> listeners_;
};

// Writes `interleaved` frames as a WAV file; `format` is a libsndfile subtype such as
// SF_FORMAT_FLOAT or SF_FORMAT_PCM_16.
bool writeWaveFile(const QString& path, const std::vector<float>& interleaved, int sampleRate,
                   int channels, int format);

// Reads a sound file's interleaved samples, rate and channels; nothing when it is unreadable.
struct SoundFileContents {
    std::vector<float> samples;
    int sampleRate = 0;
    int channels = 0;
    int format = 0;
};
std::optional<SoundFileContents> readSoundFile(const QString& path);

} // namespace sayloom::testing
