#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace sayloom {

// Opens web pages (and the sign-in pages of the identity providers) in the user's browser.
class WebBrowser {
public:
    virtual ~WebBrowser() = default;
    // Hands `url` to the browser. Returns why it could not be launched, or nothing once it was;
    // whether the page then loads is the browser's business.
    virtual std::optional<QString> open(const QUrl& url) = 0;
};

} // namespace sayloom
