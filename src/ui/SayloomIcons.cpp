#include "ui/SayloomIcons.h"

#include <QFile>

#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QSvgRenderer>

#include <initializer_list>

// The resource lives in a static library, where nothing would pull its registration in.
static void registerIconResource() { Q_INIT_RESOURCE(tray); }

namespace sayloom {

namespace {

// The tray symbols are drawn in this colour; the dark tone recolours them.
const QColor kLightTone(0xee, 0xee, 0xee);
const QColor kDarkTone(0x30, 0x30, 0x30);

// Rendered by QSvgRenderer rather than left to Qt's SVG icon-engine plugin, which a desktop may
// lack; the sizes cover panels from 16 to 32 pixels at scale 1 and 2.
QIcon renderedIcon(const QString& path, std::initializer_list<int> sizes,
                   const QColor* tint = nullptr) {
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

QIcon SayloomIcons::traySymbol(EngineState::Kind kind, Tone tone) {
    return renderedIcon(traySymbolPath(kind), {16, 22, 24, 32, 44, 48, 64},
                        tone == Tone::dark ? &kDarkTone : nullptr);
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
