#include "cli/DoctorCommand.h"

#include "audio/AudioRecorder.h"
#include "cli/AccountServices.h"
#include "engine/SayloomEngine.h"
#include "platform/linux/PulseAudioInput.h"
#include "platform/linux/PulseAudioInputFactory.h"
#include "platform/linux/X11Connection.h"
#include "platform/linux/X11SessionTrust.h"
#include "settings/AppSettings.h"
#include "support/LocalizedError.h"
#include "support/QtScheduler.h"
#include "transcription/APIConfig.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QEventLoop>
#include <QTextStream>

using namespace std::chrono_literals;

namespace sayloom {

namespace {

using namespace linux_desktop;

class Report {
public:
    // One line: "ok" or "!!" and the part, then what is wrong and how to mend it.
    void line(bool ok, const QString& part, const QString& detail, bool required = true) {
        out_ << (ok ? "ok  " : (required ? "!!  " : "--  ")) << part.leftJustified(16) << detail
             << Qt::endl;
        if (!ok && required)
            usable_ = false;
    }
    bool usable() const { return usable_; }

private:
    QTextStream out_{stdout};
    bool usable_ = true;
};

QString linuxKeyName(HotkeyOption option) {
    switch (option) {
    case HotkeyOption::fn:
        return QStringLiteral("Right Ctrl");
    case HotkeyOption::optionKey:
        return QStringLiteral("Alt");
    case HotkeyOption::controlKey:
        return QStringLiteral("Ctrl");
    case HotkeyOption::controlShift:
        return QStringLiteral("Ctrl+Shift");
    }
    return {};
}

void checkSession(Report& report) {
    if (X11Connection::isWaylandSession()) {
        report.line(false, QStringLiteral("session"),
                    QStringLiteral("Wayland: global hotkeys are not supported yet; log in to an "
                                   "X11 (Xorg) session"));
        return;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        report.line(false, QStringLiteral("session"),
                    QStringLiteral("no X11 display (DISPLAY is not set); run this from a terminal "
                                   "of your desktop session"));
        return;
    }
    report.line(true, QStringLiteral("session"),
                QStringLiteral("X11 on %1").arg(qEnvironmentVariable("DISPLAY")));
    X11SessionTrust trust;
    report.line(trust.isProcessTrusted(), QStringLiteral("keys"),
                trust.isProcessTrusted()
                    ? QStringLiteral("XInput 2.2 and XTest present: keys can be observed and typed")
                    : QStringLiteral("the X server lacks XInput 2.2 or XTest"));
}

void checkAccessibilityBus(Report& report) {
    QDBusInterface bus(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                       QStringLiteral("org.a11y.Bus"), QDBusConnection::sessionBus());
    const QDBusReply<QString> address = bus.call(QStringLiteral("GetAddress"));
    // Without it text is pasted instead of inserted directly: dictation still works.
    report.line(address.isValid(), QStringLiteral("accessibility"),
                address.isValid()
                    ? QStringLiteral("the AT-SPI bus answers: text can be inserted directly")
                    : QStringLiteral("no AT-SPI bus (install at-spi2-core); text will be pasted"),
                /*required=*/false);
}

void checkMicrophone(Report& report) {
    const std::unique_ptr<PulseAudioInput> probe = PulseAudioInput::open();
    if (probe->nativeFormat().sampleRate <= 0) {
        report.line(false, QStringLiteral("microphone"),
                    QStringLiteral("%1; check that PulseAudio or PipeWire runs and an input is "
                                   "chosen in the sound settings")
                        .arg(probe->failureReason()));
        return;
    }
    const QString name = probe->inputName().value_or(probe->sourceName());
    AudioRecorder recorder(pulseAudioInputFactory());
    recorder.start();
    if (!recorder.isRecording()) {
        report.line(false, QStringLiteral("microphone"),
                    QStringLiteral("%1 cannot record; see `sayloom record` for details").arg(name));
        return;
    }
    QtScheduler scheduler;
    QEventLoop loop;
    Timer second = scheduler.scheduleOnce(1s, [&loop] { loop.quit(); });
    loop.exec();
    const std::vector<float> samples = recorder.stop();
    const float rms = recorder.lastRecordingRMS();
    const bool heard = rms > 0.002f;
    report.line(true, QStringLiteral("microphone"),
                QStringLiteral("%1, %2 Hz %3 ch; level over one second: RMS %4%5")
                    .arg(name)
                    .arg(probe->nativeFormat().sampleRate)
                    .arg(probe->nativeFormat().channels)
                    .arg(QString::number(rms, 'f', 4))
                    .arg(heard
                             ? QString()
                             : QStringLiteral(" (silence: is the input muted or the wrong one?)")));
}

QCoro::Task<void> checkAccount(Report& report, AccountServices& services) {
    FirebaseAuthManager& auth = services.auth();
    co_await auth.waitUntilRestored();
    report.line(auth.isLoggedIn(), QStringLiteral("account"),
                auth.isLoggedIn()
                    ? QStringLiteral("signed in (%1 keychain)").arg(services.keychainKind())
                    : QStringLiteral("not signed in (%1 keychain); open Sayloom and sign in")
                          .arg(services.keychainKind()));

    URLRequest request = SayloomEngine::warmupRequest(APIConfig::endpoints().warmupURL());
    QString detail;
    bool reachable = false;
    try {
        const URLSessionResult result = co_await services.session().data(std::move(request));
        reachable = true;
        detail = QStringLiteral("%1 answers (HTTP %2)")
                     .arg(APIConfig::endpoints().apiBaseURL())
                     .arg(result.response.statusCode);
    } catch (const std::exception& error) {
        detail = QStringLiteral("%1 cannot be reached: %2; check the network")
                     .arg(APIConfig::endpoints().apiBaseURL(), localizedDescription(error));
    }
    report.line(reachable, QStringLiteral("service"), detail);
}

void checkHotkeys(Report& report, KeyValueStore& defaults) {
    AppSettings settings(defaults);
    QString detail =
        QStringLiteral("dictation: %1 (%2)")
            .arg(displayName(settings.selectedHotkey()), linuxKeyName(settings.selectedHotkey()));
    if (settings.translationEnabled())
        detail += QStringLiteral("; translation: %1 (%2)")
                      .arg(displayName(settings.selectedTranslationHotkey()),
                           linuxKeyName(settings.selectedTranslationHotkey()));
    report.line(true, QStringLiteral("hotkey"), detail);
}

std::optional<QString> check(const QStringList& arguments) {
    if (arguments.isEmpty())
        return std::nullopt;
    return QStringLiteral("unexpected argument \"%1\"").arg(arguments.first());
}

int run(const QStringList&) {
    Report report;
    checkSession(report);
    checkAccessibilityBus(report);
    checkMicrophone(report);
    if (const auto error = AccountServices::configurationError()) {
        report.line(false, QStringLiteral("account"), *error);
    } else {
        AccountServices services;
        QCoro::waitFor(checkAccount(report, services));
        checkHotkeys(report, services.defaults());
    }
    return report.usable() ? 0 : 1;
}

} // namespace

Command doctorCommand() {
    return Command{
        QStringLiteral("doctor"),
        QString(),
        QStringLiteral("Check every part dictation needs and say how to mend what fails."),
        Command::Application::core,
        check,
        run};
}

} // namespace sayloom
