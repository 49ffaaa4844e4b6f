#include "ui/OnboardingView.h"

#include "app/SetupContent.h"
#include "engine/SayloomEngine.h"
#include "settings/AppSettings.h"
#include "support/PlatformText.h"
#include "ui/PermissionRow.h"
#include "ui/SayloomIcons.h"
#include "ui/ShortcutRows.h"
#include "ui/TryItTextField.h"
#include "ui/ViewParts.h"

#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace sayloom {

namespace {

constexpr int kSideMargin = 28;

} // namespace

OnboardingView::OnboardingView(Collaborators collaborators, QWidget* parent)
    : QWidget(parent)
    , c_(std::move(collaborators)) {
    // Created top to bottom: the keyboard's focus order is the order of creation.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kSideMargin, 24, kSideMargin, 20);
    layout->setSpacing(0);
    layout->addWidget(makeHeader());
    layout->addSpacing(18);
    layout->addWidget(makePermissions());
    layout->addSpacing(18);
    layout->addWidget(makeSectionTitle(QStringLiteral("Your shortcuts"), this));
    layout->addSpacing(8);
    shortcuts_ = new ShortcutRows(c_.settings, c_.hotkeyRoad, this);
    QFrame* shortcutsCard = makeCard(this);
    shortcutsCard->layout()->addWidget(shortcuts_);
    layout->addWidget(shortcutsCard);
    layout->addSpacing(18);
    layout->addWidget(makeTryIt());
    layout->addStretch(1);
    layout->addSpacing(14);
    layout->addWidget(makeButtons());

    // A new shortcut is tried at once: the field takes the keyboard back.
    connect(shortcuts_, &ShortcutRows::chosen, this, [this] { tryIt_->requestFocus(); });
    connect(tryIt_, &TryItTextField::outcomeChanged, this, [this](const DictationOutcome& outcome) {
        outcome_ = outcome;
        refresh();
    });
    const auto follow = [this] { refresh(); };
    connect(&c_.settings, &AppSettings::selectedHotkeyChanged, this, follow);
    connect(&c_.settings, &AppSettings::selectedTranslationHotkeyChanged, this, follow);
    connect(&c_.settings, &AppSettings::translationEnabledChanged, this, follow);
    connect(&c_.settings, &AppSettings::outputLanguageKeyChanged, this, follow);
    connect(&c_.engine, &SayloomEngine::microphoneGrantedChanged, this,
            [this] { refreshPermissions(); });
    connect(&c_.engine, &SayloomEngine::accessibilityGrantedChanged, this,
            [this] { refreshPermissions(); });
    refreshPermissions();
    refresh();
}

OnboardingView::~OnboardingView() = default;

QWidget* OnboardingView::makeHeader() {
    auto* header = new QWidget(this);
    auto* icon = makeIconLabel(SayloomIcons::applicationIcon(), 56, header);
    title_ = makeTextLabel(QString(), 22, QFont::Bold, header);
    subtitle_ = makeTextLabel(QString(), 13, QFont::Normal, header);
    subtitle_->setForegroundRole(QPalette::PlaceholderText);
    auto* layout = new QVBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(icon);
    layout->addSpacing(4);
    layout->addWidget(title_);
    layout->addWidget(subtitle_);
    return header;
}

QWidget* OnboardingView::makePermissions() {
    QFrame* card = makeCard(this);
    microphone_ = new PermissionRow(
        {QStringLiteral("Microphone"), QStringLiteral("So Sayloom can hear what you say."),
         QStringLiteral("So Sayloom can hear what you say."), QStringLiteral("Allow"),
         QStringLiteral("Allow Microphone"), QString()},
        card);
    accessibility_ = new PermissionRow(
        {QStringLiteral("Accessibility"),
         QStringLiteral("So Sayloom can type for you, not just copy to the clipboard."),
         c_.accessibilitySwitchedOn
             ? platformText(PlatformTextKey::restartAppsForAccessibility)
             : QStringLiteral("So Sayloom can type for you, not just copy to the clipboard."),
         QStringLiteral("Allow"), QStringLiteral("Allow Accessibility"),
         platformText(PlatformTextKey::accessibilityMissingHelp)},
        card);
    connect(microphone_, &PermissionRow::buttonClicked, this, [this] {
        // Asking again finds a capture source that appeared meanwhile; without one the sound
        // settings open.
        c_.engine.checkPermissions();
        if (!c_.engine.isMicrophoneGranted() && c_.openPermissionSettings)
            c_.openPermissionSettings(false);
        startPermissionRefresh();
    });
    connect(accessibility_, &PermissionRow::buttonClicked, this, [this] {
        if (c_.openPermissionSettings)
            c_.openPermissionSettings(true);
        startPermissionRefresh();
    });
    card->layout()->addWidget(microphone_);
    card->layout()->addWidget(accessibility_);
    return card;
}

QWidget* OnboardingView::makeTryIt() {
    auto* section = new QWidget(this);
    tryIt_ = new TryItTextField(c_.engine, section);
    tryIt_->setMinimumHeight(34);
    outcomeMessage_ = makeLeftTextLabel(QString(), 12, QFont::Normal, section);
    translationHint_ = makeLeftTextLabel(QString(), 12, QFont::Normal, section);
    translationHint_->setForegroundRole(QPalette::PlaceholderText);
    auto* layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(makeSectionTitle(QStringLiteral("Try it"), section));
    layout->addWidget(tryIt_);
    layout->addWidget(outcomeMessage_);
    layout->addWidget(translationHint_);
    return section;
}

QWidget* OnboardingView::makeButtons() {
    auto* row = new QWidget(this);
    skip_ = makeLinkButton(QStringLiteral("Skip for now"), 12, row);
    skip_->setToolTip(QStringLiteral("Finish setup without a test dictation"));
    skip_->setAccessibleDescription(skip_->toolTip());
    skip_->setAutoDefault(false);
    skip_->hide();
    connect(skip_, &QPushButton::clicked, this, [this] { complete(); });
    caption_ = makeLeftTextLabel(QString(), 12, QFont::Normal, row);
    caption_->setForegroundRole(QPalette::PlaceholderText);
    caption_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    caption_->setWordWrap(false);
    primary_ = new QPushButton(row);
    primary_->setDefault(true);
    primary_->setMinimumWidth(170);
    primary_->setMinimumHeight(32);
    // Until it can be pressed it is drawn faintly, not in the style's greyed-out colours.
    QPalette faded = primary_->palette();
    for (const QPalette::ColorRole role :
         {QPalette::ButtonText, QPalette::Button, QPalette::WindowText, QPalette::Text})
        faded.setColor(QPalette::Disabled, role, faded.color(QPalette::Active, role));
    primary_->setPalette(faded);
    connect(primary_, &QPushButton::clicked, this, [this] { complete(); });
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addWidget(skip_);
    layout->addStretch(1);
    layout->addWidget(caption_);
    layout->addWidget(primary_);
    return row;
}

void OnboardingView::refresh() {
    const OnboardingContent content = onboardingContent(outcome_, c_.settings.selectedHotkey(),
                                                        c_.settings.selectedTranslationHotkey(),
                                                        c_.settings.translationTargetName());
    title_->setText(content.title);
    subtitle_->setText(content.subtitle);
    tryIt_->setPlaceholderText(content.placeholder);
    outcomeMessage_->setText(content.outcomeMessage);
    translationHint_->setText(content.translationHint.value_or(QString()));
    translationHint_->setVisible(content.translationHint.has_value());
    primary_->setText(content.primaryButton);
    primary_->setEnabled(content.primaryEnabled);
    primary_->setToolTip(content.primaryHelp);
    primary_->setAccessibleDescription(content.primaryHelp);
    // Drawn faintly until a dictation was heard.
    if (content.primaryEnabled) {
        primary_->setGraphicsEffect(nullptr);
    } else if (!primary_->graphicsEffect()) {
        auto* faint = new QGraphicsOpacityEffect(primary_);
        faint->setOpacity(0.4);
        primary_->setGraphicsEffect(faint);
    }
    caption_->setText(content.primaryCaption.value_or(QString()));
    caption_->setVisible(content.primaryCaption.has_value());
}

void OnboardingView::refreshPermissions() {
    microphone_->setGranted(c_.engine.isMicrophoneGranted());
    accessibility_->setGranted(c_.engine.isAccessibilityGranted());
}

void OnboardingView::startPermissionRefresh() {
    // A new timer replaces the one before it.
    refreshTimer_ = c_.scheduler.scheduleRepeating(kPermissionRefreshInterval,
                                                   [this] { c_.engine.checkPermissions(); });
}

bool OnboardingView::showsSkip() const { return skip_->isVisibleTo(this); }

void OnboardingView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    startPermissionRefresh();
    skipTimer_ = c_.scheduler.scheduleOnce(kSkipDelay, [this] { skip_->show(); });
    // The first dictation is meant for the field.
    tryIt_->requestFocus();
}

void OnboardingView::complete() {
    refreshTimer_.cancel();
    skipTimer_.cancel();
    // The callback closes the window and may destroy this view: nothing here runs after it.
    const std::function<void()> onComplete = c_.onComplete;
    if (onComplete)
        onComplete();
}

} // namespace sayloom
