#pragma once

#include "ui/MotionPreference.h"

#include <QString>

#include <memory>

// GIO's settings object, without its headers.
struct _GSettings;
using GSettings = _GSettings;

namespace sayloom::linux_desktop {

// The desktop's "reduce animations" wish: GNOME's org.gnome.desktop.interface enable-animations
// set to false, or KDE's AnimationDurationFactor of 0 in the [KDE] group of kdeglobals. GSettings
// answers from its local database (dconf's memory-mapped file), so asking never waits on
// another process. Main thread only.
class DesktopMotionPreference final : public MotionPreference {
public:
    DesktopMotionPreference();
    ~DesktopMotionPreference() override;

    bool reduceMotion() const override;

    // KDE's rule on the text of a kdeglobals file.
    static bool kdeglobalsReducesMotion(const QString& text);

private:
    struct GSettingsDeleter {
        void operator()(GSettings* settings) const;
    };
    // Null where the GNOME schema is not installed.
    std::unique_ptr<GSettings, GSettingsDeleter> gnomeInterface_;
};

} // namespace sayloom::linux_desktop
