#pragma once

#include "insertion/AXError.h"
#include "support/Scheduler.h"

#include <QString>

#include <memory>

using GError = struct _GError;
using AtspiAccessible = struct _AtspiAccessible;

namespace sayloom::linux_desktop {

// An owned reference to an accessible object (released with g_object_unref).
using AtspiRef = std::shared_ptr<AtspiAccessible>;
// Takes over a reference the caller owns; null stays null.
AtspiRef adoptAccessible(AtspiAccessible* accessible);

// One libatspi call, bounded by the time-out and read back as an accessibility code. libatspi
// answers a call that ran into its time-out with an empty value and often without an error, so
// the call is timed: an empty answer that took the whole time-out is "cannot complete", not
// "nothing there".
class AtspiCall {
public:
    AtspiCall(const Scheduler& clock, Duration timeout);
    ~AtspiCall();
    AtspiCall(const AtspiCall&) = delete;
    AtspiCall& operator=(const AtspiCall&) = delete;

    // Where the call reports its error.
    GError** error() { return &error_; }
    // success when the call gave a value; otherwise why not: cannotComplete for a time-out or a
    // target that went away, attributeUnsupported for an interface or method the target lacks,
    // noValue for an empty answer, failure for anything else.
    AXError outcome(bool gaveValue) const;
    QString errorMessage() const;

private:
    const Scheduler& clock_;
    Duration timeout_;
    MonotonicInstant start_;
    GError* error_ = nullptr;
};

} // namespace sayloom::linux_desktop
