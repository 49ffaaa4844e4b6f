#pragma once

#include "support/WebBrowser.h"

namespace sayloom::linux_desktop {

// The user's browser: the program named by SAYLOOM_BROWSER when it is set (given the URL as its
// one argument), else the desktop's default browser through xdg-open.
class DesktopBrowser final : public WebBrowser {
public:
    std::optional<QString> open(const QUrl& url) override;
};

} // namespace sayloom::linux_desktop
