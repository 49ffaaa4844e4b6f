#include "cli/InsertCommand.h"

#include "engine/Cld2LanguageRecognizer.h"
#include "engine/TranscriptPostProcessing.h"
#include "insertion/AXFallbackCache.h"
#include "insertion/AccessibilityInjector.h"
#include "insertion/TextInjector.h"
#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/SessionAdapters.h"
#include "settings/AppSettings.h"
#include "support/JsonFileKeyValueStore.h"
#include "support/QtScheduler.h"

#include <QEventLoop>
#include <QTextStream>

#include <cmath>

namespace sayloom {

namespace {

const char* kSynopsis = "[--delay SECONDS] [--raw] TEXT";

struct Options {
    double delaySeconds = 0;
    bool raw = false;
    QString text;
};

std::optional<Options> parse(const QStringList& arguments, QString& problem) {
    Options options;
    QStringList words;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--raw")) {
            options.raw = true;
        } else if (argument == QLatin1String("--delay")) {
            bool ok = false;
            options.delaySeconds = i + 1 < arguments.size() ? arguments[++i].toDouble(&ok) : 0;
            if (!ok || !std::isfinite(options.delaySeconds) || options.delaySeconds < 0) {
                problem = QStringLiteral("--delay needs a number of seconds");
                return std::nullopt;
            }
        } else if (argument == QLatin1String("--")) {
            words += arguments.mid(i + 1);
            break;
        } else if (argument.startsWith(QLatin1String("--"))) {
            problem = QStringLiteral("unknown option %1").arg(argument);
            return std::nullopt;
        } else {
            words << argument;
        }
    }
    if (words.isEmpty()) {
        problem = QStringLiteral("no TEXT to insert");
        return std::nullopt;
    }
    options.text = words.join(QLatin1Char(' '));
    return options;
}

int insert(const Options& options) {
    using namespace linux_desktop;

    QtScheduler scheduler;
    JsonFileKeyValueStore store(JsonFileKeyValueStore::defaultPath());
    AppSettings settings(store);
    const SessionAdapters session(SessionRoads::detect(SessionEnvironment::current()), scheduler);
    AtspiAccessibility accessibility(session.frontmost(), scheduler);
    AccessibilityInjector accessibilityInjector(accessibility, session.frontmost());
    AXFallbackCache fallbackCache(store);
    Pasteboard& pasteboard = session.pasteboard();
    const auto applicationID = [&session] { return session.frontmostApplicationID(); };
    TextInjector injector(TextInjector::Collaborators{
        accessibilityInjector, fallbackCache, pasteboard, session.keyPoster(),
        session.keyPostingTrust(), scheduler, applicationID});
    Cld2LanguageRecognizer recognizer;
    TranscriptPostProcessing postProcessing(accessibilityInjector, settings, recognizer,
                                            applicationID);

    // The event loop runs during the delay: focus changes reach the accessibility tracker.
    QEventLoop loop;
    Timer delay =
        scheduler.scheduleOnce(std::chrono::duration_cast<Duration>(Seconds(options.delaySeconds)),
                               [&loop] { loop.quit(); });
    loop.exec();

    // As the engine hands over a transcript: trimmed, then fitted to where it lands.
    QString text = options.text;
    if (!options.raw) {
        text = text.trimmed();
        if (!text.isEmpty())
            text = postProcessing.process(text, false, std::nullopt);
    }
    const std::optional<QString> application = applicationID();
    const bool result = injector.inject(text);
    QTextStream(stdout) << "app=" << application.value_or(QStringLiteral("unknown"))
                        << " road=" << TextInjector::roadName(injector.lastRoad())
                        << " result=" << (result ? "true" : "false") << Qt::endl;

    // The clipboard is ours until the restore, and typed keys need their keycodes until the
    // target has taken them in: leaving earlier would lose the user's previous clipboard or the
    // last characters.
    Timer poll = scheduler.scheduleRepeating(std::chrono::milliseconds(50), [&] {
        if (!injector.isClipboardRestorePending() && !session.keyPoster().isKeyboardBorrowed())
            loop.quit();
    });
    if (injector.isClipboardRestorePending() || session.keyPoster().isKeyboardBorrowed())
        loop.exec();
    // Where the compositor copies our clipboard (GNOME Wayland), what we leave on it outlives
    // this process only as that copy: it must have been made before we go.
    if (injector.lastRoad() == TextInjector::Road::paste)
        pasteboard.awaitOfferTaken();
    return result ? 0 : 1;
}

} // namespace

Command insertCommand() {
    return Command{QStringLiteral("insert"),
                   QString::fromLatin1(kSynopsis),
                   QStringLiteral("Insert TEXT into the focused field as a dictation would"),
                   Command::Application::gui,
                   checkWith(parse),
                   [](const QStringList& arguments) {
                       QString problem;
                       const std::optional<Options> options = parse(arguments, problem);
                       return options ? insert(*options) : 2;
                   }};
}

} // namespace sayloom
