#pragma once

#include "engine/EngineState.h"

#include <QIcon>

class QPalette;

namespace sayloom {

// The icons Sayloom draws itself, rendered from the SVG files compiled into the program.
class SayloomIcons {
public:
    // The colour of a monochrome tray symbol: light symbols read on dark panels, dark ones on
    // light panels.
    enum class Tone { light, dark };

    // The tone that reads where this palette's window text does: light where the text is light.
    static Tone toneFor(const QPalette& palette);

    // The tray symbol of an engine state. Always our own: icon themes name no symbols for these
    // states. With `updateDot`, a dot in the application palette's highlight colour marks the
    // top-right corner: a newer version is available.
    static QIcon traySymbol(EngineState::Kind kind, Tone tone, bool updateDot = false);

    // The application icon: the icon theme's "sayloom" when one is installed, our own otherwise.
    static QIcon applicationIcon();
    // Our application icon as an SVG document, for the user's icon theme.
    static QByteArray applicationIconSvg();
};

} // namespace sayloom
