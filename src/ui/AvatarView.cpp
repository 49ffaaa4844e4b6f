#include "ui/AvatarView.h"

#include <QPainter>
#include <QPainterPath>

namespace sayloom {

AvatarView::AvatarView(int diameter, QWidget* parent) : QWidget(parent) {
    setFixedSize(diameter, diameter);
}

void AvatarView::setAvatar(const QByteArray& picture, const QString& letter) {
    picture_ = picture.isEmpty() ? QImage() : QImage::fromData(picture);
    letter_ = letter;
    update();
}

void AvatarView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF circle = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath clip;
    clip.addEllipse(circle);
    if (!picture_.isNull()) {
        // Fills the circle: the picture's shorter side spans it, centred.
        const QSize scaled = picture_.size().scaled(size(), Qt::KeepAspectRatioByExpanding);
        const QRect target(QPoint((width() - scaled.width()) / 2, (height() - scaled.height()) / 2),
                           scaled);
        painter.setClipPath(clip);
        painter.drawImage(target, picture_);
        return;
    }
    painter.fillPath(clip, palette().color(QPalette::Highlight));
    QFont font = this->font();
    font.setPixelSize(height() / 2);
    font.setWeight(QFont::DemiBold);
    painter.setFont(font);
    painter.setPen(palette().color(QPalette::HighlightedText));
    painter.drawText(rect(), Qt::AlignCenter, letter_);
}

} // namespace sayloom
