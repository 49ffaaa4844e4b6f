#pragma once

#include "app/LoginItem.h"

#include <QString>
#include <QStringList>

namespace sayloom::linux_desktop {

// Starting at login through the freedesktop autostart folder: our desktop entry in
// $XDG_CONFIG_HOME/autostart, starting `executable`.
class XdgAutostart final : public LoginItemService {
public:
    XdgAutostart(QString executable, QStringList schemes)
        : executable_(std::move(executable))
        , schemes_(std::move(schemes)) {}

    std::optional<QString> registerApplication() override;
    std::optional<QString> unregisterApplication() override;

    // $XDG_CONFIG_HOME/autostart/sayloom.desktop.
    static QString entryPath();

private:
    QString executable_;
    QStringList schemes_;
};

} // namespace sayloom::linux_desktop
