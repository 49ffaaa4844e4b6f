#include "AccessibleTree.h"
#include "FieldsApp.h"
#include "LoopbackHttpServer.h"
#include "RealPartRequirement.h"
#include "SayloomProcess.h"
#include "StatusNotifierWatcher.h"
#include "X11Desktop.h"

#include "support/PlatformText.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::testing;
using Request = LoopbackHttpServer::Request;
using Responder = LoopbackHttpServer::Responder;

namespace {

constexpr int kBoundMs = 30'000;

// A program standing in for the desktop's browser or settings: it notes its arguments in a file.
class StandIn {
public:
    explicit StandIn(const QString& name) : path_(folder_.filePath(name)) {
        QFile script(path_);
        if (script.open(QIODevice::WriteOnly)) {
            script.write("#!/bin/sh\necho \"$*\" > '" + record().toUtf8() + "'\n");
            script.close();
            script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        }
    }
    const QString& path() const { return path_; }
    QString folder() const { return folder_.path(); }
    QString record() const { return path_ + QStringLiteral(".started"); }
    // What it was started with, once it was.
    std::optional<QByteArray> waitForStart(int timeoutMs) const {
        if (!QTest::qWaitFor([&] { return QFile::exists(record()); }, timeoutMs))
            return std::nullopt;
        QFile started(record());
        if (!started.open(QIODevice::ReadOnly))
            return std::nullopt;
        return started.readAll().trimmed();
    }

private:
    QTemporaryDir folder_;
    QString path_;
};

// The desktop application as a person meets it on the test display: its tray icon as the tray
// host sees it, its windows as the window manager maps them, their texts as a screen reader reads
// them.
class DesktopApp : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_REAL_PART(
            qEnvironmentVariableIsEmpty("DISPLAY")
                ? QStringLiteral("no X display: run inside scripts/lib/headless-session.sh")
                : QString());
        REQUIRE_REAL_PART(watcher.registerOnBus());
        ASSERT_TRUE(server.isListening());
        server.setHandler([](const Request& request, Responder& responder) {
            if (request.path() == "/v1/token")
                responder.respond(200, SayloomProcess::tokenResponse());
            else
                responder.respond(200, "{}");
        });
        // Qt applications join the accessibility bus only when asked.
        process.setEnvironmentValue(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"),
                                    QStringLiteral("1"));
    }

    void TearDown() override {
        if (sayloom.state() != QProcess::NotRunning) {
            sayloom.terminate();
            EXPECT_TRUE(sayloom.waitForFinished(10'000));
        }
    }

    void start() {
        sayloom.setProcessEnvironment(process.environment());
        sayloom.setProcessChannelMode(QProcess::MergedChannels);
        sayloom.start(QStringLiteral(SAYLOOM_EXECUTABLE), {});
        ASSERT_TRUE(waitForLog("Application launched")) << log.toStdString();
    }

    bool waitForLog(const char* fragment) {
        return QTest::qWaitFor(
            [&] {
                log += sayloom.readAll();
                return log.contains(fragment);
            },
            kBoundMs);
    }

    // The accessible names of the showing objects, once `expected` shows among them.
    QStringList waitForTexts(const QString& expected) {
        QStringList names;
        (void)QTest::qWaitFor(
            [&] {
                names = AccessibleTree::names(sayloom.processId());
                return names.contains(expected);
            },
            kBoundMs);
        return names;
    }

    StatusNotifierWatcher watcher;
    LoopbackHttpServer server;
    SayloomProcess process{server, QStringLiteral(SAYLOOM_EXECUTABLE)};
    QProcess sayloom;
    QByteArray log;
};

TEST_F(DesktopApp, SignedOutTheTrayOffersLittleAndTheSignInWindowOpensInTheMiddle) {
    start();
    std::optional<StatusNotifierItemClient> item = watcher.waitForItem(kBoundMs);
    ASSERT_TRUE(item) << "the tray icon registered with the tray host";
    EXPECT_EQ(item->status(), QStringLiteral("Active"));
    EXPECT_EQ(item->toolTip().title, QStringLiteral("Sayloom — Ready"));
    EXPECT_FALSE(item->iconPixmap().isEmpty());
    EXPECT_EQ(item->visibleMenuLabels(), (QStringList{"Open Sayloom", QString(), "Quit Sayloom"}));

    const auto login = X11Desktop::waitForWindow(QStringLiteral("^Sayloom$"), sayloom.processId());
    ASSERT_TRUE(login) << log.toStdString();
    const auto geometry = X11Desktop::geometry(*login);
    ASSERT_TRUE(geometry);
    EXPECT_EQ(geometry->size(), QSize(380, 440));
    EXPECT_NEAR(geometry->center().x(), 640, 2) << "centred on the 1280 × 800 screen";
    EXPECT_NEAR(geometry->center().y(), 400, 30) << "the title bar is not counted";
    EXPECT_TRUE(QTest::qWaitFor([&] { return X11Desktop::activeWindow() == *login; }, kBoundMs));

    const QStringList texts = waitForTexts(QStringLiteral("Continue with GitHub"));
    for (const char* text :
         {"Sayloom", "AI Voice Keyboard", "Continue with Google", "Continue with GitHub"})
        EXPECT_TRUE(texts.contains(QString::fromUtf8(text))) << text << "\n"
                                                             << texts.join('|').toStdString();

    // Another window takes the focus; starting Sayloom again brings the same window back.
    auto fields = FieldsApp::start(FieldsApp::Toolkit::qt);
    ASSERT_TRUE(fields);
    ASSERT_TRUE(fields->focus(QStringLiteral("line")));
    const auto again = process.run({}, kBoundMs);
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return X11Desktop::activeWindow() == *login; }, kBoundMs));
    EXPECT_EQ(X11Desktop::visibleWindows(QStringLiteral("^Sayloom$"), sayloom.processId()),
              QStringList{*login});

    // "Quit Sayloom" ends the process after stopping the engine.
    ASSERT_TRUE(item->clickMenuItem(QStringLiteral("Quit Sayloom")));
    ASSERT_TRUE(sayloom.waitForFinished(kBoundMs));
    EXPECT_EQ(sayloom.exitCode(), 0);
    log += sayloom.readAll();
    EXPECT_TRUE(log.contains("Engine stopped before exit"));
}

TEST_F(DesktopApp, AMissingMicrophoneOpensThePermissionsWindowWhichLeadsToTheSoundSettings) {
    // No sound server: the microphone is missing. The desktop's sound settings are a stand-in.
    StandIn settings(QStringLiteral("gnome-control-center"));
    process.setEnvironmentValue(QStringLiteral("PATH"), settings.folder() + QLatin1Char(':') +
                                                            qEnvironmentVariable("PATH"));
    process.setEnvironmentValue(QStringLiteral("PULSE_SERVER"),
                                QStringLiteral("unix:/nonexistent/sound-server"));
    process.signIn();
    start();

    ASSERT_TRUE(X11Desktop::xdotool({QStringLiteral("keydown"), QStringLiteral("Control_R")}));
    ASSERT_TRUE(X11Desktop::xdotool({QStringLiteral("keyup"), QStringLiteral("Control_R")}));
    const auto window =
        X11Desktop::waitForWindow(QStringLiteral("^Permissions required$"), sayloom.processId());
    ASSERT_TRUE(window) << log.toStdString();
    EXPECT_EQ(X11Desktop::geometry(*window)->size(), QSize(352, 280));
    const QStringList texts = waitForTexts(QStringLiteral("Open Settings"));
    for (const QString& text :
         {QStringLiteral("Microphone access needed"),
          platformText(PlatformTextKey::permissionsNeededMicrophone), QStringLiteral("Dismiss")})
        EXPECT_TRUE(texts.contains(text)) << text.toStdString() << "\n"
                                          << texts.join('|').toStdString();

    // Return presses the default button, "Open Settings".
    ASSERT_TRUE(QTest::qWaitFor([&] { return X11Desktop::activeWindow() == *window; }, kBoundMs));
    ASSERT_TRUE(X11Desktop::xdotool({QStringLiteral("key"), QStringLiteral("Return")}));
    EXPECT_EQ(settings.waitForStart(kBoundMs), std::optional<QByteArray>("sound"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return X11Desktop::visibleWindows(QStringLiteral("^Permissions required$"),
                                              sayloom.processId())
                .isEmpty();
        },
        kBoundMs));
}

// The service's answers for a signed-in user whose version check says `versionAnswer`.
void answerSignedIn(LoopbackHttpServer& server, QByteArray versionAnswer) {
    server.setHandler([versionAnswer](const Request& request, Responder& responder) {
        if (request.path() == "/v1/token")
            responder.respond(200, SayloomProcess::tokenResponse());
        else if (request.path() == "/v1/app/version-check")
            responder.respond(200, versionAnswer);
        else if (request.path() == "/v1/auth/me")
            responder.respond(200, R"({"user":{"email":"kim@example.com","name":"Kim Lee"},)"
                                   R"("wordUsage":{"wordsUsed":120,"wordLimit":2500}})");
        else
            responder.respond(200, "{}");
    });
}

TEST_F(DesktopApp, AnUpdateShowsTheBannerAndTheTrayDotAndTheTrayOpensTheMenu) {
    process.signIn();
    // Without an update first: the tray's symbol as it is then.
    answerSignedIn(server, R"({"updateAvailable":false})");
    start();
    std::optional<StatusNotifierItemClient> item = watcher.waitForItem(kBoundMs);
    ASSERT_TRUE(item);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return item->toolTip().title == QStringLiteral("Sayloom — Ready"); }, kBoundMs));
    const auto plainSymbol = item->iconPixmap();
    ASSERT_FALSE(plainSymbol.isEmpty());
    sayloom.terminate();
    ASSERT_TRUE(sayloom.waitForFinished(kBoundMs));
    log.clear();

    // An update the user may postpone for ten more days.
    const QByteArray deadline =
        QDateTime::currentDateTimeUtc().addDays(10).toString(Qt::ISODate).toUtf8();
    answerSignedIn(server, R"({"updateAvailable":true,"latestVersion":"9.9.0","forceDate":")" +
                               deadline + R"("})");
    start();
    item = watcher.waitForItem(kBoundMs);
    ASSERT_TRUE(item);
    const auto banner =
        X11Desktop::waitForWindow(QStringLiteral("^Update available$"), sayloom.processId());
    ASSERT_TRUE(banner) << log.toStdString();
    const QStringList bannerTexts = waitForTexts(QStringLiteral("Sayloom v9.9.0 is available"));
    EXPECT_TRUE(bannerTexts.contains(QStringLiteral("Download now")))
        << bannerTexts.join('|').toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return item->iconPixmap() != plainSymbol; }, kBoundMs))
        << "the update dot on the tray's symbol";

    // A click on the tray icon opens the menu with the account's status and the usage the
    // service reported; Escape closes it.
    ASSERT_TRUE(item->activate()) << item->lastError().toStdString();
    const auto menu = X11Desktop::waitForWindow(QStringLiteral("^Sayloom$"), sayloom.processId());
    ASSERT_TRUE(menu) << log.toStdString();
    const QStringList menuTexts = waitForTexts(QStringLiteral("120 of 2500 words used"));
    for (const char* text : {"Ready", "120 of 2500 words used", "Kim Lee"})
        EXPECT_TRUE(menuTexts.contains(QString::fromUtf8(text)))
            << text << "\n"
            << AccessibleTree::dump(sayloom.processId()).toStdString();
    ASSERT_TRUE(X11Desktop::xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return X11Desktop::visibleWindows(QStringLiteral("^Sayloom$"), sayloom.processId())
                .isEmpty();
        },
        kBoundMs));
}

TEST_F(DesktopApp, AForcedUpdateAlertsAndDownloadUpdateOpensTheUpdateAndEndsTheProgram) {
    StandIn browser(QStringLiteral("browser"));
    process.setEnvironmentValue(QStringLiteral("SAYLOOM_BROWSER"), browser.path());
    const QString updateUrl =
        QStringLiteral("http://127.0.0.1:%1/download/9.9.0").arg(server.port());
    answerSignedIn(server, R"({"forceUpdate":true,"latestVersion":"9.9.0","updateUrl":")" +
                               updateUrl.toUtf8() + R"("})");
    process.signIn();
    start();

    const QStringList texts = waitForTexts(QStringLiteral("Download Update"));
    EXPECT_TRUE(texts.contains(QStringLiteral("Update Required"))) << texts.join('|').toStdString();
    const auto alert = X11Desktop::waitForWindow(QStringLiteral("^Sayloom$"), sayloom.processId());
    ASSERT_TRUE(alert) << log.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return X11Desktop::activeWindow() == *alert; }, kBoundMs));
    // Return presses the default button, "Download Update".
    ASSERT_TRUE(X11Desktop::xdotool({QStringLiteral("key"), QStringLiteral("Return")}));

    EXPECT_EQ(browser.waitForStart(kBoundMs), std::optional<QByteArray>(updateUrl.toUtf8()));
    ASSERT_TRUE(sayloom.waitForFinished(kBoundMs));
    EXPECT_EQ(sayloom.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sayloom.exitCode(), 0);
    log += sayloom.readAll();
    EXPECT_TRUE(log.contains("Engine stopped before exit")) << log.toStdString();
}

} // namespace
