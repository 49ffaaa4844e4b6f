#include "app/UpdateState.h"

#include "support/KeyValueStore.h"
#include "support/LocalizedError.h"
#include "support/URLSession.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimeZone>

namespace sayloom {

namespace {

std::optional<QString> stringMember(const QJsonObject& object, const char* name) {
    const QJsonValue value = object.value(QLatin1String(name));
    return value.isString() ? std::optional<QString>(value.toString()) : std::nullopt;
}

bool booleanMember(const QJsonObject& object, const char* name) {
    const QJsonValue value = object.value(QLatin1String(name));
    return value.isBool() && value.toBool();
}

QDateTime toDateTime(WallInstant instant) {
    return QDateTime::fromMSecsSinceEpoch(
        std::chrono::duration_cast<std::chrono::milliseconds>(instant.time_since_epoch()).count(),
        QTimeZone::utc());
}

} // namespace

UpdateState::UpdateState(Collaborators collaborators, QObject* parent)
    : QObject(parent)
    , session_(collaborators.session)
    , defaults_(collaborators.defaults)
    , scheduler_(collaborators.scheduler)
    , versionCheckURL_(std::move(collaborators.versionCheckURL))
    , downloadURL_(std::move(collaborators.downloadURL)) {}

UpdateState::~UpdateState() { *alive_ = false; }

QCoro::Task<bool> UpdateState::checkForUpdate() {
    const auto alive = alive_;
    URLRequest request;
    request.url = versionCheckURL_;
    request.timeoutInterval = kCheckTimeout;
    URLSessionResult result;
    try {
        result = co_await session_.data(std::move(request));
    } catch (...) {
        if (*alive)
            log_.info("Version check failed (non-fatal): %s",
                      localizedDescription(std::current_exception()));
        co_return false;
    }
    if (!*alive || result.response.statusCode != 200)
        co_return false;
    const std::optional<Answer> answer = decodeAnswer(result.data);
    if (!answer)
        co_return false;
    apply(*answer);
    co_return true;
}

std::optional<UpdateState::Answer> UpdateState::decodeAnswer(const QByteArray& body) {
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    Answer answer;
    answer.forceUpdate = booleanMember(object, "forceUpdate");
    answer.updateAvailable = booleanMember(object, "updateAvailable") || answer.forceUpdate;
    answer.latestVersion = stringMember(object, "latestVersion");
    answer.updateUrl = stringMember(object, "updateUrl");
    answer.warningDate = stringMember(object, "warningDate");
    answer.forceDate = stringMember(object, "forceDate");
    return answer;
}

void UpdateState::apply(const Answer& answer) {
    forceUpdate_ = answer.forceUpdate;
    updateAvailable_ = answer.updateAvailable;
    latestVersion_ = answer.latestVersion;
    updateUrl_ = answer.updateUrl.value_or(downloadURL_.toString());
    warningDate_ = answer.warningDate;
    forceDate_ = answer.forceDate;
    Q_EMIT changed();
}

std::optional<QDateTime> UpdateState::parseForceDate(const std::optional<QString>& text) {
    if (!text || text->isEmpty())
        return std::nullopt;
    // Qt reads both internet date-time forms (with and without fractional seconds) as ISO 8601;
    // a bare calendar date is midnight UTC.
    static const QRegularExpression dateTime(
        QStringLiteral(R"(^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}(\.\d+)?(Z|[+-]\d{2}:\d{2})$)"));
    if (dateTime.match(*text).hasMatch()) {
        const QDateTime parsed = QDateTime::fromString(*text, Qt::ISODateWithMs);
        if (parsed.isValid())
            return parsed;
    }
    QDate date = QDate::fromString(*text, QStringLiteral("yyyy-MM-dd"));
    if (date.isValid() && text->size() == 10)
        return QDateTime(date, QTime(0, 0), QTimeZone::utc());
    return std::nullopt;
}

std::optional<int> UpdateState::daysLeft() const {
    const std::optional<QDateTime> deadline = parseForceDate(forceDate_);
    if (!deadline)
        return std::nullopt;
    // Whole 24-hour periods, not calendar midnights: the same answer in every time zone.
    const qint64 seconds = toDateTime(scheduler_.wallNow()).secsTo(*deadline);
    const qint64 days = seconds / 86'400;
    if (seconds < 0 || days < 1)
        return std::nullopt;
    return static_cast<int>(days);
}

bool UpdateState::isReminderSnoozed() const {
    const std::optional<QDateTime> snoozedAt = defaults_.date(QLatin1String(kSnoozedAtKey));
    return snoozedAt &&
           snoozedAt->secsTo(toDateTime(scheduler_.wallNow())) < kSnoozeDuration.count();
}

void UpdateState::snoozeReminder() {
    defaults_.setDate(QLatin1String(kSnoozedAtKey), toDateTime(scheduler_.wallNow()));
    log_.info("Update reminder snoozed for 24 hours");
}

void UpdateState::clearExpiredSnooze() {
    const std::optional<QDateTime> snoozedAt = defaults_.date(QLatin1String(kSnoozedAtKey));
    if (snoozedAt &&
        snoozedAt->secsTo(toDateTime(scheduler_.wallNow())) >= kSnoozeDuration.count()) {
        defaults_.remove(QLatin1String(kSnoozedAtKey));
        log_.info("Cleared expired snooze entry");
    }
}

} // namespace sayloom
