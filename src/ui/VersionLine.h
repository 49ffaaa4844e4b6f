#pragma once

#include <QString>
#include <QWidget>

#include <qcoro/qcorotask.h>

#include <optional>

class QLabel;
class QPushButton;

namespace sayloom {

class UpdateState;
class WebLinks;

// "Version 1.2.0", a button to a newer version when the service names one, and a button that
// asks the service again. Follows what the update state learns, whoever asked. The update state
// and the links must outlive it.
class VersionLine final : public QWidget {
    Q_OBJECT

public:
    VersionLine(UpdateState& updates, WebLinks& links, QWidget* parent = nullptr);
    ~VersionLine() override;

    // "Update to 1.3.0" when the newer version is known, else "Download update".
    static QString updateButtonText(const std::optional<QString>& latestVersion);

private:
    void refresh();
    QCoro::Task<void> check();

    UpdateState& updates_;
    WebLinks& links_;
    QPushButton* updateButton_ = nullptr;
    QPushButton* checkButton_ = nullptr;
    bool checking_ = false;
};

} // namespace sayloom
