#include "ui/MenuView.h"

#include "app/AvatarCache.h"
#include "support/PlatformText.h"
#include "ui/AvatarView.h"
#include "ui/CheckedMenuStyle.h"
#include "ui/MenuRow.h"
#include "ui/SayloomIcons.h"
#include "ui/ViewParts.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace sayloom {

namespace {

constexpr int kSideMargin = 16;
constexpr int kSymbolSize = 16;
const QColor kAlertRed(0xd7, 0x26, 0x1e);

QWidget* separator(QWidget* parent) {
    auto* holder = new QWidget(parent);
    auto* line = new QWidget(holder);
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    QColor colour = palette.color(QPalette::WindowText);
    colour.setAlphaF(0.14f);
    palette.setColor(QPalette::Window, colour);
    line->setPalette(palette);
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(12, 5, 12, 5);
    layout->addWidget(line);
    return holder;
}

QIcon toneIcon(TonePreset tone, const QColor& colour) {
    switch (tone) {
    case TonePreset::neutral:
        return symbolIcon(QStringLiteral("action-unavailable"), QStringLiteral("tone-off"), colour);
    case TonePreset::formal:
        return symbolIcon(QStringLiteral("format-justify-fill"), QStringLiteral("tone-formal"),
                          colour);
    case TonePreset::casual:
        return symbolIcon(QStringLiteral("face-smile"), QStringLiteral("tone-casual"), colour);
    case TonePreset::bullets:
        return symbolIcon(QStringLiteral("format-list-unordered"), QStringLiteral("tone-bullets"),
                          colour);
    }
    return {};
}

} // namespace

MenuView::MenuView(AvatarCache& avatars, MenuActions actions, QWidget* parent)
    : QWidget(parent)
    , avatars_(avatars)
    , actions_(std::move(actions)) {
    setFixedWidth(kWidth);
    // Created top to bottom: the keyboard's focus order is the order of creation.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 4);
    layout->setSpacing(0);
    layout->addWidget(makeHeader());
    layout->addWidget(separator(this));
    layout->addWidget(makeNotice());

    signInRow_ = makeRow(QStringLiteral("avatar-default"), QStringLiteral("person"),
                         QStringLiteral("Sign in to Sayloom"));
    connect(signInRow_, &MenuRow::clicked, this, [this] {
        // The menu goes first: the sign-in window takes its place.
        const std::function<void()> signIn = actions_.signIn;
        Q_EMIT finished();
        if (signIn)
            signIn();
    });
    layout->addWidget(signInRow_);

    layout->addWidget(makeLine(QStringLiteral("input-keyboard"), QStringLiteral("keyboard"),
                               &dictationShortcut_));
    translationLine_ =
        makeLine(QStringLiteral("internet-chat"), QStringLiteral("speech"), &translationShortcut_);
    layout->addWidget(translationLine_);

    accountSeparator_ = separator(this);
    layout->addWidget(accountSeparator_);
    layout->addWidget(makeUsage());
    layout->addWidget(makeTrial());
    layout->addWidget(makeLimit());

    copySeparator_ = separator(this);
    layout->addWidget(copySeparator_);
    copyRow_ = makeRow(QStringLiteral("format-text-blockquote"), QStringLiteral("quote"),
                       QStringLiteral("Copy last transcription"));
    connect(copyRow_, &MenuRow::clicked, this, [this] { run(actions_.copyLastTranscription); });
    layout->addWidget(copyRow_);

    layout->addWidget(separator(this));
    toneRow_ =
        makeRow(QStringLiteral("preferences-desktop-font"), QStringLiteral("tone"), QString());
    toneRow_->setTrailingIcon(symbolIcon(QStringLiteral("go-next"), QStringLiteral("chevron"),
                                         palette().color(QPalette::PlaceholderText)));
    toneRow_->setAccessibleDescription(QStringLiteral("Opens the tone list"));
    connect(toneRow_, &MenuRow::clicked, this, &MenuView::openToneMenu);
    layout->addWidget(toneRow_);

    const struct {
        const char* theme;
        const char* fallback;
        const char* text;
        std::function<void()> MenuActions::*action;
    } footer[] = {
        {"preferences-system", "settings", "Settings", &MenuActions::openSettings},
        {"help-contents", "help", "Help & Troubleshooting", &MenuActions::openHelp},
        {"system-log-out", "sign-out", "Sign out", &MenuActions::signOut},
        {"application-exit", "quit", "Quit Sayloom", &MenuActions::quit},
    };
    for (const auto& entry : footer) {
        MenuRow* row = makeRow(QLatin1String(entry.theme), QLatin1String(entry.fallback),
                               QLatin1String(entry.text));
        connect(row, &MenuRow::clicked, this,
                [this, action = entry.action] { run(actions_.*action); });
        layout->addWidget(row);
        if (entry.action == &MenuActions::signOut)
            signOutRow_ = row;
    }

    connect(&avatars_, &AvatarCache::pictureLoaded, this, [this](const QString& url) {
        if (loggedIn_ && account_.picture == url)
            showAvatar();
    });
}

MenuView::~MenuView() = default;

QWidget* MenuView::makeHeader() {
    auto* header = new QWidget(this);
    auto* icon = makeIconLabel(SayloomIcons::applicationIcon(), 28, header);
    icon->setFixedWidth(28);
    auto* name = makeLeftTextLabel(QStringLiteral("Sayloom"), 14, QFont::Bold, header);
    name->setWordWrap(false);

    badge_ = new QLabel(header);
    QFont badgeFont = badge_->font();
    badgeFont.setPixelSize(10);
    badgeFont.setWeight(QFont::Bold);
    badgeFont.setCapitalization(QFont::AllUppercase);
    badge_->setFont(badgeFont);
    QColor accent = palette().color(QPalette::Highlight);
    accent.setAlphaF(0.16f);
    badge_->setStyleSheet(QStringLiteral("QLabel { background: rgba(%1, %2, %3, %4); color: %5; "
                                         "border-radius: 4px; padding: 1px 5px; }")
                              .arg(accent.red())
                              .arg(accent.green())
                              .arg(accent.blue())
                              .arg(accent.alphaF())
                              .arg(palette().color(QPalette::Highlight).name()));

    status_ = secondary(makeLeftTextLabel(QString(), 12, QFont::Normal, header));
    status_->setWordWrap(false);
    avatar_ = new AvatarView(28, header);

    auto* title = new QHBoxLayout;
    title->setSpacing(6);
    title->addWidget(name);
    title->addWidget(badge_);
    title->addStretch(1);
    auto* text = new QVBoxLayout;
    text->setSpacing(1);
    text->addLayout(title);
    text->addWidget(status_);

    auto* layout = new QHBoxLayout(header);
    layout->setContentsMargins(kSideMargin - 2, 12, kSideMargin - 2, 8);
    layout->setSpacing(10);
    layout->addWidget(icon);
    layout->addLayout(text, 1);
    layout->addWidget(avatar_);
    return header;
}

QWidget* MenuView::makeNotice() {
    notice_ = new QWidget(this);
    auto* panel = new QWidget(notice_);
    panel->setAutoFillBackground(true);
    QPalette tinted = panel->palette();
    QColor tint(0xf0, 0xa0, 0x20);
    tint.setAlphaF(0.16f);
    tinted.setColor(QPalette::Window, tint);
    panel->setPalette(tinted);

    auto* text = makeLeftTextLabel(platformText(PlatformTextKey::transcriptOnClipboard), 12,
                                   QFont::Normal, panel);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* caption = secondary(makeLeftTextLabel(platformText(PlatformTextKey::typeIntoAppsCaption),
                                                11, QFont::Normal, panel));
    auto* openSettings = new QPushButton(QStringLiteral("Open Settings"), panel);
    auto* copyAgain = new QPushButton(QStringLiteral("Copy Again"), panel);
    copyAgain->setToolTip(QStringLiteral("Copies your last transcription to the clipboard again"));
    connect(openSettings, &QPushButton::clicked, this,
            [this] { run(actions_.openAccessibilitySettings); });
    connect(copyAgain, &QPushButton::clicked, this,
            [this] { run(actions_.copyLastTranscription); });

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    buttons->addWidget(openSettings);
    buttons->addWidget(copyAgain);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->setSpacing(4);
    layout->addWidget(text);
    layout->addWidget(caption);
    layout->addSpacing(2);
    layout->addLayout(buttons);

    auto* outer = new QVBoxLayout(notice_);
    outer->setContentsMargins(10, 2, 10, 6);
    outer->addWidget(panel);
    return notice_;
}

QWidget* MenuView::makeLine(const QString& themeIcon, const QString& fallbackIcon, QLabel** text) {
    auto* line = new QWidget(this);
    auto* icon =
        makeIconLabel(symbolIcon(themeIcon, fallbackIcon, palette().color(QPalette::WindowText)),
                      kSymbolSize, line);
    icon->setFixedWidth(kSymbolSize);
    *text = makeLeftTextLabel(QString(), 13, QFont::Normal, line);
    (*text)->setWordWrap(false);
    auto* layout = new QHBoxLayout(line);
    layout->setContentsMargins(kSideMargin, 4, kSideMargin, 4);
    layout->setSpacing(10);
    layout->addWidget(icon);
    layout->addWidget(*text, 1);
    return line;
}

QWidget* MenuView::makeUsage() {
    usage_ = new QWidget(this);
    auto* title =
        makeLeftTextLabel(QStringLiteral("Weekly word usage"), 12, QFont::DemiBold, usage_);
    title->setWordWrap(false);
    usageFigures_ = secondary(makeLeftTextLabel(QString(), 11, QFont::Normal, usage_));
    usageFigures_->setWordWrap(false);
    usageFigures_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    usageBar_ = new QProgressBar(usage_);
    usageBar_->setTextVisible(false);
    usageBar_->setFixedHeight(6);
    usageBar_->setRange(0, 1000);
    usageBar_->setAccessibleName(QStringLiteral("Weekly word usage"));
    usageLine_ = secondary(makeLeftTextLabel(QString(), 11, QFont::Normal, usage_));
    auto* upgrade = makeLinkButton(QStringLiteral("Upgrade to Pro →"), 12, usage_);
    connect(upgrade, &QPushButton::clicked, this, [this] { run(actions_.upgrade); });

    auto* top = new QHBoxLayout;
    top->addWidget(title);
    top->addStretch(1);
    top->addWidget(usageFigures_);
    auto* layout = new QVBoxLayout(usage_);
    layout->setContentsMargins(kSideMargin, 4, kSideMargin, 2);
    layout->setSpacing(5);
    layout->addLayout(top);
    layout->addWidget(usageBar_);
    layout->addWidget(usageLine_);
    layout->addWidget(upgrade, 0, Qt::AlignLeft);
    return usage_;
}

QWidget* MenuView::makeTrial() {
    trial_ = new QWidget(this);
    auto* icon =
        makeIconLabel(symbolIcon(QStringLiteral("appointment-soon"), QStringLiteral("clock"),
                                 palette().color(QPalette::WindowText)),
                      kSymbolSize, trial_);
    icon->setFixedWidth(kSymbolSize);
    trialText_ = makeLeftTextLabel(QString(), 12, QFont::Normal, trial_);
    auto* upgrade = makeLinkButton(QStringLiteral("Upgrade now"), 12, trial_);
    connect(upgrade, &QPushButton::clicked, this, [this] { run(actions_.upgrade); });
    auto* layout = new QHBoxLayout(trial_);
    layout->setContentsMargins(kSideMargin, 6, kSideMargin, 2);
    layout->setSpacing(10);
    layout->addWidget(icon);
    layout->addWidget(trialText_, 1);
    layout->addWidget(upgrade);
    return trial_;
}

QWidget* MenuView::makeLimit() {
    limit_ = new QWidget(this);
    auto* icon =
        makeIconLabel(themedViewIcon(QStringLiteral("dialog-error"), QStringLiteral("error")),
                      kSymbolSize, limit_);
    icon->setFixedWidth(kSymbolSize);
    auto* title =
        makeLeftTextLabel(QStringLiteral("Weekly limit reached"), 13, QFont::DemiBold, limit_);
    auto* body =
        makeLeftTextLabel(QStringLiteral("Upgrade to Pro for unlimited words, or wait until "
                                         "<b>your free words reset on Monday</b>"),
                          12, QFont::Normal, limit_);
    body->setTextFormat(Qt::RichText);
    auto* upgrade = new QPushButton(QStringLiteral("Upgrade to Pro"), limit_);
    connect(upgrade, &QPushButton::clicked, this, [this] { run(actions_.upgrade); });

    auto* top = new QHBoxLayout;
    top->setSpacing(8);
    top->addWidget(icon);
    top->addWidget(title, 1);
    auto* layout = new QVBoxLayout(limit_);
    layout->setContentsMargins(kSideMargin, 4, kSideMargin, 4);
    layout->setSpacing(6);
    layout->addLayout(top);
    layout->addWidget(body);
    layout->addWidget(upgrade, 0, Qt::AlignLeft);
    return limit_;
}

MenuRow* MenuView::makeRow(const QString& themeIcon, const QString& fallbackIcon,
                           const QString& text) {
    return new MenuRow(symbolIcon(themeIcon, fallbackIcon, palette().color(QPalette::WindowText)),
                       text, this);
}

void MenuView::render(const MenuInputs& inputs, const MenuAccount& account) {
    const MenuContent content = menuContent(inputs);
    loggedIn_ = inputs.loggedIn;
    tone_ = inputs.tone;
    account_ = account;

    badge_->setText(content.badge.value_or(QString()));
    badge_->setVisible(content.badge.has_value());
    status_->setText(content.statusText);
    const bool required = content.status == MenuStatus::microphoneRequired ||
                          content.status == MenuStatus::accessibilityRequired;
    QPalette statusPalette = palette();
    if (required)
        statusPalette.setColor(QPalette::PlaceholderText, kAlertRed);
    status_->setPalette(statusPalette);
    avatar_->setVisible(inputs.loggedIn);
    if (inputs.loggedIn)
        showAvatar();

    notice_->setVisible(content.showAccessibilityNotice);
    signInRow_->setVisible(content.showSignInRow);
    dictationShortcut_->setText(content.dictationShortcut);
    dictationShortcut_->setAccessibleName(content.dictationShortcutAccessibleName);
    translationShortcut_->setText(content.translationShortcut.value_or(QString()));
    translationLine_->setVisible(content.translationShortcut.has_value());

    accountSeparator_->setVisible(content.showUsage || content.showTrial ||
                                  content.showLimitReached);
    usage_->setVisible(content.showUsage);
    usageFigures_->setText(content.usageFigures);
    usageLine_->setText(content.usageLine);
    const std::int64_t limit = std::max<std::int64_t>(inputs.wordLimit, 0);
    usageBar_->setValue(limit == 0 ? 0
                                   : static_cast<int>(std::clamp<std::int64_t>(
                                         inputs.wordsUsed * 1000 / limit, 0, 1000)));
    trial_->setVisible(content.showTrial);
    trialText_->setText(content.trialText);
    limit_->setVisible(content.showLimitReached);

    copySeparator_->setVisible(content.showCopyLastTranscription);
    copyRow_->setVisible(content.showCopyLastTranscription);
    toneRow_->setText(content.toneRow);
    signOutRow_->setVisible(content.showSignOut);
}

void MenuView::showAvatar() {
    const std::optional<QByteArray> picture =
        avatars_.picture(account_.picture.value_or(QString()));
    avatar_->setAvatar(picture.value_or(QByteArray()),
                       AvatarCache::fallbackLetter(account_.name, account_.email));
    avatar_->setAccessibleName(account_.name.value_or(account_.email.value_or(QString())));
}

void MenuView::run(const std::function<void()>& action) {
    // The action may change what the menu shows (signing out), never the menu's own life.
    if (action)
        action();
    Q_EMIT finished();
}

QMenu* MenuView::toneMenu() const { return toneMenu_; }

void MenuView::openToneMenu() {
    if (toneMenu_)
        return;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setAccessibleName(QStringLiteral("Writing tone"));
    menu->setStyle(new CheckedMenuStyle(menu));
    const QColor ink = palette().color(QPalette::WindowText);
    for (const TonePreset tone : allTonePresets()) {
        QAction* action = menu->addAction(toneIcon(tone, ink), displayName(tone));
        action->setCheckable(true);
        action->setChecked(tone_ == tone);
        connect(action, &QAction::triggered, this, [this, tone] {
            const std::function<void(TonePreset)> select = actions_.selectTone;
            run([&] {
                if (select)
                    select(tone);
            });
        });
    }
    toneMenu_ = menu;
    // Beside the row, as a submenu opens: to its right, or to its left where the screen ends.
    const QSize size = menu->sizeHint();
    QPoint at = toneRow_->mapToGlobal(QPoint(toneRow_->width(), 0));
    if (const QScreen* screen = toneRow_->screen();
        screen && at.x() + size.width() > screen->availableGeometry().right() + 1)
        at.setX(toneRow_->mapToGlobal(QPoint(0, 0)).x() - size.width());
    menu->popup(at);
}

} // namespace sayloom
