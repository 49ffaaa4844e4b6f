#include "ui/UpdateBannerView.h"

#include "app/WebLinks.h"
#include "ui/ViewParts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace sayloom {

UpdateBannerView::UpdateBannerView(const QString& latestVersion, int daysLeft, QString updateUrl,
                                   WebLinks& links, std::function<void()> onSnooze,
                                   std::function<void()> onDismiss, QWidget* parent)
    : QWidget(parent) {
    auto* icon = makeIconLabel(
        themedViewIcon(QStringLiteral("software-update-available"), QStringLiteral("download")), 40,
        this);
    icon->setFixedWidth(40);
    icon->setAlignment(Qt::AlignTop);
    auto* title =
        makeTextLabel(QStringLiteral("Sayloom v") + latestVersion + QStringLiteral(" is available"),
                      15, QFont::DemiBold, this);
    title->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* deadline = makeTextLabel(deadlineLine(daysLeft), 13, QFont::Normal, this);
    deadline->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    deadline->setForegroundRole(QPalette::PlaceholderText);
    deadline->setVisible(!deadline->text().isEmpty());

    auto* snooze = new QPushButton(QStringLiteral("Remind me tomorrow"), this);
    auto* download = new QPushButton(QStringLiteral("Download now"), this);
    download->setDefault(true);
    // Either callback may close the window and destroy this view: nothing here runs after them.
    connect(snooze, &QPushButton::clicked, this, [onSnooze = std::move(onSnooze)] {
        if (onSnooze)
            onSnooze();
    });
    connect(download, &QPushButton::clicked, this,
            [&links, updateUrl = std::move(updateUrl), onDismiss = std::move(onDismiss)] {
                links.openUpdate(updateUrl);
                if (onDismiss)
                    onDismiss();
            });

    auto* text = new QVBoxLayout;
    text->setSpacing(4);
    text->addWidget(title);
    text->addWidget(deadline);
    text->addStretch(1);
    auto* top = new QHBoxLayout;
    top->setSpacing(14);
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(text, 1);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addStretch(1);
    buttons->addWidget(snooze);
    buttons->addWidget(download);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 14);
    layout->setSpacing(0);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
}

QString UpdateBannerView::deadlineLine(int daysLeft) {
    if (daysLeft <= 0)
        return {};
    return QStringLiteral("Update required in %1 day%2.")
        .arg(daysLeft)
        .arg(daysLeft == 1 ? QString() : QStringLiteral("s"));
}

} // namespace sayloom
