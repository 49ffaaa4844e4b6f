#include "ui/HotkeyPicker.h"

#include "ui/CheckedMenuStyle.h"

#include <QSignalBlocker>
#include <QStandardItemModel>

namespace sayloom {

namespace {

constexpr int kOptionRole = Qt::UserRole + 1;

} // namespace

QList<HotkeyPicker::Choice> HotkeyPicker::choices(HotkeyOption selection,
                                                  std::optional<HotkeyOption> disabling,
                                                  std::optional<bool> switchedOn) {
    QList<Choice> rows;
    const bool off = switchedOn.has_value() && !*switchedOn;
    if (switchedOn)
        rows.append({std::nullopt, QStringLiteral("None"),
                     QStringLiteral("No translation shortcut"), true, off});
    for (const HotkeyOption option : allHotkeyOptions()) {
        const bool taken = option == disabling;
        rows.append({option, displayName(option),
                     taken ? QStringLiteral("Already used by the other shortcut") : QString(),
                     !taken, !off && option == selection});
    }
    return rows;
}

HotkeyPicker::HotkeyPicker(bool offersNone, const QString& accessibleName, QWidget* parent)
    : QComboBox(parent)
    , offersNone_(offersNone) {
    setAccessibleName(accessibleName);
    // On Linux, Qt names a combo box by its current text; the description still says which
    // shortcut this is.
    setAccessibleDescription(accessibleName);
    setModel(new QStandardItemModel(this));
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    // The list marks the current choice, which the desktop's style may leave unmarked.
    setStyle(new CheckedMenuStyle(this));
    // Only what the user picks is reported; the rows rebuilt by setState() are not.
    connect(this, &QComboBox::activated, this, [this](int index) {
        const QVariant option = itemData(index, kOptionRole);
        if (!option.isValid()) {
            Q_EMIT noneChosen();
            return;
        }
        if (const auto chosen = hotkeyOptionFromRawValue(option.toString()))
            Q_EMIT optionChosen(*chosen);
    });
    setState(HotkeyOption::fn, std::nullopt);
}

void HotkeyPicker::setState(HotkeyOption selection, std::optional<HotkeyOption> disabling,
                            bool switchedOn) {
    const QSignalBlocker blocker(this);
    auto* rows = static_cast<QStandardItemModel*>(model());
    const QList<Choice> shown =
        choices(selection, disabling, offersNone_ ? std::optional(switchedOn) : std::nullopt);
    // The rows are updated in place: this may run while the list reports a choice.
    int current = 0;
    for (int row = 0; row < shown.size(); ++row) {
        const Choice& choice = shown[row];
        QStandardItem* item = rows->item(row);
        if (!item) {
            item = new QStandardItem;
            rows->appendRow(item);
        }
        item->setText(choice.text);
        item->setEnabled(choice.enabled);
        item->setToolTip(choice.help);
        item->setData(choice.option ? QVariant(rawValue(*choice.option)) : QVariant(), kOptionRole);
        if (choice.checked)
            current = row;
    }
    setCurrentIndex(current);
}

} // namespace sayloom
