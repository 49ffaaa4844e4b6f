#pragma once

#include <QString>
#include <QWidget>

#include <functional>

namespace sayloom {

class WebLinks;

// The reminder that a newer version exists: its number, the days left before it is required,
// and the choice between a reminder tomorrow and the download. The links must outlive it.
class UpdateBannerView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 360;
    static constexpr int kHeight = 150;
    static QString windowTitle() { return QStringLiteral("Update available"); }

    UpdateBannerView(const QString& latestVersion, int daysLeft, QString updateUrl, WebLinks& links,
                     std::function<void()> onSnooze, std::function<void()> onDismiss,
                     QWidget* parent = nullptr);

    // "Update required in 3 days." while days are left; empty otherwise.
    static QString deadlineLine(int daysLeft);
};

} // namespace sayloom
