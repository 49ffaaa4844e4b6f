#pragma once

#include "support/Logger.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

namespace sayloom {

class URLSessionProtocol;

// The user's picture: loaded once through the application's HTTP session and kept, in memory and
// as a file in the cache folder, so that it shows at once next time. A failed load is logged and
// leaves the fallback letter in place. Main thread only.
class AvatarCache final : public QObject {
    Q_OBJECT

public:
    // `cacheDirectory`: $XDG_CACHE_HOME/sayloom.
    AvatarCache(URLSessionProtocol& session, QString cacheDirectory, QObject* parent = nullptr);
    ~AvatarCache() override;

    // The picture's bytes (an image file) when known; otherwise starts loading it and returns
    // nothing, and pictureLoaded(url) follows when it arrives.
    std::optional<QByteArray> picture(const QString& url);

    // The letter shown while there is no picture: the first letter of the name (or the e-mail
    // address), upper-cased; "?" with neither.
    static QString fallbackLetter(const std::optional<QString>& name,
                                  const std::optional<QString>& email);

Q_SIGNALS:
    void pictureLoaded(const QString& url);

private:
    QCoro::Task<void> load(QString url);
    QString filePath(const QString& url) const;

    Logger log_{QStringLiteral("avatar")};
    URLSessionProtocol& session_;
    QString directory_;
    QHash<QString, QByteArray> pictures_;
    QSet<QString> loading_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace sayloom
