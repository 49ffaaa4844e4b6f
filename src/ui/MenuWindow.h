#pragma once

#include "app/MenuActions.h"
#include "app/MenuContent.h"
#include "ui/MenuView.h"

#include <QRect>
#include <QWidget>

namespace sayloom {

class AppSettings;
class AuthState;
class AvatarCache;
class SayloomEngine;

// The window the tray icon opens: a frameless popup next to the icon that shows the menu's
// content for the engine, the settings and the account as they are, and follows them while it
// is open. A click outside it, Escape, or any of its rows closes it; the keyboard moves through
// its controls with Tab and the arrow keys. The observed objects and the avatar cache must
// outlive it.
class MenuWindow final : public QWidget {
    Q_OBJECT

public:
    MenuWindow(SayloomEngine& engine, AppSettings& settings, AuthState& account,
               AvatarCache& avatars, MenuActions actions, QWidget* parent = nullptr);
    ~MenuWindow() override;

    // Opens beside `anchor` (where the tray icon is on the screen), or at the pointer when the
    // anchor is invalid, and takes the keyboard.
    void popUp(const QRect& anchor = QRect());

    // What the menu shows now.
    MenuInputs inputs() const;
    MenuAccount account() const;
    MenuView& view() const { return *view_; }

    // Where a window of `size` opens beside `anchor` within `area`: under the anchor, or above
    // it in the lower half of the area, starting at its left edge, moved inside the area.
    static QPoint placement(QSize size, const QRect& anchor, const QRect& area);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();
    void place();

    SayloomEngine& engine_;
    AppSettings& settings_;
    AuthState& account_;
    MenuView* view_ = nullptr;
    QRect anchor_;
};

} // namespace sayloom
