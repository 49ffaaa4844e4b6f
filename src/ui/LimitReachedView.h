#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

namespace sayloom {

// The content of the window shown when the weekly allowance of free words is spent: what
// happened, when it resets, and the way to upgrade.
class LimitReachedView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 352;
    static constexpr int kHeight = 280;
    static QString windowTitle() { return QStringLiteral("Upgrade to keep talking"); }

    LimitReachedView(std::optional<QString> userName, std::function<void()> onUpgrade,
                     std::function<void()> onDismiss, QWidget* parent = nullptr);

    // Addresses the user by the first word of their name, when there is one.
    static QString title(const std::optional<QString>& userName);
};

} // namespace sayloom
