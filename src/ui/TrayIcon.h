#pragma once

#include "engine/EngineState.h"
#include "ui/SayloomIcons.h"

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QStringList>
#include <QSystemTrayIcon>

#include <array>

namespace sayloom {

// Sayloom's icon in the desktop's tray: a symbol and a tooltip for the engine's state, and a
// context menu of what the user can ask for. It takes its inputs through the setters and reports
// the user's choices as signals; it decides nothing else. A setter given the value it already has
// changes nothing. Main thread only.
class TrayIcon final : public QObject {
    Q_OBJECT

public:
    explicit TrayIcon(QObject* parent = nullptr);
    ~TrayIcon() override;

    void show();
    void hide();

    // Picks the symbol and the tooltip.
    void setEngineState(const EngineState& state);
    // "Sign out" is offered only while signed in.
    void setSignedIn(bool signedIn);
    // "Copy last transcription" is offered only when there is one.
    void setLastTranscription(const QString& text);
    // Marks every state's symbol with the update dot (a newer version is available), or clears it.
    void setUpdateAvailable(bool available);

    QString toolTip() const { return tray_.toolTip(); }
    QIcon icon() const { return tray_.icon(); }
    const QMenu& menu() const { return menu_; }
    // Where the tray host shows the icon, on the screen; invalid where the host does not say.
    QRect geometry() const { return tray_.geometry(); }

    // "Sayloom — Ready", "Sayloom — Listening…", "Sayloom — Transcribing…", or "Sayloom — " and
    // the error message.
    static QString toolTipFor(const EngineState& state);
    // The labels of the context menu, top to bottom; an empty label is a separator.
    static QStringList menuItems(bool signedIn, bool hasLastTranscription);

Q_SIGNALS:
    void openRequested();
    void copyLastTranscriptionRequested();
    void signOutRequested();
    void quitRequested();
    // A left click on the icon (the tray host's Activate).
    void activated();

protected:
    // Follows the application palette, which decides the symbols' tone.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void useTone(SayloomIcons::Tone tone);
    void renderSymbols();
    void rebuildMenu();

    // Declared before the tray icon, which refers to it until it is destroyed.
    QMenu menu_;
    QSystemTrayIcon tray_;
    EngineState state_ = EngineState::idle();
    bool signedIn_ = false;
    bool hasLastTranscription_ = false;
    bool updateAvailable_ = false;
    SayloomIcons::Tone tone_ = SayloomIcons::Tone::light;
    // The symbols of the current tone, with or without the dot, by EngineState::Kind.
    std::array<QIcon, 4> symbols_;
};

} // namespace sayloom
