// What the limit and permissions windows say, as a screen reader reads it.

#include "support/PlatformText.h"
#include "ui/LimitReachedView.h"
#include "ui/PermissionsRequiredView.h"

#include <QAccessible>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace sayloom;

inline void PrintTo(const QString& text, std::ostream* os) { *os << text.toStdString(); }

namespace {

// The texts of a view, top to bottom, by their accessible names.
QStringList textsOf(QWidget* view) {
    QStringList texts;
    for (QLabel* label : view->findChildren<QLabel*>())
        if (!label->text().isEmpty())
            texts << QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name);
    return texts;
}

void click(QWidget* view, const QString& label) {
    for (QPushButton* button : view->findChildren<QPushButton*>())
        if (button->text() == label)
            button->click();
}

struct LimitCase {
    const char* name;
    std::optional<QString> userName;
    QString title;
};
void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class LimitTitleTest : public ::testing::TestWithParam<LimitCase> {};

TEST_P(LimitTitleTest, AddressesTheUserByTheFirstWordOfTheirName) {
    LimitReachedView view(GetParam().userName, {}, {});
    EXPECT_EQ(textsOf(&view).value(0), GetParam().title);
}

INSTANTIATE_TEST_SUITE_P(
    Names, LimitTitleTest,
    ::testing::Values(LimitCase{"TwoWords", "Ada Lovelace", "Ada, you've hit your weekly limit"},
                      LimitCase{"ManySpaces", " Jean-Luc  Picard",
                                "Jean-Luc, you've hit your weekly limit"},
                      LimitCase{"Empty", "", "You've hit your weekly limit"},
                      LimitCase{"OnlySpaces", "   ", "You've hit your weekly limit"},
                      LimitCase{"Absent", std::nullopt, "You've hit your weekly limit"}),
    [](const auto& info) { return std::string(info.param.name); });

struct PermissionsCase {
    const char* name;
    bool microphoneGranted;
    bool accessibilityGranted;
    QString title;
    PlatformTextKey body;
};
void PrintTo(const PermissionsCase& c, std::ostream* os) { *os << c.name; }

class PermissionsTest : public ::testing::TestWithParam<PermissionsCase> {};

TEST_P(PermissionsTest, NamesWhatIsMissing) {
    const PermissionsCase& c = GetParam();
    QStringList calls;
    PermissionsRequiredView view(
        c.microphoneGranted, c.accessibilityGranted, [&] { calls << "settings"; },
        [&] { calls << "dismiss"; });

    EXPECT_EQ(textsOf(&view), QStringList({c.title, platformText(c.body)}));
    click(&view, QStringLiteral("Open Settings"));
    click(&view, QStringLiteral("Dismiss"));
    EXPECT_EQ(calls, QStringList({"settings", "dismiss"}));
}

INSTANTIATE_TEST_SUITE_P(
    Missing, PermissionsTest,
    ::testing::Values(PermissionsCase{"Both", false, false, "Permissions required",
                                      PlatformTextKey::permissionsNeededBoth},
                      PermissionsCase{"Microphone", false, true, "Microphone access needed",
                                      PlatformTextKey::permissionsNeededMicrophone},
                      PermissionsCase{"Accessibility", true, false, "Accessibility access needed",
                                      PlatformTextKey::permissionsNeededAccessibility}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
