#include "platform/linux/X11SessionTrust.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

namespace sayloom::linux_desktop {

bool X11SessionTrust::isProcessTrusted() {
    if (X11Connection::isWaylandSession())
        return false;
    Display* display = connection_.display();
    if (!display)
        return false;
    if (!extensionsPresent_) {
        int eventBase = 0, errorBase = 0, major = 0, minor = 0, opcode = 0;
        const bool xtest = XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor);
        bool xinput = XQueryExtension(display, "XInputExtension", &opcode, &eventBase, &errorBase);
        if (xinput) {
            int xiMajor = 2, xiMinor = 2;
            xinput = XIQueryVersion(display, &xiMajor, &xiMinor) == Success &&
                     (xiMajor > 2 || (xiMajor == 2 && xiMinor >= 2));
        }
        switch (use_) {
        case Use::observingKeys:
            extensionsPresent_ = xinput;
            break;
        case Use::postingKeys:
            extensionsPresent_ = xtest;
            break;
        case Use::both:
            extensionsPresent_ = xtest && xinput;
            break;
        }
    }
    return *extensionsPresent_;
}

} // namespace sayloom::linux_desktop
