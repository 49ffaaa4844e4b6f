#pragma once

#include "engine/DictationHotkeys.h"
#include "hotkeys/KeyEventMonitor.h"
#include "settings/HotkeyOption.h"
#include "support/Logger.h"

#include <optional>

namespace sayloom {

class AppSettings;

// Watches the keyboard through a key monitor and turns it into what the dictation engine needs:
// whether one of the two configured hotkeys is held and which one, a Space-locked recording, an
// unlock by the hotkey, Space or Return, and a cancel by Escape. Hotkeys are modifiers or
// modifier chords, so they are recognised from modifier-flag changes. The monitor only observes:
// the focused window still receives every key. Main thread only.
class HotkeyManager final : public DictationHotkeys {
    Q_OBJECT
public:
    // `monitor` and `settings` must outlive the manager.
    HotkeyManager(KeyEventMonitor& monitor, AppSettings& settings, QObject* parent = nullptr);
    ~HotkeyManager() override;

    bool isHotkeyHeld() const override { return isHotkeyHeld_; }
    bool activeIsTranslate() const override { return activeIsTranslate_; }
    bool isLocked() const override { return isLocked_; }
    void setLocked(bool locked) override;
    void setRecordingActive(bool active) override;
    void setTranscribingActive(bool active) override;
    bool isRecordingActive() const { return isRecordingActive_; }
    bool isTranscribingActive() const { return isTranscribingActive_; }

    void start() override;
    // Removes the monitors and ends a lock; the held flag keeps its value.
    void stop() override;
    bool eventTapFailed() const override { return eventTapFailed_; }
    void setEventTapFailed(bool failed) override;

    // Whether `option` counts as pressed in `flags` (other bits do not matter).
    static bool isPressed(HotkeyOption option, ModifierFlags flags);

    // The keys that matter in a state: the hotkeys (the translation one while translation is
    // on); Escape while held, locked, recording or transcribing; Space while held, locked or
    // recording; Return while locked.
    struct KeyState {
        HotkeyOption hotkey;
        std::optional<HotkeyOption> translationHotkey;
        bool held = false;
        bool locked = false;
        bool recording = false;
        bool transcribing = false;
    };
    static KeyInterest keyInterest(const KeyState& state);

Q_SIGNALS:
    // Emitted on every assignment of the lock flag (repeats included).
    void lockedChanged(bool locked);

private:
    void handleFlags(ModifierFlags flags);
    // Whether the key was acted on. The key still reaches its window either way.
    bool handleKeyDown(KeyCode keyCode);
    void setHotkeyHeld(bool held);
    void removeMonitors();
    // Tells the monitor the keys that matter now, when they changed.
    void updateKeyInterest();

    KeyEventMonitor& monitor_;
    AppSettings& settings_;
    Logger log_{QStringLiteral("hotkey")};

    bool isHotkeyHeld_ = false;
    bool isLocked_ = false;
    bool eventTapFailed_ = false;
    bool activeIsTranslate_ = false;
    bool isRecordingActive_ = false;
    bool isTranscribingActive_ = false;

    std::optional<KeyEventMonitor::Handle> globalFlagsMonitor_;
    std::optional<KeyEventMonitor::Handle> localFlagsMonitor_;
    std::optional<KeyEventMonitor::Handle> globalKeyMonitor_;
    std::optional<KeyEventMonitor::Handle> localKeyMonitor_;
    std::optional<KeyInterest> keyInterest_;
};

} // namespace sayloom
