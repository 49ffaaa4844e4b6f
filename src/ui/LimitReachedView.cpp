#include "ui/LimitReachedView.h"

#include "ui/ViewParts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace sayloom {

LimitReachedView::LimitReachedView(std::optional<QString> userName, std::function<void()> onUpgrade,
                                   std::function<void()> onDismiss, QWidget* parent)
    : QWidget(parent) {
    auto* icon = makeIconLabel(
        themedViewIcon(QStringLiteral("dialog-warning"), QStringLiteral("warning")), 40, this);
    auto* heading = makeTextLabel(title(userName), 16, QFont::DemiBold, this);
    auto* body = makeTextLabel(
        QStringLiteral("Your free words for this week have been used up. Upgrade to Pro for "
                       "unlimited dictation, or wait until <b>your free words reset on "
                       "Monday</b>."),
        13, QFont::Normal, this);
    body->setTextFormat(Qt::RichText);

    auto* dismiss = new QPushButton(QStringLiteral("Dismiss"), this);
    auto* upgrade = new QPushButton(QStringLiteral("Upgrade to Pro"), this);
    upgrade->setDefault(true);
    // The callbacks may close the window and destroy this view: nothing here runs after them.
    connect(upgrade, &QPushButton::clicked, this, [onUpgrade = std::move(onUpgrade)] {
        if (onUpgrade)
            onUpgrade();
    });
    connect(dismiss, &QPushButton::clicked, this, [onDismiss = std::move(onDismiss)] {
        if (onDismiss)
            onDismiss();
    });

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addWidget(dismiss, 1);
    buttons->addWidget(upgrade, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 22, 24, 20);
    layout->setSpacing(0);
    layout->addWidget(icon);
    layout->addSpacing(12);
    layout->addWidget(heading);
    layout->addSpacing(8);
    layout->addWidget(body);
    layout->addStretch(1);
    layout->addLayout(buttons);
}

QString LimitReachedView::title(const std::optional<QString>& userName) {
    static const QRegularExpression whitespace(QStringLiteral("\\s+"));
    const QStringList words =
        userName ? userName->split(whitespace, Qt::SkipEmptyParts) : QStringList();
    if (words.isEmpty())
        return QStringLiteral("You've hit your weekly limit");
    return words.first() + QStringLiteral(", you've hit your weekly limit");
}

} // namespace sayloom
