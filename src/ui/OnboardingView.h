#pragma once

#include "engine/DictationOutcome.h"
#include "hotkeys/KeyEventMonitor.h"
#include "support/Scheduler.h"

#include <QString>
#include <QWidget>

#include <chrono>
#include <functional>

class QLabel;
class QPushButton;

namespace sayloom {

class AppSettings;
class PermissionRow;
class SayloomEngine;
class ShortcutRows;
class TryItTextField;

// The onboarding window's content, top to bottom: the header, the two permissions, the shortcuts,
// the try-it field with what the test dictation came to, and the button that finishes the setup
// once a dictation was heard ("Skip for now" finishes it without one, offered after eight
// seconds). While it is shown the permissions are read again every second. The collaborators must
// outlive it.
class OnboardingView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 620;
    static constexpr int kHeight = 640;
    static constexpr std::chrono::seconds kSkipDelay{8};
    static constexpr std::chrono::seconds kPermissionRefreshInterval{1};
    static QString windowTitle() { return QStringLiteral("Welcome to Sayloom"); }

    struct Collaborators {
        AppSettings& settings;
        SayloomEngine& engine;
        Scheduler& scheduler;
        // Leads to where a permission is granted: the sound settings when the microphone is
        // missing (`false`), the help page otherwise.
        std::function<void(bool microphoneGranted)> openPermissionSettings;
        // The user finished (or skipped) the setup.
        std::function<void()> onComplete;
        // Sayloom switched the desktop's accessibility support on as it started: applications
        // already open join it only when started again, which the Accessibility row says.
        bool accessibilitySwitchedOn = false;
        // What the session's hotkey road can do, for the shortcut pickers.
        KeyEventMonitor::Capabilities hotkeyRoad{};
    };

    explicit OnboardingView(Collaborators collaborators, QWidget* parent = nullptr);
    ~OnboardingView() override;

    DictationOutcome outcome() const { return outcome_; }
    bool showsSkip() const;
    TryItTextField* tryItField() const { return tryIt_; }
    QPushButton* primaryButton() const { return primary_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makePermissions();
    QWidget* makeTryIt();
    QWidget* makeButtons();
    void refresh();
    void refreshPermissions();
    void startPermissionRefresh();
    void complete();

    Collaborators c_;
    DictationOutcome outcome_;
    bool shown_ = false;
    Timer refreshTimer_;
    Timer skipTimer_;

    QLabel* title_ = nullptr;
    QLabel* subtitle_ = nullptr;
    PermissionRow* microphone_ = nullptr;
    PermissionRow* accessibility_ = nullptr;
    ShortcutRows* shortcuts_ = nullptr;
    TryItTextField* tryIt_ = nullptr;
    QLabel* outcomeMessage_ = nullptr;
    QLabel* translationHint_ = nullptr;
    QPushButton* skip_ = nullptr;
    QLabel* caption_ = nullptr;
    QPushButton* primary_ = nullptr;
};

} // namespace sayloom
