#include "AccessibleTree.h"
#include "FieldsApp.h"
#include "LoopbackHttpServer.h"
#include "RealPartRequirement.h"
#include "SayloomProcess.h"
#include "StatusNotifierWatcher.h"
#include "X11Desktop.h"

#include "support/PlatformText.h"

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
    // No sound server: the microphone is missing. The desktop's sound settings are a stand-in that
    // notes how it was started.
    QTemporaryDir programs;
    const QString record = programs.filePath(QStringLiteral("started"));
    QFile standIn(programs.filePath(QStringLiteral("gnome-control-center")));
    ASSERT_TRUE(standIn.open(QIODevice::WriteOnly));
    standIn.write("#!/bin/sh\necho \"$*\" > '" + record.toUtf8() + "'\n");
    standIn.close();
    standIn.setPermissions(standIn.permissions() | QFileDevice::ExeOwner);
    process.setEnvironmentValue(QStringLiteral("PATH"),
                                programs.path() + QLatin1Char(':') + qEnvironmentVariable("PATH"));
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
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(record); }, kBoundMs));
    QFile started(record);
    ASSERT_TRUE(started.open(QIODevice::ReadOnly));
    EXPECT_EQ(started.readAll(), "sound\n");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return X11Desktop::visibleWindows(QStringLiteral("^Permissions required$"),
                                              sayloom.processId())
                .isEmpty();
        },
        kBoundMs));
}

} // namespace
