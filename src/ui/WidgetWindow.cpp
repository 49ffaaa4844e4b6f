#include "ui/WidgetWindow.h"

#include <QDialog>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace sayloom {

WidgetWindow::WidgetWindow(const QString& title, QSize size, QWidget* content,
                           Qt::WindowFlags extraFlags)
    // A dialog without a parent, shown as an ordinary window: it brings the keys a person
    // expects (Escape closes, Return presses the default button) without being modal.
    // CustomizeWindowHint: these buttons only, no maximize button on a window of a fixed size.
    : frame_(new QDialog(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                      Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                      Qt::WindowCloseButtonHint | extraFlags)) {
    frame_->setWindowTitle(title);
    frame_->setFixedSize(size);
    auto* layout = new QVBoxLayout(frame_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    // In a dialog, Return presses the push button that has the focus: the window opens with the
    // focus on the default one.
    for (QPushButton* button : content->findChildren<QPushButton*>()) {
        if (button->isDefault()) {
            button->setFocus();
            break;
        }
    }
    // The close button and Escape both end in reject(), which hides the dialog first.
    rejected_ = QObject::connect(frame_, &QDialog::rejected, frame_, [this] { userClosed(); });
}

WidgetWindow::~WidgetWindow() {
    QObject::disconnect(rejected_);
    if (!frame_)
        return;
    frame_->hide();
    frame_->deleteLater();
}

QWidget* WidgetWindow::widget() const { return frame_; }

bool WidgetWindow::isVisible() const { return frame_ && !closedForGood_ && frame_->isVisible(); }

void WidgetWindow::present() {
    if (!frame_ || closedForGood_)
        return;
    // The window's content is centred: the frame the window manager adds is not known before
    // the window is shown, and moving it afterwards would make it jump.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect rect(QPoint(), frame_->size());
        rect.moveCenter(screen->availableGeometry().center());
        frame_->setGeometry(rect);
    }
    frame_->show();
    bringToFront();
}

void WidgetWindow::bringToFront() {
    if (!frame_ || closedForGood_)
        return;
    if (frame_->isMinimized())
        frame_->setWindowState(frame_->windowState() & ~Qt::WindowMinimized);
    frame_->raise();
    // Qt asks the window manager through _NET_ACTIVE_WINDOW; openbox grants it even when the
    // request follows no input in this process (a command from another process).
    frame_->activateWindow();
}

void WidgetWindow::close() {
    closedForGood_ = true;
    if (frame_)
        frame_->hide();
}

void WidgetWindow::userClosed() {
    if (closedForGood_)
        return;
    // The callback may destroy this window: keep it alive for its own call.
    const std::function<void()> callback = onClosed;
    if (callback)
        callback();
}

} // namespace sayloom
