#include "hotkeys/HotkeyManager.h"

#include "settings/AppSettings.h"

namespace sayloom {

HotkeyManager::HotkeyManager(KeyEventMonitor& monitor, AppSettings& settings, QObject* parent)
    : DictationHotkeys(parent)
    , monitor_(monitor)
    , settings_(settings) {
    connect(&settings_, &AppSettings::selectedHotkeyChanged, this, [this] { updateKeyInterest(); });
    connect(&settings_, &AppSettings::selectedTranslationHotkeyChanged, this,
            [this] { updateKeyInterest(); });
    connect(&settings_, &AppSettings::translationEnabledChanged, this,
            [this] { updateKeyInterest(); });
}

HotkeyManager::~HotkeyManager() { removeMonitors(); }

bool HotkeyManager::isPressed(HotkeyOption option, ModifierFlags flags) {
    switch (option) {
    case HotkeyOption::fn:
        return (flags & modifier_flags::function) != 0;
    case HotkeyOption::optionKey:
        return (flags & modifier_flags::option) != 0;
    case HotkeyOption::controlKey:
        return (flags & modifier_flags::control) != 0;
    case HotkeyOption::controlShift:
        return (flags & modifier_flags::control) != 0 && (flags & modifier_flags::shift) != 0;
    }
    return false;
}

KeyInterest HotkeyManager::keyInterest(const KeyState& state) {
    KeyInterest interest;
    interest.hotkeys.push_back(state.hotkey);
    if (state.translationHotkey)
        interest.hotkeys.push_back(*state.translationHotkey);
    interest.escape = state.held || state.locked || state.recording || state.transcribing;
    interest.space = state.held || state.locked || state.recording;
    interest.returnKey = state.locked;
    return interest;
}

void HotkeyManager::updateKeyInterest() {
    KeyState state{settings_.selectedHotkey(), std::nullopt,         isHotkeyHeld_, isLocked_,
                   isRecordingActive_,         isTranscribingActive_};
    if (settings_.translationEnabled())
        state.translationHotkey = settings_.selectedTranslationHotkey();
    const KeyInterest interest = keyInterest(state);
    if (interest == keyInterest_)
        return;
    keyInterest_ = interest;
    monitor_.setKeyInterest(interest);
}

void HotkeyManager::setLocked(bool locked) {
    isLocked_ = locked;
    Q_EMIT lockedChanged(locked);
    updateKeyInterest();
}

void HotkeyManager::setRecordingActive(bool active) {
    isRecordingActive_ = active;
    updateKeyInterest();
}

void HotkeyManager::setTranscribingActive(bool active) {
    isTranscribingActive_ = active;
    updateKeyInterest();
}

void HotkeyManager::setEventTapFailed(bool failed) {
    eventTapFailed_ = failed;
    Q_EMIT eventTapFailedChanged(failed);
}

void HotkeyManager::setHotkeyHeld(bool held) {
    isHotkeyHeld_ = held;
    Q_EMIT hotkeyHeldChanged(held);
    updateKeyInterest();
}

void HotkeyManager::start() {
    if (globalFlagsMonitor_)
        return;
    // A failed attempt may have installed the local monitors: take them away first, or every
    // local key would be handled twice (and one Space would lock and unlock at once).
    removeMonitors();

    // A monitor that binds keys must know them before it can report them.
    keyInterest_.reset();
    updateKeyInterest();
    using Scope = KeyEventMonitor::Scope;
    const auto onFlags = [this](ModifierFlags flags) { handleFlags(flags); };
    const auto onKeyDown = [this](KeyCode keyCode) { (void)handleKeyDown(keyCode); };
    globalFlagsMonitor_ = monitor_.addFlagsChangedMonitor(Scope::global, onFlags);
    localFlagsMonitor_ = monitor_.addFlagsChangedMonitor(Scope::local, onFlags);
    globalKeyMonitor_ = monitor_.addKeyDownMonitor(Scope::global, onKeyDown);
    localKeyMonitor_ = monitor_.addKeyDownMonitor(Scope::local, onKeyDown);

    if (!globalFlagsMonitor_) {
        log_.error("Failed to create global monitor. Check Accessibility permissions.");
        setEventTapFailed(true);
    } else {
        log_.info("Global key monitor started");
        setEventTapFailed(false);
    }
}

void HotkeyManager::stop() {
    removeMonitors();
    setLocked(false);
    isRecordingActive_ = false;
    updateKeyInterest();
    log_.info("Monitor stopped");
}

void HotkeyManager::removeMonitors() {
    for (auto* monitor :
         {&globalFlagsMonitor_, &localFlagsMonitor_, &globalKeyMonitor_, &localKeyMonitor_}) {
        if (*monitor)
            monitor_.removeMonitor(**monitor);
        monitor->reset();
    }
}

void HotkeyManager::handleFlags(ModifierFlags flags) {
    const bool dictationPressed = isPressed(settings_.selectedHotkey(), flags);
    const bool translationPressed =
        settings_.translationEnabled() && isPressed(settings_.selectedTranslationHotkey(), flags);
    const bool held = dictationPressed || translationPressed;
    if (held == isHotkeyHeld_)
        return;

    if (!held) {
        setHotkeyHeld(false);
        return;
    }

    // A press that ends a locked recording is not a new hold: its release must change nothing.
    if (isLocked_) {
        setLocked(false);
        Q_EMIT unlockRequested();
        log_.info("Unlocked via hotkey press");
        return;
    }

    // A chord may match both hotkeys (Control for dictation, Control + Shift for translation):
    // the translation's chord wins when it is the more specific one.
    const bool translationIsChord =
        settings_.selectedTranslationHotkey() == HotkeyOption::controlShift &&
        settings_.selectedHotkey() != HotkeyOption::controlShift;
    // Written before the held flag: the engine reads it when it sees the hold begin.
    activeIsTranslate_ = translationPressed && (!dictationPressed || translationIsChord);
    setHotkeyHeld(true);
}

bool HotkeyManager::handleKeyDown(KeyCode keyCode) {
    if (keyCode == key_codes::escape) {
        if (!(isHotkeyHeld_ || isLocked_ || isRecordingActive_ || isTranscribingActive_))
            return false;
        setLocked(false);
        Q_EMIT cancelRequested();
        log_.info("Cancelled via Escape");
        return true;
    }

    const bool space = keyCode == key_codes::space;
    if (isLocked_ && (space || keyCode == key_codes::returnKey)) {
        setLocked(false);
        Q_EMIT unlockRequested();
        log_.info("Unlocked via %s", space ? "Space" : "Enter");
        return true;
    }

    if (space && !isLocked_ && (isHotkeyHeld_ || isRecordingActive_)) {
        setLocked(true);
        log_.info("Locked recording mode (translate: %{bool}d)", activeIsTranslate_);
        return true;
    }
    return false;
}

} // namespace sayloom
