#pragma once

#include "app/MenuActions.h"
#include "app/MenuContent.h"

#include <QPointer>
#include <QWidget>

#include <optional>

class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;

namespace sayloom {

class AvatarCache;
class AvatarView;
class MenuRow;

// Who is signed in, as the menu's header shows them.
struct MenuAccount {
    std::optional<QString> name;
    std::optional<QString> email;
    std::optional<QString> picture;
};

// The content of the tray's menu window, top to bottom: the header, the accessibility notice,
// the sign-in row, the shortcuts, the weekly usage, the trial, the weekly limit, the last
// transcription, and the rows of the footer. Which of them show and what they say come from
// menuContent(); the rows run the given actions. The avatar cache must outlive it.
class MenuView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 320;

    MenuView(AvatarCache& avatars, MenuActions actions, QWidget* parent = nullptr);
    ~MenuView() override;

    void render(const MenuInputs& inputs, const MenuAccount& account);

    // The tone list while it is open; null otherwise.
    QMenu* toneMenu() const;

Q_SIGNALS:
    // A row or button has been used: the menu is done.
    void finished();

private:
    QWidget* makeHeader();
    QWidget* makeNotice();
    QWidget* makeUsage();
    QWidget* makeTrial();
    QWidget* makeLimit();
    MenuRow* makeRow(const QString& themeIcon, const QString& fallbackIcon, const QString& text);
    QWidget* makeLine(const QString& themeIcon, const QString& fallbackIcon, QLabel** text);
    // Runs `action` (when there is one), then reports the menu done.
    void run(const std::function<void()>& action);
    void openToneMenu();
    void showAvatar();

    AvatarCache& avatars_;
    MenuActions actions_;
    MenuAccount account_;
    bool loggedIn_ = false;
    std::optional<TonePreset> tone_;

    QLabel* badge_ = nullptr;
    QLabel* status_ = nullptr;
    AvatarView* avatar_ = nullptr;
    QWidget* notice_ = nullptr;
    MenuRow* signInRow_ = nullptr;
    QLabel* dictationShortcut_ = nullptr;
    QWidget* translationLine_ = nullptr;
    QLabel* translationShortcut_ = nullptr;
    QWidget* accountSeparator_ = nullptr;
    QWidget* usage_ = nullptr;
    QLabel* usageFigures_ = nullptr;
    QProgressBar* usageBar_ = nullptr;
    QLabel* usageLine_ = nullptr;
    QWidget* trial_ = nullptr;
    QLabel* trialText_ = nullptr;
    QWidget* limit_ = nullptr;
    QWidget* copySeparator_ = nullptr;
    MenuRow* copyRow_ = nullptr;
    MenuRow* toneRow_ = nullptr;
    MenuRow* signOutRow_ = nullptr;
    QPointer<QMenu> toneMenu_;
};

} // namespace sayloom
