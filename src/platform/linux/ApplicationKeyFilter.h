#pragma once

#include "platform/linux/HeldKeys.h"

#include <QObject>

#include <functional>

namespace sayloom::linux_desktop {

// The keys aimed at this application's own windows, read from Qt's key events: what the local
// key monitors see. It works wherever Qt does, Wayland included. When one of our windows loses the
// keyboard focus, the keys held until then count as released.
class ApplicationKeyFilter final : public QObject {
    Q_OBJECT
public:
    using Listener = std::function<void(const HeldKeys::Change& change)>;

    // Filters the events of the running Qt application. `listener` may destroy the filter.
    explicit ApplicationKeyFilter(Listener listener);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void releaseAll();

    Listener listener_;
    HeldKeys held_;
};

} // namespace sayloom::linux_desktop
