#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace sayloom::testing {

// What a screen reader finds of another process's windows, read over the accessibility bus.
struct AccessibleNode {
    QString role; // AT-SPI role name: "push button", "label", "frame", ...
    QString name; // the accessible name (a button's label, a label's text)
    QString description;
    bool showing = false;
    bool focusable = false;
    bool focused = false;
    int depth = 0;
};

class AccessibleTree {
public:
    // Every object of the application with process id `pid` (windows first, then their
    // descendants depth-first); empty when it is not on the bus.
    static std::vector<AccessibleNode> of(qint64 pid);
    // The names of its showing objects of `role` ("" for all), in tree order.
    static QStringList names(qint64 pid, const QString& role = {});
    // The titles of its showing top-level windows.
    static QStringList windowTitles(qint64 pid);
    // Its showing object that has the keyboard focus, if any.
    static std::optional<AccessibleNode> focused(qint64 pid);
    // One line per object, indented by depth, for failure messages.
    static QString dump(qint64 pid);
    // Sets the bus's IsEnabled status, which Qt applications follow to join or leave it.
    static void setBusEnabled(bool enabled);
};

} // namespace sayloom::testing
