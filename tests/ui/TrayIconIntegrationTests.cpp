// The tray icon as a desktop's tray host sees it: the test owns org.kde.StatusNotifierWatcher on
// the session bus of scripts/lib/headless-session.sh, starts a TrayIcon in a probe process, and
// reads and clicks the item over D-Bus.

#include "RealPartRequirement.h"
#include "StatusNotifierWatcher.h"

#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

using namespace sayloom::testing;

namespace {

constexpr int kTimeoutMs = 10'000;

QString missingDesktopPart() {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return QStringLiteral("no X display (run inside scripts/lib/headless-session.sh)");
    if (!QDBusConnection::sessionBus().isConnected())
        return QStringLiteral("no session bus (run inside scripts/lib/headless-session.sh)");
    return {};
}

// The probe process: commands go to its standard input, the signals it got come back as lines.
class TrayProbe {
public:
    TrayProbe() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(TRAY_PROBE), {});
    }
    ~TrayProbe() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(kTimeoutMs)) {
            process_.kill();
            process_.waitForFinished(kTimeoutMs);
        }
    }

    void send(const QString& command) { process_.write((command + QLatin1Char('\n')).toUtf8()); }

    // Waits until the probe reports `line` after the lines matched so far.
    bool waitForLine(const QString& line) {
        return QTest::qWaitFor(
            [&] {
                output_ += process_.readAllStandardOutput();
                const QStringList lines = QString::fromUtf8(output_).split(QLatin1Char('\n'));
                const qsizetype found = lines.indexOf(line, matched_);
                if (found < 0)
                    return false;
                matched_ = found + 1;
                return true;
            },
            kTimeoutMs);
    }

private:
    QProcess process_;
    QByteArray output_;
    qsizetype matched_ = 0;
};

class TrayIconIntegrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_REAL_PART(missingDesktopPart());
        REQUIRE_REAL_PART(watcher.registerOnBus());
        probe = std::make_unique<TrayProbe>();
        item = watcher.waitForItem(kTimeoutMs);
        ASSERT_TRUE(item) << "the tray probe registered no StatusNotifierItem";
    }

    // Waits until the item's tooltip title is `title`.
    bool waitForToolTip(const QString& title) {
        return QTest::qWaitFor([&] { return item->toolTip().title == title; }, kTimeoutMs);
    }
    bool waitForMenu(const QStringList& labels) {
        return QTest::qWaitFor([&] { return item->visibleMenuLabels() == labels; }, kTimeoutMs);
    }

    StatusNotifierWatcher watcher;
    std::unique_ptr<TrayProbe> probe;
    std::optional<StatusNotifierItemClient> item;
};

const QString kOpen = QStringLiteral("Open Sayloom");
const QString kCopy = QStringLiteral("Copy last transcription");
const QString kSignOut = QStringLiteral("Sign out");
const QString kQuit = QStringLiteral("Quit Sayloom");

// Qt 6.4 exports the symbol as IconPixmap only (IconName stays empty unless Qt decides to write
// the icon to a file for the desktop), and the tooltip as the title of ToolTip.
TEST_F(TrayIconIntegrationTest, RegistersActiveWithTheIdleSymbolToolTipAndMenu) {
    EXPECT_EQ(item->status(), QStringLiteral("Active"));
    EXPECT_EQ(item->toolTip().title, QStringLiteral("Sayloom — Ready"));
    const QList<StatusNotifierItemClient::Pixmap> pixmaps = item->iconPixmap();
    ASSERT_FALSE(pixmaps.isEmpty()) << item->lastError().toStdString();
    for (const auto& pixmap : pixmaps)
        EXPECT_EQ(pixmap.argb.size(), qsizetype(pixmap.width) * pixmap.height * 4);
    EXPECT_EQ(item->visibleMenuLabels(), (QStringList{kOpen, QString(), kQuit}));
    EXPECT_EQ(watcher.registeredStatusNotifierItems(), QStringList{item->service() + item->path()});
}

TEST_F(TrayIconIntegrationTest, SymbolAndToolTipFollowTheEngineState) {
    const std::vector<std::pair<QString, QString>> steps = {
        {QStringLiteral("state recording"), QStringLiteral("Sayloom — Listening…")},
        {QStringLiteral("state transcribing"), QStringLiteral("Sayloom — Transcribing…")},
        {QStringLiteral("state error No microphone found"),
         QStringLiteral("Sayloom — No microphone found")},
        {QStringLiteral("state idle"), QStringLiteral("Sayloom — Ready")},
    };
    QList<QList<StatusNotifierItemClient::Pixmap>> symbols{item->iconPixmap()};
    for (const auto& [command, toolTip] : steps) {
        SCOPED_TRACE(command.toStdString());
        probe->send(command);
        ASSERT_TRUE(waitForToolTip(toolTip)) << item->toolTip().title.toStdString();
        symbols << item->iconPixmap();
    }
    // One symbol per state, and idle's again at the end.
    EXPECT_EQ(symbols.last(), symbols.first());
    for (qsizetype i = 0; i < 4; ++i)
        for (qsizetype j = i + 1; j < 4; ++j)
            EXPECT_NE(symbols[i], symbols[j]) << i << " " << j;
}

TEST_F(TrayIconIntegrationTest, MenuFollowsSignInAndTheLastTranscription) {
    const std::vector<std::pair<QStringList, QStringList>> steps = {
        {{QStringLiteral("signed-in yes")}, {kOpen, kSignOut, QString(), kQuit}},
        {{QStringLiteral("last Hello there")}, {kOpen, kCopy, kSignOut, QString(), kQuit}},
        {{QStringLiteral("signed-in no")}, {kOpen, kCopy, QString(), kQuit}},
        {{QStringLiteral("last")}, {kOpen, QString(), kQuit}},
    };
    for (const auto& [commands, labels] : steps) {
        SCOPED_TRACE(commands.join(QLatin1Char(',')).toStdString());
        for (const QString& command : commands)
            probe->send(command);
        EXPECT_TRUE(waitForMenu(labels)) << item->visibleMenuLabels().join(u'|').toStdString();
    }
}

TEST_F(TrayIconIntegrationTest, ClicksReachTheirSignals) {
    probe->send(QStringLiteral("signed-in yes"));
    probe->send(QStringLiteral("last Hello there"));
    ASSERT_TRUE(waitForMenu({kOpen, kCopy, kSignOut, QString(), kQuit}));
    const std::vector<std::pair<QString, QString>> clicks = {
        {kOpen, QStringLiteral("openRequested")},
        {kCopy, QStringLiteral("copyLastTranscriptionRequested")},
        {kSignOut, QStringLiteral("signOutRequested")},
        {kQuit, QStringLiteral("quitRequested")},
    };
    for (const auto& [label, signal] : clicks) {
        ASSERT_TRUE(item->clickMenuItem(label)) << item->lastError().toStdString();
        EXPECT_TRUE(probe->waitForLine(signal)) << signal.toStdString();
    }
    ASSERT_TRUE(item->activate()) << item->lastError().toStdString();
    EXPECT_TRUE(probe->waitForLine(QStringLiteral("activated")));
}

} // namespace
