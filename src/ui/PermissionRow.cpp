#include "ui/PermissionRow.h"

#include "ui/ViewParts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace sayloom {

namespace {

const QColor kGrantedGreen(0x2e, 0x9d, 0x4f);

} // namespace

PermissionRow::PermissionRow(const Texts& texts, QWidget* parent) : QWidget(parent), texts_(texts) {
    auto* title = makeLeftTextLabel(texts_.title, 13, QFont::DemiBold, this);
    description_ = makeLeftTextLabel(QString(), 12, QFont::Normal, this);
    description_->setForegroundRole(QPalette::PlaceholderText);

    mark_ = new QWidget(this);
    auto* markIcon = makeIconLabel(
        symbolIcon(QStringLiteral("emblem-ok-symbolic"), QStringLiteral("granted"), kGrantedGreen),
        16, mark_);
    auto* markText = makeLeftTextLabel(QStringLiteral("Granted"), 12, QFont::Normal, mark_);
    markText->setWordWrap(false);
    auto* markLayout = new QHBoxLayout(mark_);
    markLayout->setContentsMargins(0, 0, 0, 0);
    markLayout->setSpacing(5);
    markLayout->addWidget(markIcon);
    markLayout->addWidget(markText);

    button_ = new QPushButton(texts_.button, this);
    button_->setAccessibleName(texts_.buttonName);
    button_->setAutoDefault(false);
    connect(button_, &QPushButton::clicked, this, [this] {
        helpRequested_ = true;
        refresh();
        Q_EMIT buttonClicked();
    });

    help_ = makeLeftTextLabel(texts_.help, 12, QFont::Normal, this);
    help_->setTextFormat(Qt::PlainText);

    auto* text = new QVBoxLayout;
    text->setSpacing(2);
    text->addWidget(title);
    text->addWidget(description_);
    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    row->addLayout(text, 1);
    row->addWidget(mark_, 0, Qt::AlignVCenter);
    row->addWidget(button_, 0, Qt::AlignVCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addLayout(row);
    layout->addWidget(help_);
    refresh();
}

void PermissionRow::setGranted(bool granted) {
    granted_ = granted;
    refresh();
}

void PermissionRow::refresh() {
    const QString& description = granted_ ? texts_.granted : texts_.missing;
    description_->setText(description);
    description_->setVisible(!description.isEmpty());
    mark_->setVisible(granted_);
    button_->setVisible(!granted_);
    help_->setVisible(!granted_ && helpRequested_ && !texts_.help.isEmpty());
}

} // namespace sayloom
