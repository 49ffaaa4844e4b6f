#pragma once

#include "hotkeys/KeyEventMonitor.h"
#include "settings/HotkeyOption.h"

#include <QComboBox>
#include <QList>
#include <QString>

#include <optional>

namespace sayloom {

// A pop-up list of the hotkey options. The option the other shortcut holds is shown but cannot
// be chosen; a picker for a shortcut that can be switched off also offers "None". Options that
// the session's hotkey road handles otherwise than as a key of its own are marked, with why. It
// shows what it is given and reports what the user chose; the settings decide.
class HotkeyPicker final : public QComboBox {
    Q_OBJECT

public:
    // One row of the list; `option` is nothing for "None".
    struct Choice {
        std::optional<HotkeyOption> option;
        QString text;
        QString help;
        bool enabled = true;
        bool checked = false;

        friend bool operator==(const Choice&, const Choice&) = default;
    };

    // The rows for `selection`, with `disabling` not selectable. `switchedOn` is present for a
    // shortcut that can be switched off: "None" comes first then, and is the checked row while
    // the shortcut is off. `road` is what the session's hotkey road can do.
    static QList<Choice> choices(HotkeyOption selection, std::optional<HotkeyOption> disabling,
                                 std::optional<bool> switchedOn,
                                 const KeyEventMonitor::Capabilities& road = {});

    // `offersNone`: the shortcut can be switched off. `accessibleName` names the control.
    HotkeyPicker(bool offersNone, const QString& accessibleName,
                 KeyEventMonitor::Capabilities road = {}, QWidget* parent = nullptr);

    void setState(HotkeyOption selection, std::optional<HotkeyOption> disabling,
                  bool switchedOn = true);

Q_SIGNALS:
    // The user chose an option (which switches a shortcut that was off back on).
    void optionChosen(sayloom::HotkeyOption option);
    // The user chose "None".
    void noneChosen();

private:
    bool offersNone_;
    KeyEventMonitor::Capabilities road_;
};

} // namespace sayloom
