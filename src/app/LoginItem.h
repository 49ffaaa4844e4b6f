#pragma once

#include "support/Logger.h"

#include <QString>

#include <optional>

namespace sayloom {

// Where the application is registered to start when the user logs in.
class LoginItemService {
public:
    virtual ~LoginItemService() = default;
    // Each returns why it failed, or nothing. Unregistering what is not registered succeeds.
    virtual std::optional<QString> registerApplication() = 0;
    virtual std::optional<QString> unregisterApplication() = 0;
};

// Carries out the "Launch at login" setting. Applied at every launch and whenever the setting
// changes; the registration is made every time, whatever it was before. Failures are only logged.
class LoginItem {
public:
    explicit LoginItem(LoginItemService& service) : service_(service) {}

    void setLaunchAtLogin(bool enabled);

private:
    Logger log_{QStringLiteral("loginItem")};
    LoginItemService& service_;
};

} // namespace sayloom
