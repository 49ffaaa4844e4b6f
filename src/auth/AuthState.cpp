#include "auth/AuthState.h"

#include "auth/FirebaseAuthError.h"
#include "auth/FirebaseAuthManager.h"
#include "support/KeyValueStore.h"
#include "support/LocalizedError.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

namespace sayloom {

namespace {

QString key(const char* name) { return QString::fromLatin1(name); }

std::optional<QString> stringMember(const QJsonObject& object, const char* name) {
    const QJsonValue value = object.value(QLatin1String(name));
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

} // namespace

AuthState::AuthState(Collaborators collaborators, QObject* parent)
    : QObject(parent)
    , auth_(collaborators.auth)
    , defaults_(collaborators.defaults)
    , session_(collaborators.session)
    , scheduler_(collaborators.scheduler)
    , profileURL_(std::move(collaborators.profileURL))
    , timezoneURL_(std::move(collaborators.timezoneURL)) {
    // The sign-in fields follow the manager's, each on a later turn of the event loop; the
    // current values too.
    connect(
        &auth_, &FirebaseAuthManager::isLoggedInChanged, this,
        [this](bool value) { setIsLoggedIn(value); }, Qt::QueuedConnection);
    connect(
        &auth_, &FirebaseAuthManager::userEmailChanged, this,
        [this](const std::optional<QString>& value) { setUserEmail(value); }, Qt::QueuedConnection);
    connect(
        &auth_, &FirebaseAuthManager::userNameChanged, this,
        [this](const std::optional<QString>& value) { mirrorUserName(value); },
        Qt::QueuedConnection);
    connect(
        &auth_, &FirebaseAuthManager::userPictureChanged, this,
        [this](const std::optional<QString>& value) { mirrorUserPicture(value); },
        Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        this,
        [this, loggedIn = auth_.isLoggedIn(), email = auth_.userEmail(), name = auth_.userName(),
         picture = auth_.userPicture()] {
            setIsLoggedIn(loggedIn);
            setUserEmail(email);
            mirrorUserName(name);
            mirrorUserPicture(picture);
        },
        Qt::QueuedConnection);

    // The last known values show until the mirrored and loaded ones arrive.
    if (!userName_)
        userName_ = defaults_.string(key(kCachedUserNameKey));
    if (!userPicture_)
        userPicture_ = defaults_.string(key(kCachedUserPictureKey));
    if (!userPlan_)
        userPlan_ = defaults_.string(key(kCachedUserPlanKey));
    if (const auto limit = defaults_.integer(key(kCachedWordLimitKey)))
        wordLimit_ = *limit;

    if (collaborators.syncAtStartup)
        startupSync();
}

AuthState::~AuthState() { *alive_ = false; }

QCoro::Task<void> AuthState::startupSync() {
    const auto alive = alive_;
    if (!auth_.isRestored())
        co_await auth_.waitUntilRestored();
    if (*alive && auth_.isLoggedIn()) {
        try {
            co_await auth_.syncAccount();
        } catch (...) {
            if (*alive)
                log_.error("Startup sync failed (non-fatal): %s",
                           localizedDescription(std::current_exception()));
        }
        if (*alive)
            co_await loadUserInfo();
        if (*alive)
            co_await sendTimezone();
    }
}

void AuthState::setWordsUsed(std::int64_t wordsUsed) {
    wordsUsed_ = wordsUsed;
    Q_EMIT wordsUsedChanged(wordsUsed);
}

void AuthState::setWordLimit(std::int64_t wordLimit) {
    wordLimit_ = wordLimit;
    Q_EMIT wordLimitChanged(wordLimit);
}

QCoro::Task<void> AuthState::loadUserInfo() {
    const auto alive = alive_;
    lastUserInfoRefresh_ = scheduler_.monotonicNow();
    if (!userPlan_)
        setIsLoadingProfile(true);
    // An answer that arrives after a sign-out belongs to the account that left.
    const std::uint64_t generation = auth_.authGeneration();
    const std::optional<QByteArray> body = co_await fetchProfile();
    if (!*alive)
        co_return;
    if (body && generation == auth_.authGeneration())
        applyUserInfo(*body);
    setIsLoadingProfile(false);
}

QCoro::Task<std::optional<QByteArray>> AuthState::fetchProfile() {
    const auto alive = alive_;
    QString token;
    URLSessionResult result;
    std::exception_ptr failure;
    try {
        token = co_await auth_.getIdToken();
        result = co_await requestProfile(token);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!*alive)
        co_return std::nullopt;
    if (failure) {
        log_.error("Failed to load user info: %s", localizedDescription(failure));
        co_return std::nullopt;
    }
    const int status = result.response.statusCode;
    if (status < 100) {
        log_.error("loadUserInfo: response was not HTTPURLResponse");
        co_return std::nullopt;
    }
    if (status == 401)
        co_return co_await retryProfileWithFreshToken();
    if (status == 200)
        co_return result.data;
    log_.error("loadUserInfo: /me returned status %ld", status);
    co_return std::nullopt;
}

QCoro::Task<std::optional<QByteArray>> AuthState::retryProfileWithFreshToken() {
    const auto alive = alive_;
    auth_.forgetCachedToken();
    URLSessionResult result;
    std::exception_ptr failure;
    try {
        const QString token = co_await auth_.getIdToken();
        result = co_await requestProfile(token);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!*alive)
        co_return std::nullopt;
    if (failure) {
        if (FirebaseAuthError::holds(failure, FirebaseAuthError::Code::refreshTemporarilyFailed))
            log_.error("loadUserInfo: token refresh temporarily failed; will retry on next sync.");
        else
            log_.error("loadUserInfo retry failed: %s; will retry on next sync.",
                       localizedDescription(failure));
        co_return std::nullopt;
    }
    if (result.response.statusCode != 200) {
        log_.error("loadUserInfo retry: status %ld; will retry on next sync.",
                   result.response.statusCode);
        co_return std::nullopt;
    }
    co_return result.data;
}

QCoro::Task<URLSessionResult> AuthState::requestProfile(QString token) {
    URLRequest request;
    request.url = profileURL_;
    request.httpMethod = "GET";
    request.setValue("Bearer " + token.toUtf8(), "Authorization");
    request.timeoutInterval = kProfileTimeout;
    co_return co_await session_.data(std::move(request));
}

void AuthState::applyUserInfo(const QByteArray& body) {
    const std::optional<UserInfo> info = parseUserInfo(body);
    if (!info)
        return;
    if (info->user) {
        setUserEmail(info->user->email);
        setUserName(info->user->name);
        setUserPlan(info->user->plan);
        if (userPlan_)
            defaults_.setString(key(kCachedUserPlanKey), *userPlan_);
    }
    if (info->wordUsage) {
        setWordsUsed(info->wordUsage->wordsUsed);
        setWordLimit(info->wordUsage->wordLimit);
        defaults_.setInteger(key(kCachedWordLimitKey), wordLimit_);
    }
    setTrialActive(info->trialActive);
    setTrialDaysLeft(info->trialDaysLeft);
}

std::optional<AuthState::UserInfo> AuthState::parseUserInfo(const QByteArray& body) {
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    UserInfo info;

    const QJsonValue user = object.value(QLatin1String("user"));
    if (user.isObject()) {
        const QJsonObject fields = user.toObject();
        info.user = UserInfo::User{stringMember(fields, "email"), stringMember(fields, "name"),
                                   stringMember(fields, "plan")};
    }

    const QJsonValue usage = object.value(QLatin1String("wordUsage"));
    if (usage.isObject()) {
        const QJsonObject fields = usage.toObject();
        info.wordUsage = UserInfo::WordUsage{
            fields.value(QLatin1String("wordsUsed")).toInteger(0),
            fields.value(QLatin1String("wordLimit")).toInteger(kDefaultWordLimit)};
    }

    const QJsonValue trial = object.value(QLatin1String("trial"));
    if (trial.isObject()) {
        const QJsonValue active = trial.toObject().value(QLatin1String("active"));
        info.trialActive = active.isBool() && active.toBool();
        info.trialDaysLeft = trial.toObject().value(QLatin1String("daysLeft")).toInteger(0);
    }
    return info;
}

QCoro::Task<void> AuthState::refreshIfStale(Duration minimumInterval) {
    if (!isLoggedIn_)
        co_return;
    if (lastUserInfoRefresh_ &&
        scheduler_.monotonicNow() - *lastUserInfoRefresh_ <= minimumInterval)
        co_return;
    co_await loadUserInfo();
}

QCoro::Task<void> AuthState::sendTimezone() {
    const auto alive = alive_;
    QString token;
    try {
        token = co_await auth_.getIdToken();
    } catch (...) {
        if (*alive)
            log_.error("Failed to send timezone: %s",
                       localizedDescription(std::current_exception()));
        co_return;
    }
    if (!*alive)
        co_return;
    URLRequest request;
    request.url = timezoneURL_;
    request.httpMethod = "POST";
    request.setValue("Bearer " + token.toUtf8(), "Authorization");
    request.setValue("application/json", "Content-Type");
    request.httpBody = QJsonDocument(QJsonObject{{QStringLiteral("timezone"), currentTimeZoneId()}})
                           .toJson(QJsonDocument::Compact);
    request.timeoutInterval = kTimezoneTimeout;
    try {
        co_await session_.data(std::move(request));
    } catch (...) {
        // The report is best effort: the next launch sends it again.
    }
}

void AuthState::signOut() {
    auth_.clearAuthState();
    setUserPlan(std::nullopt);
    setWordsUsed(0);
    setWordLimit(kDefaultWordLimit);
    setTrialActive(false);
    setTrialDaysLeft(0);
    defaults_.remove(key(kCachedUserNameKey));
    defaults_.remove(key(kCachedUserPictureKey));
    defaults_.remove(key(kCachedUserPlanKey));
    defaults_.remove(key(kCachedWordLimitKey));
}

void AuthState::applicationDidBecomeActive() {
    if (isLoggedIn_)
        loadUserInfo();
}

QString AuthState::currentTimeZoneId() { return QString::fromUtf8(QTimeZone::systemTimeZoneId()); }

void AuthState::setIsLoggedIn(bool value) {
    isLoggedIn_ = value;
    Q_EMIT isLoggedInChanged(value);
}

void AuthState::setUserEmail(std::optional<QString> value) {
    userEmail_ = std::move(value);
    Q_EMIT userEmailChanged(userEmail_);
}

void AuthState::mirrorUserName(const std::optional<QString>& value) {
    // Only a value that is still the manager's is remembered: one that a sign-out has overtaken
    // must not outlive it in the store.
    if (value && value == auth_.userName())
        defaults_.setString(key(kCachedUserNameKey), *value);
    setUserName(value);
}

void AuthState::mirrorUserPicture(const std::optional<QString>& value) {
    if (value && value == auth_.userPicture())
        defaults_.setString(key(kCachedUserPictureKey), *value);
    setUserPicture(value);
}

void AuthState::setUserName(std::optional<QString> value) {
    userName_ = std::move(value);
    Q_EMIT userNameChanged(userName_);
}

void AuthState::setUserPlan(std::optional<QString> value) {
    userPlan_ = std::move(value);
    Q_EMIT userPlanChanged(userPlan_);
}

void AuthState::setUserPicture(std::optional<QString> value) {
    userPicture_ = std::move(value);
    Q_EMIT userPictureChanged(userPicture_);
}

void AuthState::setTrialActive(bool value) {
    trialActive_ = value;
    Q_EMIT trialActiveChanged(value);
}

void AuthState::setTrialDaysLeft(std::int64_t value) {
    trialDaysLeft_ = value;
    Q_EMIT trialDaysLeftChanged(value);
}

void AuthState::setIsLoadingProfile(bool value) {
    isLoadingProfile_ = value;
    Q_EMIT isLoadingProfileChanged(value);
}

} // namespace sayloom
