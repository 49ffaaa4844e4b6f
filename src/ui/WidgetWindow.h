#pragma once

#include "app/AppWindow.h"

#include <QMetaObject>
#include <QPointer>
#include <QSize>
#include <QString>

class QDialog;
class QWidget;

namespace sayloom {

// An application window around one view: titled, closable and minimizable, of a fixed size.
// Escape closes it like its close button; Return presses the view's default button. Its widgets
// are deleted on a later turn of the event loop, so that it may be destroyed from inside one of
// the view's own callbacks.
class WidgetWindow final : public AppWindow {
public:
    // Takes `content`, a widget without a parent. `extraFlags` adds to the window's hints (for
    // instance Qt::WindowStaysOnTopHint).
    WidgetWindow(const QString& title, QSize size, QWidget* content,
                 Qt::WindowFlags extraFlags = {});
    ~WidgetWindow() override;

    WidgetWindow(const WidgetWindow&) = delete;
    WidgetWindow& operator=(const WidgetWindow&) = delete;

    bool isVisible() const override;
    void present() override;
    void bringToFront() override;
    void close() override;

    // The top-level widget.
    QWidget* widget() const;

private:
    void userClosed();

    QPointer<QDialog> frame_;
    QMetaObject::Connection rejected_;
    bool closedForGood_ = false;
};

} // namespace sayloom
