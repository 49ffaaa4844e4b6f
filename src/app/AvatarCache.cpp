#include "app/AvatarCache.h"

#include "support/LocalizedError.h"
#include "support/URLSession.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSaveFile>
#include <QUrl>

namespace sayloom {

AvatarCache::AvatarCache(URLSessionProtocol& session, QString cacheDirectory, QObject* parent)
    : QObject(parent)
    , session_(session)
    , directory_(std::move(cacheDirectory)) {}

AvatarCache::~AvatarCache() { *alive_ = false; }

QString AvatarCache::fallbackLetter(const std::optional<QString>& name,
                                    const std::optional<QString>& email) {
    for (const std::optional<QString>& text : {name, email}) {
        const QString trimmed = text.value_or(QString()).trimmed();
        if (!trimmed.isEmpty())
            return trimmed.left(1).toUpper();
    }
    return QStringLiteral("?");
}

QString AvatarCache::filePath(const QString& url) const {
    const QByteArray digest = QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha256);
    return directory_ + QStringLiteral("/avatar-") + QString::fromLatin1(digest.toHex().left(32));
}

std::optional<QByteArray> AvatarCache::picture(const QString& url) {
    if (url.isEmpty())
        return std::nullopt;
    if (const auto it = pictures_.constFind(url); it != pictures_.cend())
        return *it;
    QFile cached(filePath(url));
    if (cached.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = cached.readAll();
        pictures_.insert(url, bytes);
        return bytes;
    }
    if (!loading_.contains(url)) {
        loading_.insert(url);
        load(url);
    }
    return std::nullopt;
}

QCoro::Task<void> AvatarCache::load(QString url) {
    const auto alive = alive_;
    URLRequest request;
    request.url = QUrl(url);
    QString problem;
    QByteArray bytes;
    try {
        const URLSessionResult result = co_await session_.data(std::move(request));
        if (result.response.statusCode != 200)
            problem = QStringLiteral("HTTP %1").arg(result.response.statusCode);
        else if (QImage::fromData(result.data).isNull())
            problem = QStringLiteral("not an image");
        else
            bytes = result.data;
    } catch (...) {
        problem = localizedDescription(std::current_exception());
    }
    if (!*alive)
        co_return;
    loading_.remove(url);
    if (!problem.isEmpty()) {
        log_.error("Failed to load: %s", problem);
        co_return;
    }
    pictures_.insert(url, bytes);
    QDir().mkpath(directory_);
    QSaveFile file(filePath(url));
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
        file.commit();
    Q_EMIT pictureLoaded(url);
}

} // namespace sayloom
