#pragma once

#include "engine/EnginePorts.h"
#include "support/Logger.h"
#include "support/Scheduler.h"
#include "support/URLSession.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

namespace sayloom {

class FirebaseAuthManager;
class KeyValueStore;

// The account as the user interface shows it: who is signed in, the plan, the words used of the
// weekly allowance, and a running Pro trial. It mirrors the sign-in fields of the
// FirebaseAuthManager (each change arrives on a later turn of the event loop), loads the profile,
// plan and usage from the service, keeps the last known name, avatar, plan and limit in the
// user-defaults store so that they show before the service answers, reports the time zone, and
// performs the user-visible sign-out. The engine writes the word usage of each transcription
// through WordUsageSink. One instance per process, main thread only; the collaborators must
// outlive it.
class AuthState final : public QObject, public WordUsageSink {
    Q_OBJECT

public:
    static constexpr std::int64_t kDefaultWordLimit = 2500;
    static constexpr std::chrono::seconds kProfileTimeout{10};
    static constexpr std::chrono::seconds kTimezoneTimeout{10};

    // User-defaults keys of the last known account fields.
    static constexpr const char* kCachedUserNameKey = "cachedUserName";
    static constexpr const char* kCachedUserPictureKey = "cachedUserPicture";
    static constexpr const char* kCachedUserPlanKey = "cachedUserPlan";
    static constexpr const char* kCachedWordLimitKey = "cachedWordLimit";

    struct Collaborators {
        FirebaseAuthManager& auth;
        KeyValueStore& defaults;
        // The profile and time-zone requests go through this session.
        URLSessionProtocol& session;
        Scheduler& scheduler;
        // GET the profile here; POST the time zone there.
        QUrl profileURL;
        QUrl timezoneURL;
        // Once the signed-in state is restored and a user is signed in: the account sync, the
        // profile load and the time-zone report. The application wants them; a command that
        // runs its own calls does not.
        bool syncAtStartup = true;
    };

    explicit AuthState(Collaborators collaborators, QObject* parent = nullptr);
    ~AuthState() override;

    bool isLoggedIn() const { return isLoggedIn_; }
    const std::optional<QString>& userEmail() const { return userEmail_; }
    const std::optional<QString>& userName() const { return userName_; }
    const std::optional<QString>& userPlan() const { return userPlan_; }
    std::int64_t wordsUsed() const { return wordsUsed_; }
    std::int64_t wordLimit() const { return wordLimit_; }
    const std::optional<QString>& userPicture() const { return userPicture_; }
    bool trialActive() const { return trialActive_; }
    std::int64_t trialDaysLeft() const { return trialDaysLeft_; }
    bool isLoadingProfile() const { return isLoadingProfile_; }

    // The engine's writes after each transcription; nothing else happens on them.
    void setWordsUsed(std::int64_t wordsUsed) override;
    void setWordLimit(std::int64_t wordLimit) override;

    // Loads the profile, plan and usage. A 401 is answered by one forced token refresh and one
    // repeated request. Failures are logged and leave every field as it was; never throws.
    QCoro::Task<void> loadUserInfo();
    // loadUserInfo() when signed in and the last load started more than `minimumInterval` ago.
    QCoro::Task<void> refreshIfStale(Duration minimumInterval);
    // Tells the service the system's time zone (an IANA id); never throws.
    QCoro::Task<void> sendTimezone();
    // Signs out locally and forgets the account fields and their cached copies.
    void signOut();
    // The application came to the front: reload the profile when signed in.
    void applicationDidBecomeActive();

    // The system's time zone as an IANA id, as sendTimezone() reports it.
    static QString currentTimeZoneId();

    // What a profile answer says. A part the answer lacks (not an object) is nothing and leaves
    // its fields as they are; a missing trial means none.
    struct UserInfo {
        struct User {
            std::optional<QString> email;
            std::optional<QString> name;
            std::optional<QString> plan;
        };
        struct WordUsage {
            std::int64_t wordsUsed = 0;
            std::int64_t wordLimit = kDefaultWordLimit;
        };
        std::optional<User> user;
        std::optional<WordUsage> wordUsage;
        bool trialActive = false;
        std::int64_t trialDaysLeft = 0;
    };
    // The profile body decoded; nothing when it is not a JSON object. A member of another type
    // than expected counts as absent (a number that is not whole as well).
    static std::optional<UserInfo> parseUserInfo(const QByteArray& body);

Q_SIGNALS:
    // Each fires on every assignment, also when the value stays the same.
    void isLoggedInChanged(bool isLoggedIn);
    void userEmailChanged(const std::optional<QString>& email);
    void userNameChanged(const std::optional<QString>& name);
    void userPlanChanged(const std::optional<QString>& plan);
    void wordsUsedChanged(std::int64_t wordsUsed);
    void wordLimitChanged(std::int64_t wordLimit);
    void userPictureChanged(const std::optional<QString>& picture);
    void trialActiveChanged(bool active);
    void trialDaysLeftChanged(std::int64_t daysLeft);
    void isLoadingProfileChanged(bool loading);

private:
    QCoro::Task<void> startupSync();
    // The profile body of a 200 answer, after at most one forced refresh; nothing otherwise.
    QCoro::Task<std::optional<QByteArray>> fetchProfile();
    QCoro::Task<std::optional<QByteArray>> retryProfileWithFreshToken();
    void applyUserInfo(const QByteArray& body);
    QCoro::Task<URLSessionResult> requestProfile(QString token);

    // A sign-in field delivered from the manager; a present name or picture is also remembered.
    void mirrorUserName(const std::optional<QString>& value);
    void mirrorUserPicture(const std::optional<QString>& value);

    void setIsLoggedIn(bool value);
    void setUserEmail(std::optional<QString> value);
    void setUserName(std::optional<QString> value);
    void setUserPlan(std::optional<QString> value);
    void setUserPicture(std::optional<QString> value);
    void setTrialActive(bool value);
    void setTrialDaysLeft(std::int64_t value);
    void setIsLoadingProfile(bool value);

    Logger log_{QStringLiteral("authState")};
    FirebaseAuthManager& auth_;
    KeyValueStore& defaults_;
    URLSessionProtocol& session_;
    Scheduler& scheduler_;
    QUrl profileURL_;
    QUrl timezoneURL_;

    bool isLoggedIn_ = false;
    std::optional<QString> userEmail_;
    std::optional<QString> userName_;
    std::optional<QString> userPlan_;
    std::int64_t wordsUsed_ = 0;
    std::int64_t wordLimit_ = kDefaultWordLimit;
    std::optional<QString> userPicture_;
    bool trialActive_ = false;
    std::int64_t trialDaysLeft_ = 0;
    bool isLoadingProfile_ = false;
    // When the last profile load started; nothing before the first.
    std::optional<MonotonicInstant> lastUserInfoRefresh_;

    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace sayloom
