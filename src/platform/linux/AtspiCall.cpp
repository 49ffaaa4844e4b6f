#include "platform/linux/AtspiCall.h"

#include <atspi/atspi.h>

namespace sayloom::linux_desktop {

AtspiRef adoptAccessible(AtspiAccessible* accessible) {
    return AtspiRef(accessible, [](AtspiAccessible* a) {
        if (a)
            g_object_unref(a);
    });
}

AtspiCall::AtspiCall(const Scheduler& clock, Duration timeout)
    : clock_(clock)
    , timeout_(timeout)
    , start_(clock.monotonicNow()) {
    const int ms =
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count());
    atspi_set_timeout(ms, ms);
}

AtspiCall::~AtspiCall() {
    if (error_)
        g_error_free(error_);
}

QString AtspiCall::errorMessage() const {
    return error_ ? QString::fromUtf8(error_->message) : QString();
}

AXError AtspiCall::outcome(bool gaveValue) const {
    if (error_) {
        const QString message = errorMessage();
        const auto mentions = [&message](const char* text) {
            return message.contains(QLatin1String(text), Qt::CaseInsensitive);
        };
        if (mentions("NoReply") || mentions("Timeout") || mentions("timed out") ||
            mentions("did not receive a reply"))
            return ax_error::cannotComplete;
        // The application quit or the object went away between two calls: a moment's failure.
        if (mentions("UnknownObject") || mentions("ServiceUnknown") || mentions("NameHasNoOwner") ||
            mentions("Disconnected") || mentions("defunct"))
            return ax_error::cannotComplete;
        if (mentions("UnknownMethod") || mentions("UnknownInterface") ||
            mentions("UnknownProperty") || mentions("not supported") || mentions("not implemented"))
            return ax_error::attributeUnsupported;
        return ax_error::failure;
    }
    if (gaveValue)
        return ax_error::success;
    // Nine tenths of the time-out: the clock and libatspi's own timer do not start together.
    if (clock_.monotonicNow() - start_ >= timeout_ * 9 / 10)
        return ax_error::cannotComplete;
    return ax_error::noValue;
}

} // namespace sayloom::linux_desktop
