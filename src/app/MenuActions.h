#pragma once

#include "settings/TonePreset.h"

#include <functional>

namespace sayloom {

// What the rows of the tray's menu window do; the application shell provides them.
struct MenuActions {
    std::function<void()> openSettings;
    std::function<void()> signIn;
    std::function<void()> openHelp;
    std::function<void()> signOut;
    std::function<void()> quit;
    // Puts the last transcription on the clipboard (again).
    std::function<void()> copyLastTranscription;
    // The accessibility notice's "Open Settings".
    std::function<void()> openAccessibilitySettings;
    std::function<void()> upgrade;
    std::function<void(TonePreset)> selectTone;
};

} // namespace sayloom
