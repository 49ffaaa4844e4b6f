#include "ui/SayloomIcons.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QSvgRenderer>

#include <algorithm>
#include <initializer_list>

// The resource lives in a static library, where nothing would pull its registration in.
static void registerIconResource() { Q_INIT_RESOURCE(tray); }

namespace sayloom {

namespace {

// The tray symbols are drawn in this colour; the dark tone recolours them.
const QColor kLightTone(0xee, 0xee, 0xee);
const QColor kDarkTone(0x30, 0x30, 0x30);

// The update dot, measured on the 22-pixel symbol, whose glyph fills the canvas but for 1 pixel
// on each side: 6 pixels wide, 2 pixels right of and above the glyph's top-right corner as far as
// the canvas goes (the tray host shows nothing outside it), with a clear ring that parts it from
// the glyph.
void drawUpdateDot(QPainter& painter, int size, const QColor& colour) {
    const qreal scale = size / 22.0;
    const qreal diameter = 6 * scale;
    const qreal right = std::min<qreal>((21 + 2) * scale, size);
    const qreal top = std::max<qreal>((1 - 2) * scale, 0);
    const QRectF dot(right - diameter, top, diameter, diameter);
    const qreal ring = 1.25 * scale;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.setBrush(Qt::black);
    painter.drawEllipse(dot.adjusted(-ring, -ring, ring, ring));
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setBrush(colour);
    painter.drawEllipse(dot);
}

// Rendered by QSvgRenderer rather than left to Qt's SVG icon-engine plugin, which a desktop may
// lack; the sizes cover panels from 16 to 32 pixels at scale 1 and 2.
QIcon renderedIcon(const QString& path, std::initializer_list<int> sizes,
                   const QColor* tint = nullptr, const QColor* dot = nullptr) {
    static const bool registered = (registerIconResource(), true);
    (void)registered;
    QSvgRenderer renderer(path);
    QIcon icon;
    for (const int size : sizes) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        if (tint) {
            // The symbols are one colour on transparency: keep their coverage, change the colour.
            painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
            painter.fillRect(image.rect(), *tint);
        }
        if (dot)
            drawUpdateDot(painter, size, *dot);
        painter.end();
        icon.addPixmap(QPixmap::fromImage(std::move(image)));
    }
    return icon;
}

QString traySymbolPath(EngineState::Kind kind) {
    switch (kind) {
    case EngineState::Kind::idle:
        return QStringLiteral(":/sayloom/tray/idle.svg");
    case EngineState::Kind::recording:
        return QStringLiteral(":/sayloom/tray/recording.svg");
    case EngineState::Kind::transcribing:
        return QStringLiteral(":/sayloom/tray/transcribing.svg");
    case EngineState::Kind::error:
        return QStringLiteral(":/sayloom/tray/error.svg");
    }
    Q_UNREACHABLE();
}

} // namespace

SayloomIcons::Tone SayloomIcons::toneFor(const QPalette& palette) {
    return palette.color(QPalette::Active, QPalette::WindowText).lightness() >= 128 ? Tone::light
                                                                                    : Tone::dark;
}

QIcon SayloomIcons::traySymbol(EngineState::Kind kind, Tone tone, bool updateDot) {
    const QColor accent = QGuiApplication::palette().color(QPalette::Active, QPalette::Highlight);
    return renderedIcon(traySymbolPath(kind), {16, 22, 24, 32, 44, 48, 64},
                        tone == Tone::dark ? &kDarkTone : nullptr, updateDot ? &accent : nullptr);
}

QIcon SayloomIcons::applicationIcon() {
    const QString themeName = QStringLiteral("sayloom");
    if (QIcon::hasThemeIcon(themeName))
        return QIcon::fromTheme(themeName);
    return renderedIcon(QStringLiteral(":/sayloom/sayloom.svg"),
                        {16, 22, 24, 32, 48, 64, 128, 256});
}

QByteArray SayloomIcons::applicationIconSvg() {
    QFile file(QStringLiteral(":/sayloom/sayloom.svg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace sayloom
