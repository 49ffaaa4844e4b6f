// The version line, the update banner and the forced-update alert, driven as a person would:
// buttons clicked, the service answering later.

#include "TaskProbe.h"
#include "UpdateCollaborators.h"

#include "ui/VersionLine.h"
#include "ui/WidgetWindow.h"
#include "ui/WidgetWindowFactory.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::testing;

inline void PrintTo(const QString& text, std::ostream* os) { *os << text.toStdString(); }

namespace {

QPushButton* buttonNamed(const QWidget& view, const QString& text) {
    for (QPushButton* button : view.findChildren<QPushButton*>())
        if (button->text() == text)
            return button;
    return nullptr;
}

QStringList visibleTexts(const QWidget& view) {
    QStringList texts;
    for (QLabel* label : view.findChildren<QLabel*>())
        if (label->isVisibleTo(&view) && !label->text().isEmpty())
            texts << label->text();
    return texts;
}

TEST(UpdateBanner, SaysHowManyDaysAreLeftAndDownloadsThenDismissesOrSnoozes) {
    const std::pair<int, QString> cases[] = {
        {0, QString()},
        {1, QStringLiteral("Update required in 1 day.")},
        {2, QStringLiteral("Update required in 2 days.")},
    };
    for (const auto& [days, line] : cases) {
        SCOPED_TRACE(days);
        UpdateCollaborators c;
        WidgetWindowFactory factory({{}, c.updates, c.links});
        QStringList calls;
        const auto window = factory.makeUpdateBanner(
            QStringLiteral("1.4.0"), days, QStringLiteral("https://sayloom.test/v1.4.0"),
            [&] { calls << "snooze"; },
            [&] { calls << "dismiss after " + c.browser.opened.value(0).toString(); });
        QWidget* frame = static_cast<WidgetWindow&>(*window).widget();
        EXPECT_EQ(visibleTexts(*frame), QStringList{QStringLiteral("Sayloom v1.4.0 is available")} +
                                            (line.isEmpty() ? QStringList() : QStringList{line}));
        EXPECT_EQ(frame->size(), QSize(360, 150));
        EXPECT_TRUE(frame->windowFlags() & Qt::WindowStaysOnTopHint);

        buttonNamed(*frame, QStringLiteral("Remind me tomorrow"))->click();
        buttonNamed(*frame, QStringLiteral("Download now"))->click();
        EXPECT_EQ(calls, (QStringList{"snooze", "dismiss after https://sayloom.test/v1.4.0"}));
    }
}

struct VersionCase {
    const char* name;
    QJsonObject answer;
    std::optional<QString> updateButton;
    QUrl opened;
};
void PrintTo(const VersionCase& c, std::ostream* os) { *os << c.name; }

class VersionLineTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionLineTest, ChecksOnceAtATimeAndOffersTheUpdateTheServiceNames) {
    const VersionCase& c = GetParam();
    UpdateCollaborators collaborators;
    VersionLine line(collaborators.updates, collaborators.links);
    QPushButton* check = buttonNamed(line, QStringLiteral("Check for updates"));
    ASSERT_NE(check, nullptr);

    check->click();
    EXPECT_EQ(check->text(), QStringLiteral("Checking…"));
    EXPECT_FALSE(check->isEnabled());
    check->click();
    EXPECT_EQ(collaborators.session.count(), 1u);

    collaborators.answerCheck(c.answer);
    EXPECT_EQ(check->text(), QStringLiteral("Check for updates"));
    EXPECT_TRUE(check->isEnabled());
    QPushButton* update = nullptr;
    for (QPushButton* button : line.findChildren<QPushButton*>())
        if (button != check && button->isVisibleTo(&line))
            update = button;
    ASSERT_EQ(update != nullptr, c.updateButton.has_value());
    if (!update)
        return;
    EXPECT_EQ(update->text(), *c.updateButton);
    update->click();
    EXPECT_EQ(collaborators.browser.opened, QList<QUrl>{c.opened});
}

INSTANTIATE_TEST_SUITE_P(
    Answers, VersionLineTest,
    ::testing::Values(VersionCase{"Newer",
                                  {{"updateAvailable", true},
                                   {"latestVersion", "1.4.0"},
                                   {"updateUrl", "https://sayloom.test/v1.4.0"}},
                                  QStringLiteral("Update to 1.4.0"),
                                  QUrl("https://sayloom.test/v1.4.0")},
                      VersionCase{"NoVersionNamed",
                                  {{"updateAvailable", true}},
                                  QStringLiteral("Download update"),
                                  UpdateCollaborators::downloadURL()},
                      VersionCase{"UpToDate",
                                  {{"updateAvailable", false}, {"latestVersion", "0.1.0"}},
                                  std::nullopt,
                                  QUrl()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VersionLine, ClosingTheWindowDuringACheckIsSafe) {
    UpdateCollaborators c;
    auto line = std::make_unique<VersionLine>(c.updates, c.links);
    buttonNamed(*line, QStringLiteral("Check for updates"))->click();
    line.reset();
    c.answerCheck({{"updateAvailable", true}});
    EXPECT_TRUE(c.updates.updateAvailable());
}

TEST(ForceUpdateAlert, ResumesWithTrueOnlyForDownloadWithoutANestedEventLoop) {
    const std::pair<QString, bool> cases[] = {
        {QStringLiteral("Download Update"), true},
        {QStringLiteral("Quit"), false},
        {QString(), false}, // the window closed
    };
    UpdateCollaborators c;
    WidgetWindowFactory factory({{}, c.updates, c.links});
    for (const auto& [answer, download] : cases) {
        SCOPED_TRACE(answer.toStdString());
        auto probe = TaskProbe<bool>::start(factory.runForceUpdateAlert(QStringLiteral("2.0.0")));
        // Returned to the test at once: the box is open, the task waits.
        ASSERT_FALSE(probe.done());
        QMessageBox* box = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* candidate = qobject_cast<QMessageBox*>(widget);
                candidate && candidate->isVisible())
                box = candidate;
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), QStringLiteral("Update Required"));
        EXPECT_EQ(box->informativeText(),
                  QStringLiteral("Sayloom v2.0.0 is required. Your current version is no longer "
                                 "supported. Please download the latest version to continue."));
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
        EXPECT_TRUE(box->windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_EQ(box->defaultButton()->text(), QStringLiteral("Download Update"));

        if (answer.isEmpty())
            box->close();
        else
            buttonNamed(*box, answer)->click();
        QCoreApplication::processEvents();
        ASSERT_TRUE(probe.done());
        EXPECT_EQ(probe.value(), download);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

} // namespace
