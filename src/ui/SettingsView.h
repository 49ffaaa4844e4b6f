#pragma once

#include "hotkeys/KeyEventMonitor.h"

#include <QString>
#include <QWidget>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace sayloom {

class AppSettings;
class AuthState;
class PermissionRow;
class SayloomEngine;
class ShortcutRows;
class UpdateState;
class WebLinks;

// The settings window's content, one scrolling page: the account with its plan and weekly usage,
// the shortcuts and languages with what they give, the tone, the permissions, launch at login,
// and the version line and legal links. A change is written to the settings at once. It follows
// the settings, the account and the engine's permission flags, whoever changes them. The
// collaborators must outlive it.
class SettingsView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 560;
    static constexpr int kHeight = 680;
    static QString windowTitle() { return QStringLiteral("Sayloom Settings"); }

    struct Collaborators {
        AppSettings& settings;
        AuthState& account;
        SayloomEngine& engine;
        UpdateState& updates;
        WebLinks& links;
        // Leads to where a permission is granted: the sound settings when the microphone is
        // missing (`false`), the help page otherwise.
        std::function<void(bool microphoneGranted)> openPermissionSettings;
        // What the session's hotkey road can do, for the shortcut pickers.
        KeyEventMonitor::Capabilities hotkeyRoad{};
    };

    explicit SettingsView(Collaborators collaborators, QWidget* parent = nullptr);
    ~SettingsView() override;

    QString summary() const;

private:
    QWidget* makeAccount(QWidget* parent);
    QWidget* makeDictation(QWidget* parent);
    QWidget* makeSystem(QWidget* parent);
    void refreshAccount();
    void refreshDictation();
    void refreshPermissions();
    void confirmSignOut();

    Collaborators c_;
    QWidget* accountSection_ = nullptr;
    QLabel* accountName_ = nullptr;
    QLabel* accountEmail_ = nullptr;
    QLabel* plan_ = nullptr;
    QWidget* usage_ = nullptr;
    QLabel* usageFigures_ = nullptr;
    QProgressBar* usageBar_ = nullptr;
    QLabel* usageLine_ = nullptr;
    QWidget* trial_ = nullptr;
    QLabel* trialText_ = nullptr;
    ShortcutRows* shortcuts_ = nullptr;
    QLabel* summary_ = nullptr;
    QComboBox* tone_ = nullptr;
    PermissionRow* microphone_ = nullptr;
    PermissionRow* accessibility_ = nullptr;
    QCheckBox* launchAtLogin_ = nullptr;
};

} // namespace sayloom
