#pragma once

namespace sayloom {

// Lets the code that synthesises keys tell the key monitor that the keys it posts are Sayloom's
// own, so that a paste's Ctrl+V or typed text is never taken for the user's hotkey, Space or
// Escape. The user's keyboard is still heard while the guard is up; what the monitor leaves out
// is synthetic key presses. Calls nest. Main thread only.
class SyntheticKeyGuard {
public:
    virtual ~SyntheticKeyGuard() = default;

    // Before the first key is posted.
    virtual void beginPosting() = 0;
    // After the last key has reached the display server (the poster has synced its connection).
    virtual void endPosting() = 0;

    // Raises the guard for its lifetime; does nothing without a guard.
    class Posting {
    public:
        explicit Posting(SyntheticKeyGuard* guard) : guard_(guard) {
            if (guard_)
                guard_->beginPosting();
        }
        ~Posting() {
            if (guard_)
                guard_->endPosting();
        }
        Posting(const Posting&) = delete;
        Posting& operator=(const Posting&) = delete;

    private:
        SyntheticKeyGuard* guard_;
    };
};

} // namespace sayloom
