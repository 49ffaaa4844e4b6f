#pragma once

namespace sayloom {

// The floating pill that shows a dictation in progress.
class RecordingIndicatorPort {
public:
    virtual ~RecordingIndicatorPort() = default;
    // Shows the pill; nothing happens when it shows already.
    virtual void show() = 0;
    // Hides it; nothing happens when it is hidden.
    virtual void hide() = 0;
};

} // namespace sayloom
