#include "platform/linux/X11KeyPoster.h"

#include <QSet>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <thread>

namespace sayloom::linux_desktop {

namespace {

// The keysym that types one Unicode scalar: Latin-1 characters have their own, every other
// character is 0x01000000 plus its code point; line breaks and tabs are the Return and Tab keys.
std::optional<unsigned long> keysymFor(char32_t scalar) {
    if (scalar == U'\n' || scalar == U'\r')
        return XK_Return;
    if (scalar == U'\t')
        return XK_Tab;
    if (scalar < 0x20 || (scalar >= 0x7F && scalar < 0xA0))
        return std::nullopt; // other control characters have no key
    if (scalar < 0x100)
        return scalar;
    return 0x01000000UL | scalar;
}

QList<unsigned long> keysymsOf(const QString& text) {
    QList<unsigned long> keysyms;
    for (const char32_t scalar : text.toUcs4()) {
        if (const auto keysym = keysymFor(scalar))
            keysyms << *keysym;
    }
    return keysyms;
}

void sleepFor(std::chrono::microseconds duration) {
    // The product's one blocking pause: typing is synchronous, and the target needs the time.
    if (duration.count() > 0)
        std::this_thread::sleep_for(duration);
}

} // namespace

// The server's keyboard description, the keycodes it leaves empty, and what we lent them to.
struct X11KeyPoster::KeyboardMap {
    XkbDescPtr description = nullptr;
    QList<int> spareKeycodes;
    QHash<unsigned long, int> keycodeOf;
    QHash<int, unsigned long> keysymOf;
    // When each lent keycode was last pressed, as a running count.
    QHash<int, quint64> lastUse;
    quint64 uses = 0;

    ~KeyboardMap() {
        if (description)
            XkbFreeKeyboard(description, 0, True);
    }
};

X11KeyPoster::X11KeyPoster(Scheduler& scheduler) : X11KeyPoster(scheduler, Tuning{}) {}

X11KeyPoster::X11KeyPoster(Scheduler& scheduler, Tuning tuning)
    : scheduler_(scheduler)
    , tuning_(tuning) {}

X11KeyPoster::~X11KeyPoster() { restoreKeyboard(); }

bool X11KeyPoster::releaseHeldModifiers() {
    Display* display = connection_.display();
    char keys[32] = {};
    XQueryKeymap(display, keys);
    XModifierKeymap* modifiers = XGetModifierMapping(display);
    if (!modifiers)
        return false;
    for (int i = 0; i < 8 * modifiers->max_keypermod; ++i) {
        const KeyCode code = modifiers->modifiermap[i];
        if (code != 0 && (keys[code / 8] & (1 << (code % 8))))
            XTestFakeKeyEvent(display, code, False, CurrentTime);
    }
    XFreeModifiermap(modifiers);
    return true;
}

bool X11KeyPoster::ensureMap() {
    if (map_)
        return true;
    Display* display = connection_.display();
    if (!display)
        return false;
    XkbDescPtr xkb = XkbGetMap(display, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
    if (!xkb)
        return false;
    map_ = std::make_unique<KeyboardMap>();
    map_->description = xkb;
    // From the top down: low keycodes are the ones real keyboards use.
    for (int code = xkb->max_key_code; code >= xkb->min_key_code; --code) {
        if (XkbKeyNumGroups(xkb, code) == 0 || XkbKeyNumSyms(xkb, code) == 0)
            map_->spareKeycodes << code;
    }
    if (tuning_.maximumBorrowed > 0 && map_->spareKeycodes.size() > tuning_.maximumBorrowed)
        map_->spareKeycodes.resize(tuning_.maximumBorrowed);
    return true;
}

bool X11KeyPoster::assign(const QList<unsigned long>& keysyms, const QList<unsigned long>& inUse) {
    if (!ensureMap())
        return false;
    KeyboardMap& map = *map_;
    QList<unsigned long> missing;
    for (const unsigned long keysym : keysyms) {
        if (!map.keycodeOf.contains(keysym) && !missing.contains(keysym))
            missing << keysym;
    }
    if (missing.isEmpty())
        return true;

    // Free keycodes first; then those used longest ago, except the ones this chunk needs.
    QList<int> free;
    for (const int code : map.spareKeycodes) {
        if (!map.keysymOf.contains(code))
            free << code;
    }
    QList<int> reusable;
    if (free.size() < missing.size()) {
        for (auto it = map.keysymOf.cbegin(); it != map.keysymOf.cend(); ++it) {
            if (!inUse.contains(it.value()))
                reusable << it.key();
        }
        std::sort(reusable.begin(), reusable.end(),
                  [&map](int a, int b) { return map.lastUse.value(a) < map.lastUse.value(b); });
        if (free.size() + reusable.size() < missing.size())
            return false;
        // The target may not have handled the keys these keycodes typed until now.
        sleepFor(tuning_.reassignSettle);
    }

    XkbDescPtr xkb = map.description;
    XkbMapChangesRec changes{};
    int lowest = xkb->max_key_code + 1;
    int highest = xkb->min_key_code - 1;
    for (qsizetype i = 0; i < missing.size(); ++i) {
        const int code = i < free.size() ? free[i] : reusable[i - free.size()];
        if (const auto previous = map.keysymOf.constFind(code); previous != map.keysymOf.cend())
            map.keycodeOf.remove(*previous);
        int oneLevel = XkbOneLevelIndex;
        // One level, so that no modifier (Shift, Caps Lock) changes what the key types.
        if (XkbChangeTypesOfKey(xkb, code, 1, XkbGroup1Mask, &oneLevel, &changes) != Success)
            return false;
        KeySym* syms = XkbResizeKeySyms(xkb, code, 1);
        if (!syms)
            return false;
        syms[0] = missing[i];
        map.keycodeOf.insert(missing[i], code);
        map.keysymOf.insert(code, missing[i]);
        lowest = std::min(lowest, code);
        highest = std::max(highest, code);
    }
    changes.changed |= XkbKeySymsMask;
    changes.first_key_sym = static_cast<KeyCode>(lowest);
    changes.num_key_syms = static_cast<unsigned char>(highest - lowest + 1);
    XkbChangeMap(connection_.display(), xkb, &changes);
    XSync(connection_.display(), False);
    return true;
}

void X11KeyPoster::restoreKeyboard() {
    restore_.cancel();
    Display* display = connection_.display();
    if (map_ && display && !map_->keysymOf.isEmpty()) {
        XkbDescPtr xkb = map_->description;
        XkbMapChangesRec changes{};
        int lowest = xkb->max_key_code + 1;
        int highest = xkb->min_key_code - 1;
        for (auto it = map_->keysymOf.cbegin(); it != map_->keysymOf.cend(); ++it) {
            // No groups: the keycode is empty again, as it was before we borrowed it.
            XkbChangeTypesOfKey(xkb, it.key(), 0, XkbGroup1Mask, nullptr, &changes);
            lowest = std::min(lowest, it.key());
            highest = std::max(highest, it.key());
        }
        changes.changed |= XkbKeySymsMask;
        changes.first_key_sym = static_cast<KeyCode>(lowest);
        changes.num_key_syms = static_cast<unsigned char>(highest - lowest + 1);
        XkbChangeMap(display, xkb, &changes);
        XSync(display, False);
    }
    map_.reset();
}

bool X11KeyPoster::postPaste() {
    Display* display = connection_.display();
    if (!display)
        return false;
    const KeyCode control = XKeysymToKeycode(display, XK_Control_L);
    KeyCode v = XKeysymToKeycode(display, XK_v);
    if (v == 0) {
        // A layout without a Latin v: lend a keycode for the shortcut.
        restore_.cancel();
        if (!assign({XK_v}, {}))
            return false;
        v = static_cast<KeyCode>(map_->keycodeOf.value(XK_v));
        restore_ = scheduler_.scheduleOnce(kRestoreDelay, [this] { restoreKeyboard(); });
    }
    if (control == 0)
        return false;

    const SyntheticKeyGuard::Posting posting(guard_);
    releaseHeldModifiers();
    XTestFakeKeyEvent(display, control, True, CurrentTime);
    XTestFakeKeyEvent(display, v, True, CurrentTime);
    XTestFakeKeyEvent(display, v, False, CurrentTime);
    XTestFakeKeyEvent(display, control, False, CurrentTime);
    XSync(display, False);
    return true;
}

void X11KeyPoster::beginTyping(const QString& text) {
    restore_.cancel();
    if (!connection_.display())
        return;
    // As many of the text's characters as there are keycodes, in one map change; the rest
    // (a text with more distinct characters than spare keycodes) chunk by chunk.
    QList<unsigned long> distinct;
    for (const unsigned long keysym : keysymsOf(text)) {
        if (!distinct.contains(keysym))
            distinct << keysym;
    }
    if (!ensureMap())
        return;
    QList<unsigned long> fitting;
    qsizetype free = map_->spareKeycodes.size() - map_->keysymOf.size();
    for (const unsigned long keysym : distinct) {
        if (map_->keycodeOf.contains(keysym)) {
            fitting << keysym;
        } else if (free > 0) {
            fitting << keysym;
            --free;
        }
    }
    assign(fitting, fitting);
}

bool X11KeyPoster::typeChunk(const QString& chunk) {
    Display* display = connection_.display();
    if (!display || chunk.isEmpty())
        return false;
    restore_.cancel();
    const SyntheticKeyGuard::Posting posting(guard_);
    releaseHeldModifiers();

    const QList<unsigned long> keysyms = keysymsOf(chunk);
    if (keysyms.isEmpty() || !ensureMap() || map_->spareKeycodes.isEmpty()) {
        if (!keysyms.isEmpty())
            log_.error("No free keycode to type with; %ld characters were not typed",
                       static_cast<qint64>(keysyms.size()));
        return false;
    }
    // A chunk needs a keycode for each of its distinct characters at once; a keyboard with
    // fewer spare keycodes than that takes it in parts.
    const qsizetype capacity = map_->spareKeycodes.size();
    qsizetype start = 0;
    while (start < keysyms.size()) {
        QList<unsigned long> distinct;
        qsizetype end = start;
        for (; end < keysyms.size(); ++end) {
            if (!distinct.contains(keysyms[end])) {
                if (distinct.size() == capacity)
                    break;
                distinct << keysyms[end];
            }
        }
        if (!assign(distinct, distinct)) {
            log_.error("No free keycode to type with; %ld characters were not typed",
                       static_cast<qint64>(keysyms.size() - start));
            return false;
        }
        for (qsizetype i = start; i < end; ++i) {
            const int code = map_->keycodeOf.value(keysyms[i]);
            map_->lastUse.insert(code, ++map_->uses);
            XTestFakeKeyEvent(display, static_cast<unsigned int>(code), True, CurrentTime);
            XTestFakeKeyEvent(display, static_cast<unsigned int>(code), False, CurrentTime);
        }
        XSync(display, False);
        start = end;
    }
    return true;
}

void X11KeyPoster::pauseBetweenChunks() { sleepFor(tuning_.settle); }

void X11KeyPoster::finishTyping() {
    if (map_)
        restore_ = scheduler_.scheduleOnce(kRestoreDelay, [this] { restoreKeyboard(); });
}

} // namespace sayloom::linux_desktop
