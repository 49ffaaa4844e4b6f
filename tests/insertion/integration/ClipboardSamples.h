#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>

namespace sayloom::testing {

// A small red PNG: an image on the clipboard, to see it come back whole.
inline QByteArray redPng() {
    QByteArray png;
    QImage image(16, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

} // namespace sayloom::testing
