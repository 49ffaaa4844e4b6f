#pragma once

#include "settings/HotkeyOption.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace sayloom {

// The device-independent modifier flags of a keyboard event, one bit per modifier. Left and
// right keys share a bit.
using ModifierFlags = std::uint32_t;

namespace modifier_flags {
inline constexpr ModifierFlags shift = 1u << 17;
inline constexpr ModifierFlags control = 1u << 18;
inline constexpr ModifierFlags option = 1u << 19;
inline constexpr ModifierFlags function = 1u << 23;
} // namespace modifier_flags

// The code of a key that went down. Only the keys the hotkeys act on have codes of their own;
// every other key reports `other`.
using KeyCode = std::uint16_t;

namespace key_codes {
inline constexpr KeyCode returnKey = 36;
inline constexpr KeyCode space = 49;
inline constexpr KeyCode escape = 53;
inline constexpr KeyCode other = 0xFFFF;
} // namespace key_codes

// The keys whose changes matter at a given moment: the configured hotkeys always, Space, Return
// and Escape only while they would lock, unlock or cancel something.
struct KeyInterest {
    std::vector<HotkeyOption> hotkeys;
    bool space = false;
    bool returnKey = false;
    bool escape = false;

    friend bool operator==(const KeyInterest&, const KeyInterest&) = default;
};

// Observes the keyboard without taking keys from anyone: every key still reaches the window it
// was aimed at. Handlers are called on the main thread. Main thread only.
class KeyEventMonitor {
public:
    // Global monitors see the keys of the whole session; local monitors see the keys aimed at
    // this application's own windows. An implementation never hands one key to both, so that a
    // client that installs both sees each key once.
    enum class Scope { global, local };

    using FlagsHandler = std::function<void(ModifierFlags flags)>;
    using KeyDownHandler = std::function<void(KeyCode keyCode)>;
    using Handle = std::uint64_t;

    virtual ~KeyEventMonitor() = default;

    // Calls `handler` with the new flags whenever the held modifiers change. Nothing when the
    // monitor cannot be installed (for a global one: the session's keys cannot be observed).
    virtual std::optional<Handle> addFlagsChangedMonitor(Scope scope, FlagsHandler handler) = 0;
    // Calls `handler` whenever a key that is not a modifier goes down (not for auto-repeats).
    virtual std::optional<Handle> addKeyDownMonitor(Scope scope, KeyDownHandler handler) = 0;
    // Removes a monitor; its handler is not called afterwards, even for events already read.
    virtual void removeMonitor(Handle handle) = 0;

    // What a monitor can do where it runs.
    struct Capabilities {
        // Right Ctrl is told from Left Ctrl (the Right Ctrl hotkey needs it).
        bool distinguishesLeftFromRight = true;
        // Keys can be bound while the monitor runs (roads that see only bound keys).
        bool bindsKeysOnTheFly = false;
        // The release of a key held in a chord (Ctrl in Ctrl+C) is seen.
        bool seesReleaseAfterChord = true;
    };
    virtual Capabilities capabilities() const { return {}; }

    // Which keys matter now. Monitors that see every key ignore it; monitors that must bind
    // keys (a compositor's bindings) bind exactly these.
    virtual void setKeyInterest(const KeyInterest& interest) { (void)interest; }
};

} // namespace sayloom
