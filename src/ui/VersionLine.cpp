#include "ui/VersionLine.h"

#include "BuildConfig.h"
#include "app/UpdateState.h"
#include "app/WebLinks.h"
#include "ui/ViewParts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

namespace sayloom {

namespace {

constexpr int kTextSize = 12;

QString checkText() { return QStringLiteral("Check for updates"); }

} // namespace

VersionLine::VersionLine(UpdateState& updates, WebLinks& links, QWidget* parent)
    : QWidget(parent)
    , updates_(updates)
    , links_(links) {
    auto* version = makeTextLabel(QStringLiteral("Version ") + QString::fromLatin1(build::kVersion),
                                  kTextSize, QFont::Normal, this);
    version->setWordWrap(false);
    version->setAlignment(Qt::AlignVCenter);
    version->setForegroundRole(QPalette::PlaceholderText);
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);

    updateButton_ = makeLinkButton(QString(), kTextSize, this);
    checkButton_ = makeLinkButton(checkText(), kTextSize, this);
    connect(updateButton_, &QPushButton::clicked, this,
            [this] { links_.openUpdate(updates_.updateUrl()); });
    connect(checkButton_, &QPushButton::clicked, this, [this] { check(); });
    connect(&updates_, &UpdateState::changed, this, &VersionLine::refresh);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addStretch(1);
    layout->addWidget(version);
    layout->addWidget(updateButton_);
    layout->addWidget(checkButton_);
    layout->addStretch(1);
    refresh();
}

VersionLine::~VersionLine() = default;

QString VersionLine::updateButtonText(const std::optional<QString>& latestVersion) {
    return latestVersion ? QStringLiteral("Update to ") + *latestVersion
                         : QStringLiteral("Download update");
}

void VersionLine::refresh() {
    updateButton_->setText(updateButtonText(updates_.latestVersion()));
    updateButton_->setVisible(updates_.updateAvailable());
}

QCoro::Task<void> VersionLine::check() {
    if (checking_)
        co_return;
    // The window may be closed while the service answers; the update state outlives it.
    const QPointer<VersionLine> self(this);
    UpdateState& updates = updates_;
    checking_ = true;
    checkButton_->setEnabled(false);
    checkButton_->setText(QStringLiteral("Checking…"));
    co_await updates.checkForUpdate();
    if (!self)
        co_return;
    checking_ = false;
    checkButton_->setText(checkText());
    checkButton_->setEnabled(true);
}

} // namespace sayloom
