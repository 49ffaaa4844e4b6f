#pragma once

#include <QObject>

namespace sayloom {

// What the engine needs of the global hotkey monitor: whether a dictation hotkey is held and
// which one, the lock, two activity flags the engine keeps up to date, the unlock and cancel
// signals, and starting and stopping the monitor. Main thread only.
class DictationHotkeys : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isHotkeyHeld() const = 0;
    // The hold that set isHotkeyHeld belongs to the translation hotkey.
    virtual bool activeIsTranslate() const = 0;
    virtual bool isLocked() const = 0;
    virtual void setLocked(bool locked) = 0;
    // Kept up to date by the engine: its state is recording / transcribing.
    virtual void setRecordingActive(bool active) = 0;
    virtual void setTranscribingActive(bool active) = 0;

    // Installs the global key monitor (nothing when it is installed already); on failure
    // eventTapFailed() becomes true.
    virtual void start() = 0;
    // Removes the monitor.
    virtual void stop() = 0;
    // The last start() could not install the global monitor.
    virtual bool eventTapFailed() const = 0;
    virtual void setEventTapFailed(bool failed) = 0;

Q_SIGNALS:
    // Emitted on every assignment of the held flag (repeats included).
    void hotkeyHeldChanged(bool held);
    // A locked recording was ended by a key (the hotkey again, Space or Return).
    void unlockRequested();
    // Escape while something is active.
    void cancelRequested();
    // Emitted on every assignment of the monitor-failed flag.
    void eventTapFailedChanged(bool failed);
};

} // namespace sayloom
