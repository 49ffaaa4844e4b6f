#include "DictationEndToEnd.h"

#include <QDir>
#include <QFile>

#include <cstdio>

using namespace sayloom;
using namespace sayloom::testing;

namespace {

TEST_F(DictationEndToEnd, HoldSpeakReleaseAndTheTextLandsInTheFocusedField) {
    const QString field = X11Desktop::activeWindow();
    // While the key is held the pill shows at the bottom centre, and the field keeps the focus.
    dictate([&] {
        const auto pill = X11Desktop::waitForWindow(QStringLiteral("^Sayloom recording indicator$"),
                                                    sayloom.processId());
        ASSERT_TRUE(pill);
        const auto geometry = X11Desktop::geometry(*pill);
        ASSERT_TRUE(geometry);
        EXPECT_NEAR(geometry->center().x(), 640, 1);
        EXPECT_EQ(geometry->bottom() + 1, 800 - 30);
        EXPECT_EQ(X11Desktop::activeWindow(), field);
    });
    EXPECT_EQ(fields->waitForText(QStringLiteral("line"), kAnswer, std::chrono::seconds(30)),
              kAnswer);
    ASSERT_TRUE(waitForLog("Transcription completed")) << log.toStdString();
    ASSERT_EQ(requestsTo("/v1/transcribe"), 1);
    ASSERT_TRUE(bodies.front().has_value()) << "the request carried an Ogg Opus stream";
    // The phrase lasts about two seconds; the recording holds it.
    EXPECT_GE(bodies.front()->samples.size(), 48000u) << "at least a second of audio at 48 kHz";

    // Escape during a recording: nothing is sent.
    dictate([&] {
        ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
        ASSERT_TRUE(waitForLog("Recording cancelled by user"));
    });
    // Waiting for something not to happen: a request after the key-up would arrive within a
    // second (the first one took well under that).
    QTest::qWait(1000);
    EXPECT_EQ(requestsTo("/v1/transcribe"), 1) << log.toStdString();
    EXPECT_EQ(fields->text(QStringLiteral("line")), kAnswer);
    // Once the engine is idle the pill is gone.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return X11Desktop::visibleWindows(QStringLiteral("^Sayloom recording indicator$"),
                                              sayloom.processId())
                .isEmpty();
        },
        kBoundMs));
}

TEST_F(DictationEndToEnd, ADictationNobodyTakesWaitsOnTheClipboardAndThePillSaysSo) {
    const auto xclip = [](const QStringList& arguments, const QByteArray& input = {}) {
        QProcess process;
        process.start(QStringLiteral("xclip"),
                      QStringList{QStringLiteral("-selection"), QStringLiteral("clipboard")} +
                          arguments);
        process.write(input);
        process.closeWriteChannel();
        // xclip -i serves the selection from the background once its input is read.
        (void)QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, kBoundMs);
        return process.readAllStandardOutput();
    };
    xclip({QStringLiteral("-i")}, "copied before");
    // A button takes no paste.
    ASSERT_TRUE(fields->focus(QStringLiteral("button")));
    dictate();
    ASSERT_TRUE(waitForLog("leaving it on the clipboard")) << log.toStdString();

    const QString copied = QStringLiteral("Copied. Press Ctrl+V to paste");
    ASSERT_TRUE(X11Desktop::waitForWindow(QStringLiteral("^Sayloom recording indicator$"),
                                          sayloom.processId()));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return AccessibleTree::names(sayloom.processId()).contains(copied); }, kBoundMs))
        << AccessibleTree::names(sayloom.processId()).join('|').toStdString();
    EXPECT_EQ(QString::fromUtf8(xclip({QStringLiteral("-o")})), kAnswer);
    // The notice goes after a few seconds, and the pill with it.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return X11Desktop::visibleWindows(QStringLiteral("^Sayloom recording indicator$"),
                                              sayloom.processId())
                .isEmpty();
        },
        kBoundMs));
}

TEST_F(DictationEndToEnd, ASpentWeeklyAllowanceOpensTheLimitWindow) {
    weeklyLimitSpent = true;
    dictate();
    const auto window =
        X11Desktop::waitForWindow(QStringLiteral("^Upgrade to keep talking$"), sayloom.processId());
    ASSERT_TRUE(window) << log.toStdString();
    EXPECT_EQ(X11Desktop::geometry(*window)->size(), QSize(352, 280));
    QStringList texts;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            texts = AccessibleTree::names(sayloom.processId());
            return texts.contains(QStringLiteral("Upgrade to Pro"));
        },
        kBoundMs));
    for (const char* text : {"You've hit your weekly limit", "Upgrade to Pro", "Dismiss"})
        EXPECT_TRUE(texts.contains(QString::fromUtf8(text))) << text << "\n"
                                                             << texts.join('|').toStdString();
    EXPECT_TRUE(texts.join(' ').contains(QStringLiteral("your free words reset on Monday")));

    // Escape dismisses it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return X11Desktop::activeWindow() == *window; }, kBoundMs));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return X11Desktop::visibleWindows(QStringLiteral("^Upgrade to keep talking$"),
                                              sayloom.processId())
                .isEmpty();
        },
        kBoundMs));
}

TEST_F(DictationEndToEnd, DoctorFindsEveryPartWorkingAndNamesWhatFails) {
    sayloom.terminate(); // doctor checks the same microphone and keychain
    ASSERT_TRUE(sayloom.waitForFinished(10'000));
    const auto healthy = process.run({QStringLiteral("doctor")});
    EXPECT_EQ(healthy.exitCode, 0) << healthy.out.toStdString() << healthy.err.toStdString();
    for (const char* line : {"ok  session", "ok  keys", "ok  accessibility", "ok  microphone",
                             "ok  account", "ok  service", "ok  hotkey"})
        EXPECT_TRUE(healthy.out.contains(line)) << line << "\n" << healthy.out.toStdString();
    EXPECT_TRUE(healthy.out.contains("dictation: Right Ctrl (Right Ctrl)"));

    serviceDown = true;
    const auto offline = process.run({QStringLiteral("doctor")});
    EXPECT_EQ(offline.exitCode, 1);
    EXPECT_TRUE(offline.out.contains("!!  service")) << offline.out.toStdString();
}

// Resources of a process as /proc tells them.
struct ProcessUsage {
    double residentMB = 0;
    int threads = 0;
    int openFiles = 0;
};

ProcessUsage usageOf(qint64 pid) {
    ProcessUsage usage;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                usage.residentMB = line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
            else if (line.startsWith("Threads:"))
                usage.threads = line.mid(8).trimmed().toInt();
        }
    }
    usage.openFiles = static_cast<int>(
        QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::Files | QDir::System).size());
    return usage;
}

// Many dictations in a row (SAYLOOM_SOAK_DICTATIONS, 20 unless set; bench/soak.sh runs 200): each
// one's text arrives, and after the first ten the process grows by at most 5 MB and keeps its
// threads and open files.
TEST_F(DictationEndToEnd, ManyDictationsInARowEachArriveAndLeaveNothingBehind) {
    numberedAnswers = true;
    const int total = qEnvironmentVariableIsSet("SAYLOOM_SOAK_DICTATIONS")
                          ? qEnvironmentVariableIntValue("SAYLOOM_SOAK_DICTATIONS")
                          : 20;
    ProcessUsage afterTen;
    int arrived = 0;
    for (int i = 1; i <= total; ++i) {
        ASSERT_TRUE(fields->setText(QStringLiteral("line"), QString()));
        ASSERT_NO_FATAL_FAILURE(dictate());
        const QString expected = QStringLiteral("Soak dictation %1.").arg(i);
        if (fields->waitForText(QStringLiteral("line"), expected, std::chrono::seconds(30)) ==
            expected)
            ++arrived;
        if (i == 10)
            afterTen = usageOf(sayloom.processId());
    }
    EXPECT_EQ(arrived, total) << "every dictation's text arrived";
    if (total < 10)
        return;
    const ProcessUsage atEnd = usageOf(sayloom.processId());
    std::printf("soak: %d dictations; after 10: %.1f MB, %d threads, %d files; after %d: %.1f MB, "
                "%d threads, %d files\n",
                total, afterTen.residentMB, afterTen.threads, afterTen.openFiles, total,
                atEnd.residentMB, atEnd.threads, atEnd.openFiles);
    EXPECT_LE(atEnd.residentMB - afterTen.residentMB, 5.0);
    EXPECT_EQ(atEnd.threads, afterTen.threads);
    EXPECT_EQ(atEnd.openFiles, afterTen.openFiles);
}

} // namespace
