#include "cli/DoctorCommand.h"

#include "audio/AudioRecorder.h"
#include "cli/AccountServices.h"
#include "engine/SayloomEngine.h"
#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/DataControlPasteboard.h"
#include "platform/linux/KdeFakeInputKeyPoster.h"
#include "platform/linux/MutterRemoteDesktopKeyPoster.h"
#include "platform/linux/PulseAudioInput.h"
#include "platform/linux/PulseAudioInputFactory.h"
#include "platform/linux/SessionRoads.h"
#include "platform/linux/VirtualKeyboardKeyPoster.h"
#include "platform/linux/WaylandConnection.h"
#include "platform/linux/X11Connection.h"
#include "platform/linux/X11SessionTrust.h"
#include "settings/AppSettings.h"
#include "support/LocalizedError.h"
#include "support/PlatformText.h"
#include "support/QtScheduler.h"
#include "transcription/APIConfig.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QEventLoop>
#include <QTextStream>

#include <algorithm>

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
    const SessionRoads roads = SessionRoads::detect(SessionEnvironment::current());
    const QString display = qEnvironmentVariable("DISPLAY");
    if (roads.wayland) {
        const QString desktop =
            roads.desktop.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(roads.desktop);
        report.line(!display.isEmpty(), QStringLiteral("session"),
                    display.isEmpty()
                        ? QStringLiteral("Wayland%1 without XWayland (DISPLAY is not set): "
                                         "Sayloom's windows need it")
                              .arg(desktop)
                        : QStringLiteral("Wayland%1; Sayloom's windows use XWayland on %2")
                              .arg(desktop, display));
    } else if (display.isEmpty()) {
        report.line(false, QStringLiteral("session"),
                    QStringLiteral("no X11 display (DISPLAY is not set); run this from a terminal "
                                   "of your desktop session"));
        return;
    } else {
        report.line(true, QStringLiteral("session"), QStringLiteral("X11 on %1").arg(display));
    }
    for (const DoctorLine& line : roadLines(roads))
        report.line(line.ok, line.part, line.detail);
    const auto offered = [&roads](InsertionRoad road) {
        return std::find(roads.insertionRoads.cbegin(), roads.insertionRoads.cend(), road) !=
               roads.insertionRoads.cend();
    };
    if (offered(InsertionRoad::mutterRemoteDesktop)) {
        // Without it dictation still reaches the fields on the accessibility bus.
        const bool offered = MutterRemoteDesktopKeyPoster::isServiceAvailable();
        report.line(offered, QStringLiteral("keys"),
                    offered
                        ? QStringLiteral("GNOME's remote desktop interface answers: text can be "
                                         "pasted and typed (GNOME may ask once to allow "
                                         "remote control)")
                        : QStringLiteral("GNOME's remote desktop interface is not on the "
                                         "session bus; text will only reach fields on the "
                                         "accessibility bus"),
                    /*required=*/false);
    }
    if (offered(InsertionRoad::virtualKeyboard) || offered(InsertionRoad::kdeFakeInput)) {
        const auto compositor = WaylandConnection::connect();
        const bool sway = offered(InsertionRoad::virtualKeyboard);
        const bool keys = sway ? VirtualKeyboardKeyPoster::isOffered(compositor.get())
                               : KdeFakeInputKeyPoster::isOffered(compositor.get());
        const bool clipboard = DataControlPasteboard::isOffered(compositor.get());
        const QString keysName =
            sway ? QStringLiteral("virtual keyboards") : QStringLiteral("fake input (keys)");
        QString detail;
        if (!compositor)
            detail = QStringLiteral("no connection to the compositor (WAYLAND_DISPLAY); text will "
                                    "only reach fields on the accessibility bus");
        else if (!keys)
            detail = QStringLiteral("the compositor offers no %1; text will only reach fields on "
                                    "the accessibility bus")
                         .arg(keysName);
        else
            detail =
                QStringLiteral("the compositor offers %1%2: text can be pasted and typed")
                    .arg(keysName, clipboard ? QStringLiteral(" and clipboard access") : QString());
        report.line(keys, QStringLiteral("keys"), detail, /*required=*/false);
    }
    if (roads.wayland)
        return;
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
    if (!address.isValid()) {
        report.line(false, QStringLiteral("accessibility"),
                    QStringLiteral("no AT-SPI bus (install at-spi2-core); text will be pasted"),
                    /*required=*/false);
        return;
    }
    const bool enabled = AtspiAccessibility::isAccessibilityEnabled(1s).value_or(false);
    report.line(true, QStringLiteral("accessibility"),
                enabled ? QStringLiteral("the AT-SPI bus answers: text can be inserted directly")
                        : QStringLiteral("the AT-SPI bus answers but is switched off; Sayloom "
                                         "switches it on when it starts. ") +
                              platformText(PlatformTextKey::restartAppsForAccessibility));
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

std::vector<DoctorLine> roadLines(const SessionRoads& roads) {
    const auto names = [](const auto& list) {
        QStringList out;
        for (const auto road : list)
            out << name(road) +
                       (isBuilt(road) ? QString() : QStringLiteral(" (not yet supported)"));
        return out.join(QStringLiteral(", "));
    };
    std::vector<DoctorLine> lines;
    const auto usable = std::find_if(roads.hotkeyRoads.begin(), roads.hotkeyRoads.end(),
                                     [](HotkeyRoad road) { return isBuilt(road); });
    // "offered" lists the others only when there are others.
    const auto withOffered = [&](const QString& used, const QString& offered) {
        return used == offered ? used : QStringLiteral("%1 (offered: %2)").arg(used, offered);
    };
    if (usable != roads.hotkeyRoads.end()) {
        lines.push_back({true, QStringLiteral("hotkey road"),
                         withOffered(name(*usable), names(roads.hotkeyRoads))});
    } else {
        const bool keyboardsUnread =
            roads.wayland && std::find(roads.hotkeyRoads.begin(), roads.hotkeyRoads.end(),
                                       HotkeyRoad::evdev) == roads.hotkeyRoads.end();
        QString detail =
            roads.hotkeyRoads.empty()
                ? QStringLiteral("none in this session")
                : QStringLiteral("none usable (offered: %1)").arg(names(roads.hotkeyRoads));
        if (keyboardsUnread)
            detail += QStringLiteral("; ") + QString::fromLatin1(kInputGroupStep);
        lines.push_back({false, QStringLiteral("hotkey road"), detail});
    }
    QStringList used;
    for (const InsertionRoad road : roads.insertionRoads)
        if (isBuilt(road))
            used << name(road);
    lines.push_back({!used.isEmpty(), QStringLiteral("insertion"),
                     withOffered(used.isEmpty() ? QStringLiteral("none usable")
                                                : used.join(QStringLiteral(", ")),
                                 names(roads.insertionRoads))});
    return lines;
}

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
