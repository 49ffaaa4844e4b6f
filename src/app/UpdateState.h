#pragma once

#include "support/Logger.h"
#include "support/Scheduler.h"

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <memory>
#include <optional>

namespace sayloom {

class KeyValueStore;
class URLSessionProtocol;

// What the service says about this version: whether a newer one exists, whether this one may
// still be used, and until when. Every successful check overwrites all of it; a failed check
// leaves it as it was. Also keeps the update reminder's 24-hour snooze. Main thread only.
class UpdateState final : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kSnoozedAtKey = "updateReminderSnoozedAt";
    static constexpr std::chrono::seconds kSnoozeDuration{86'400};
    static constexpr std::chrono::seconds kCheckTimeout{10};

    struct Collaborators {
        URLSessionProtocol& session;
        KeyValueStore& defaults;
        Scheduler& scheduler;
        // The version check of this build (its version and platform in the query).
        QUrl versionCheckURL;
        // Where updates come from when the service names no address.
        QUrl downloadURL;
    };

    explicit UpdateState(Collaborators collaborators, QObject* parent = nullptr);
    ~UpdateState() override;

    bool updateAvailable() const { return updateAvailable_; }
    bool forceUpdate() const { return forceUpdate_; }
    const std::optional<QString>& latestVersion() const { return latestVersion_; }
    const QString& updateUrl() const { return updateUrl_; }
    const std::optional<QString>& warningDate() const { return warningDate_; }
    const std::optional<QString>& forceDate() const { return forceDate_; }

    // Asks the service; true when an answer was received and applied. Never throws.
    QCoro::Task<bool> checkForUpdate();
    // Whole 24-hour periods until the deadline ("forceDate"), when that is at least one.
    std::optional<int> daysLeft() const;
    // The fields of a version check's answer; nothing when the body is not a JSON object.
    struct Answer {
        bool updateAvailable = false;
        bool forceUpdate = false;
        std::optional<QString> latestVersion;
        std::optional<QString> updateUrl;
        std::optional<QString> warningDate;
        std::optional<QString> forceDate;
    };
    static std::optional<Answer> decodeAnswer(const QByteArray& body);
    // The deadline parsed: an internet date-time (with or without fractional seconds) or a
    // calendar date (midnight UTC).
    static std::optional<QDateTime> parseForceDate(const std::optional<QString>& text);

    bool isReminderSnoozed() const;
    void snoozeReminder();
    // At launch: forgets a snooze whose 24 hours are over.
    void clearExpiredSnooze();

Q_SIGNALS:
    // After every applied check.
    void changed();

private:
    void apply(const Answer& answer);

    Logger log_{QStringLiteral("update")};
    URLSessionProtocol& session_;
    KeyValueStore& defaults_;
    Scheduler& scheduler_;
    QUrl versionCheckURL_;
    QUrl downloadURL_;

    bool updateAvailable_ = false;
    bool forceUpdate_ = false;
    std::optional<QString> latestVersion_;
    QString updateUrl_;
    std::optional<QString> warningDate_;
    std::optional<QString> forceDate_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace sayloom
