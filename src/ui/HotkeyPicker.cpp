#include "ui/HotkeyPicker.h"

#include "ui/CheckedMenuStyle.h"

#include <QSignalBlocker>
#include <QStandardItemModel>

namespace sayloom {

namespace {

constexpr int kOptionRole = Qt::UserRole + 1;

// How an option differs on the session's hotkey road: a few words for its row and why.
struct RoadMark {
    QString words;
    QString why;
};

RoadMark roadMark(HotkeyOption option, const KeyEventMonitor::Capabilities& road) {
    if (!road.seesReleaseAfterChord && option == HotkeyOption::controlKey)
        return {QStringLiteral("starts with every Ctrl shortcut here"),
                QStringLiteral("This desktop does not tell Sayloom when a key held for a shortcut "
                               "is let go: each Ctrl shortcut you use (Ctrl+C) would start a "
                               "recording that runs until Ctrl is pressed again.")};
    if (!road.seesReleaseAfterChord && option == HotkeyOption::optionKey)
        return {QString(),
                QStringLiteral("An Alt shortcut (Alt+Tab) starts a recording that runs until Alt "
                               "is pressed again: this desktop does not tell Sayloom when a key "
                               "held for a shortcut is let go.")};
    if (!road.distinguishesLeftFromRight && option == HotkeyOption::fn)
        return {QStringLiteral("either Ctrl here"),
                QStringLiteral("This desktop's global shortcuts do not tell Left from Right "
                               "Ctrl: either Ctrl key starts a recording.")};
    return {};
}

} // namespace

QList<HotkeyPicker::Choice> HotkeyPicker::choices(HotkeyOption selection,
                                                  std::optional<HotkeyOption> disabling,
                                                  std::optional<bool> switchedOn,
                                                  const KeyEventMonitor::Capabilities& road) {
    QList<Choice> rows;
    const bool off = switchedOn.has_value() && !*switchedOn;
    if (switchedOn)
        rows.append({std::nullopt, QStringLiteral("None"),
                     QStringLiteral("No translation shortcut"), true, off});
    for (const HotkeyOption option : allHotkeyOptions()) {
        const bool taken = option == disabling;
        const RoadMark mark = roadMark(option, road);
        rows.append({option,
                     mark.words.isEmpty()
                         ? displayName(option)
                         : QStringLiteral("%1 (%2)").arg(displayName(option), mark.words),
                     taken ? QStringLiteral("Already used by the other shortcut") : mark.why,
                     !taken, !off && option == selection});
    }
    return rows;
}

HotkeyPicker::HotkeyPicker(bool offersNone, const QString& accessibleName,
                           KeyEventMonitor::Capabilities road, QWidget* parent)
    : QComboBox(parent)
    , offersNone_(offersNone)
    , road_(road) {
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
    const QList<Choice> shown = choices(
        selection, disabling, offersNone_ ? std::optional(switchedOn) : std::nullopt, road_);
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
