#include "ui/SettingsView.h"

#include "app/MenuContent.h"
#include "app/SetupContent.h"
#include "app/WebLinks.h"
#include "auth/AuthState.h"
#include "engine/SayloomEngine.h"
#include "settings/AppSettings.h"
#include "support/PlatformText.h"
#include "ui/CheckedMenuStyle.h"
#include "ui/LegalLinks.h"
#include "ui/PermissionRow.h"
#include "ui/ShortcutRows.h"
#include "ui/VersionLine.h"
#include "ui/ViewParts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace sayloom {

namespace {

// A section: its title over a card that holds `content`.
QWidget* section(const QString& title, QWidget* content, QWidget* parent) {
    auto* holder = new QWidget(parent);
    QFrame* card = makeCard(holder);
    content->setParent(card);
    card->layout()->addWidget(content);
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(makeSectionTitle(title, holder));
    layout->addWidget(card);
    return holder;
}

} // namespace

SettingsView::SettingsView(Collaborators collaborators, QWidget* parent)
    : QWidget(parent)
    , c_(std::move(collaborators)) {
    auto* page = new QWidget;
    // Created top to bottom: the keyboard's focus order is the order of creation.
    accountSection_ = section(QStringLiteral("Account"), makeAccount(page), page);
    QWidget* dictation = section(QStringLiteral("Dictation"), makeDictation(page), page);
    QWidget* system = section(QStringLiteral("System"), makeSystem(page), page);
    auto* footer = new QWidget(page);
    auto* footerLayout = new QVBoxLayout(footer);
    footerLayout->setContentsMargins(0, 4, 0, 0);
    footerLayout->setSpacing(10);
    footerLayout->addWidget(new VersionLine(c_.updates, c_.links, footer));
    footerLayout->addWidget(new LegalLinks(c_.links, footer));

    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(24, 20, 24, 20);
    pageLayout->setSpacing(20);
    pageLayout->addWidget(accountSection_);
    pageLayout->addWidget(dictation);
    pageLayout->addWidget(system);
    pageLayout->addWidget(footer);
    pageLayout->addStretch(1);

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(page);
    // Tab goes from control to control (the page scrolls to each); the page itself is no stop.
    scroll->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);

    const auto followAccount = [this] { refreshAccount(); };
    connect(&c_.account, &AuthState::isLoggedInChanged, this, followAccount);
    connect(&c_.account, &AuthState::userEmailChanged, this, followAccount);
    connect(&c_.account, &AuthState::userNameChanged, this, followAccount);
    connect(&c_.account, &AuthState::userPlanChanged, this, followAccount);
    connect(&c_.account, &AuthState::wordsUsedChanged, this, followAccount);
    connect(&c_.account, &AuthState::wordLimitChanged, this, followAccount);
    connect(&c_.account, &AuthState::trialActiveChanged, this, followAccount);
    connect(&c_.account, &AuthState::trialDaysLeftChanged, this, followAccount);
    connect(&c_.account, &AuthState::isLoadingProfileChanged, this, followAccount);
    connect(&c_.engine, &SayloomEngine::usageStatusChanged, this, followAccount);
    const auto followDictation = [this] { refreshDictation(); };
    connect(&c_.settings, &AppSettings::selectedHotkeyChanged, this, followDictation);
    connect(&c_.settings, &AppSettings::selectedTranslationHotkeyChanged, this, followDictation);
    connect(&c_.settings, &AppSettings::translationEnabledChanged, this, followDictation);
    connect(&c_.settings, &AppSettings::speechLanguageKeyChanged, this, followDictation);
    connect(&c_.settings, &AppSettings::outputLanguageKeyChanged, this, followDictation);
    connect(&c_.settings, &AppSettings::tonePresetChanged, this, followDictation);
    connect(&c_.settings, &AppSettings::autoLaunchChanged, this, followDictation);
    const auto followPermissions = [this] { refreshPermissions(); };
    connect(&c_.engine, &SayloomEngine::microphoneGrantedChanged, this, followPermissions);
    connect(&c_.engine, &SayloomEngine::accessibilityGrantedChanged, this, followPermissions);
    refreshAccount();
    refreshDictation();
    refreshPermissions();
}

SettingsView::~SettingsView() = default;

QWidget* SettingsView::makeAccount(QWidget* parent) {
    auto* account = new QWidget(parent);
    accountName_ = makeLeftTextLabel(QString(), 14, QFont::DemiBold, account);
    accountEmail_ = secondary(makeLeftTextLabel(QString(), 12, QFont::Normal, account));
    plan_ = new QLabel(account);
    QFont planFont = plan_->font();
    planFont.setPixelSize(11);
    planFont.setWeight(QFont::Bold);
    plan_->setFont(planFont);
    const QColor accent = palette().color(QPalette::Highlight);
    plan_->setStyleSheet(QStringLiteral("QLabel { background: rgba(%1, %2, %3, 0.16); color: %4; "
                                        "border-radius: 4px; padding: 2px 6px; }")
                             .arg(accent.red())
                             .arg(accent.green())
                             .arg(accent.blue())
                             .arg(accent.name()));

    usage_ = new QWidget(account);
    auto* usageTitle =
        makeLeftTextLabel(QStringLiteral("Weekly word usage"), 12, QFont::DemiBold, usage_);
    usageFigures_ = secondary(makeLeftTextLabel(QString(), 12, QFont::Normal, usage_));
    usageFigures_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    usageFigures_->setWordWrap(false);
    usageBar_ = new QProgressBar(usage_);
    usageBar_->setTextVisible(false);
    usageBar_->setFixedHeight(6);
    usageBar_->setRange(0, 1000);
    usageBar_->setAccessibleName(QStringLiteral("Weekly word usage"));
    usageLine_ = secondary(makeLeftTextLabel(QString(), 11, QFont::Normal, usage_));
    auto* upgrade = makeLinkButton(QStringLiteral("Upgrade to Pro"), 12, usage_);
    upgrade->setIcon(symbolIcon(QStringLiteral("go-next"), QStringLiteral("arrow-right"),
                                palette().color(QPalette::Link)));
    // The arrow follows the words.
    upgrade->setLayoutDirection(Qt::RightToLeft);
    connect(upgrade, &QPushButton::clicked, this, [this] { c_.links.openUpgrade(); });
    auto* usageTop = new QHBoxLayout;
    usageTop->addWidget(usageTitle);
    usageTop->addStretch(1);
    usageTop->addWidget(usageFigures_);
    auto* usageLayout = new QVBoxLayout(usage_);
    usageLayout->setContentsMargins(0, 0, 0, 0);
    usageLayout->setSpacing(5);
    usageLayout->addLayout(usageTop);
    usageLayout->addWidget(usageBar_);
    usageLayout->addWidget(usageLine_);
    usageLayout->addWidget(upgrade, 0, Qt::AlignLeft | Qt::AlignAbsolute);

    trial_ = new QWidget(account);
    trialText_ = makeLeftTextLabel(QString(), 12, QFont::Normal, trial_);
    auto* upgradeNow = makeLinkButton(QStringLiteral("Upgrade now"), 12, trial_);
    connect(upgradeNow, &QPushButton::clicked, this, [this] { c_.links.openUpgrade(); });
    auto* trialLayout = new QHBoxLayout(trial_);
    trialLayout->setContentsMargins(0, 0, 0, 0);
    trialLayout->addWidget(trialText_, 1);
    trialLayout->addWidget(upgradeNow);

    auto* managePlan = makeButton(QStringLiteral("Manage plan"), account);
    connect(managePlan, &QPushButton::clicked, this, [this] { c_.links.openBillingPortal(); });
    auto* signOut = makeButton(QStringLiteral("Sign out"), account);
    connect(signOut, &QPushButton::clicked, this, &SettingsView::confirmSignOut);

    auto* who = new QVBoxLayout;
    who->setSpacing(2);
    who->addWidget(accountName_);
    who->addWidget(accountEmail_);
    auto* top = new QHBoxLayout;
    top->addLayout(who, 1);
    top->addWidget(plan_, 0, Qt::AlignTop);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addWidget(managePlan);
    buttons->addWidget(signOut);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(account);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addLayout(top);
    layout->addWidget(usage_);
    layout->addWidget(trial_);
    layout->addLayout(buttons);
    return account;
}

QWidget* SettingsView::makeDictation(QWidget* parent) {
    auto* dictation = new QWidget(parent);
    shortcuts_ = new ShortcutRows(c_.settings, c_.hotkeyRoad, dictation);
    summary_ = secondary(makeLeftTextLabel(QString(), 12, QFont::Normal, dictation));
    tone_ = new QComboBox(dictation);
    tone_->setAccessibleName(QStringLiteral("Writing tone"));
    // On Linux a combo box is named by its current text; the description says what it sets.
    tone_->setAccessibleDescription(tone_->accessibleName());
    tone_->setStyle(new CheckedMenuStyle(tone_));
    for (const TonePreset tone : allTonePresets())
        tone_->addItem(displayName(tone), rawValue(tone));
    connect(tone_, &QComboBox::activated, this, [this](int index) {
        if (const auto tone = tonePresetFromRawValue(tone_->itemData(index).toString()))
            c_.settings.setTonePreset(*tone);
    });
    auto* toneLabel = new QLabel(QStringLiteral("Writing tone"), dictation);
    toneLabel->setBuddy(tone_);
    auto* toneRow = new QHBoxLayout;
    toneRow->setSpacing(10);
    toneRow->addWidget(toneLabel);
    toneRow->addWidget(tone_);
    toneRow->addStretch(1);
    auto* layout = new QVBoxLayout(dictation);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addWidget(shortcuts_);
    layout->addWidget(summary_);
    layout->addLayout(toneRow);
    return dictation;
}

QWidget* SettingsView::makeSystem(QWidget* parent) {
    auto* system = new QWidget(parent);
    microphone_ = new PermissionRow(
        {QStringLiteral("Microphone"),
         QStringLiteral("Without microphone access Sayloom cannot hear you at all."), QString(),
         QStringLiteral("Open Settings"), QStringLiteral("Open Settings for Microphone"),
         QString()},
        system);
    accessibility_ = new PermissionRow(
        {QStringLiteral("Accessibility"),
         QStringLiteral("Without Accessibility your words go to the clipboard instead of being "
                        "typed."),
         QString(), QStringLiteral("Open Settings"),
         QStringLiteral("Open Settings for Accessibility"),
         platformText(PlatformTextKey::accessibilityMissingHelp)},
        system);
    connect(microphone_, &PermissionRow::buttonClicked, this, [this] {
        // Asking again finds a capture source that appeared meanwhile; without one the sound
        // settings open.
        c_.engine.checkPermissions();
        if (!c_.engine.isMicrophoneGranted() && c_.openPermissionSettings)
            c_.openPermissionSettings(false);
    });
    connect(accessibility_, &PermissionRow::buttonClicked, this, [this] {
        if (c_.openPermissionSettings)
            c_.openPermissionSettings(true);
    });
    auto* refresh = new QPushButton(QStringLiteral("Refresh status"), system);
    refresh->setIcon(symbolIcon(QStringLiteral("view-refresh"), QStringLiteral("refresh"),
                                palette().color(QPalette::ButtonText)));
    padSides(refresh);
    refresh->setToolTip(QStringLiteral("Refresh permission status"));
    refresh->setAccessibleDescription(refresh->toolTip());
    connect(refresh, &QPushButton::clicked, this, [this] { c_.engine.checkPermissions(); });
    launchAtLogin_ = new QCheckBox(QStringLiteral("Launch at login"), system);
    connect(launchAtLogin_, &QCheckBox::toggled, this,
            [this](bool on) { c_.settings.setAutoLaunch(on); });

    auto* layout = new QVBoxLayout(system);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addWidget(microphone_);
    layout->addWidget(accessibility_);
    layout->addWidget(refresh, 0, Qt::AlignLeft);
    layout->addWidget(launchAtLogin_);
    return system;
}

QString SettingsView::summary() const { return summary_->text(); }

void SettingsView::refreshAccount() {
    const AuthState& account = c_.account;
    accountSection_->setVisible(account.isLoggedIn());
    accountName_->setText(account.userName().value_or(account.userEmail().value_or(QString())));
    accountEmail_->setText(account.userName() ? account.userEmail().value_or(QString())
                                              : QString());
    accountEmail_->setVisible(!accountEmail_->text().isEmpty());
    plan_->setText(
        planLabel(account.isLoadingProfile(), account.userPlan(), account.trialActive()));

    // The usage and trial blocks show when the tray's menu shows them.
    MenuInputs in;
    in.loggedIn = account.isLoggedIn();
    in.usageStatus = c_.engine.usageStatus();
    in.userPlan = account.userPlan();
    in.trialActive = account.trialActive();
    in.trialDaysLeft = account.trialDaysLeft();
    in.wordsUsed = account.wordsUsed();
    in.wordLimit = account.wordLimit();
    const MenuContent content = menuContent(in);
    usage_->setVisible(content.showUsage);
    usageFigures_->setText(content.usageFigures);
    usageLine_->setText(weeklyUsageLine(in.wordsUsed, in.wordLimit));
    const std::int64_t limit = std::max<std::int64_t>(in.wordLimit, 0);
    usageBar_->setValue(limit == 0 ? 0
                                   : static_cast<int>(std::clamp<std::int64_t>(
                                         in.wordsUsed * 1000 / limit, 0, 1000)));
    trial_->setVisible(content.showTrial);
    trialText_->setText(trialLine(in.trialDaysLeft));
}

void SettingsView::refreshDictation() {
    summary_->setText(dictationSummary(c_.settings.selectedHotkey(), c_.settings.speechLanguage(),
                                       c_.settings.selectedTranslationHotkey(),
                                       c_.settings.translationTargetName()));
    tone_->setCurrentIndex(tone_->findData(rawValue(c_.settings.tonePreset())));
    const QSignalBlocker blocker(launchAtLogin_);
    launchAtLogin_->setChecked(c_.settings.autoLaunch());
}

void SettingsView::refreshPermissions() {
    microphone_->setGranted(c_.engine.isMicrophoneGranted());
    accessibility_->setGranted(c_.engine.isAccessibilityGranted());
}

void SettingsView::confirmSignOut() {
    // Asked without a nested event loop: the answer arrives through `finished`.
    auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("Sign out"),
                                QStringLiteral("Are you sure you want to sign out?"),
                                QMessageBox::NoButton, window());
    QPushButton* signOut = box->addButton(QStringLiteral("Sign out"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, box, signOut](int) {
        if (box->clickedButton() == signOut)
            c_.account.signOut();
    });
    box->open();
}

} // namespace sayloom
