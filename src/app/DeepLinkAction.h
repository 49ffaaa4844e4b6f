#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace sayloom {

// What a URL handed to the application asks for. Parsing never fails: anything unknown is
// `ignore`.
class DeepLinkAction {
public:
    enum class Kind {
        googleOAuth,
        githubOAuthCallback,
        githubLink,
        openUpgrade,
        planUpdated,
        ignore
    };

    // The Google redirect (a scheme beginning with the Google client prefix), and the "sayloom"
    // scheme's links: auth/github-callback, auth/link-github?githubToken=..., upgrade and
    // plan-updated. Schemes and hosts compare case-sensitively, so the URL is read as the text
    // it came as (QUrl would lower their case).
    explicit DeepLinkAction(const QString& url);

    static DeepLinkAction googleOAuth(QUrl url) { return {Kind::googleOAuth, std::move(url), {}}; }
    static DeepLinkAction githubOAuthCallback(QUrl url) {
        return {Kind::githubOAuthCallback, std::move(url), {}};
    }
    static DeepLinkAction githubLink(std::optional<QString> token) {
        return {Kind::githubLink, {}, std::move(token)};
    }
    static DeepLinkAction openUpgrade() { return {Kind::openUpgrade, {}, {}}; }
    static DeepLinkAction planUpdated() { return {Kind::planUpdated, {}, {}}; }
    static DeepLinkAction ignore() { return {Kind::ignore, {}, {}}; }

    Kind kind() const { return kind_; }
    // The whole URL of googleOAuth and githubOAuthCallback.
    const QUrl& url() const { return url_; }
    // The "githubToken" of githubLink, when the link carries one.
    const std::optional<QString>& token() const { return token_; }

    // True for the URLs this application handles at all: the "sayloom" scheme and the Google
    // redirect scheme. Others are refused before they reach the running instance.
    static bool isOwnScheme(const QString& url);

    // The schemes to register with the desktop: "sayloom", and the Google redirect scheme when
    // `googleClientId` is a Google client id.
    static QStringList registeredSchemes(const QString& googleClientId);

    friend bool operator==(const DeepLinkAction& a, const DeepLinkAction& b) {
        return a.kind_ == b.kind_ && a.url_ == b.url_ && a.token_ == b.token_;
    }

private:
    DeepLinkAction(Kind kind, QUrl url, std::optional<QString> token)
        : kind_(kind)
        , url_(std::move(url))
        , token_(std::move(token)) {}

    Kind kind_ = Kind::ignore;
    QUrl url_;
    std::optional<QString> token_;
};

} // namespace sayloom
