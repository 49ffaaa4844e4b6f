#include "platform/linux/FileKeychain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sayloom::linux_desktop {

namespace {

constexpr int kLockTimeoutMs = 5000;

QString errnoText() { return QString::fromLocal8Bit(std::strerror(errno)); }

bool writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

} // namespace

FileKeychain::FileKeychain(QString path) : path_(std::move(path)) {}

QString FileKeychain::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/sayloom/keychain.json");
}

QCoro::Task<KeychainReadResult> FileKeychain::read(QString service, QString account) {
    Items items;
    switch (load(items)) {
    case Load::missing:
        co_return KeychainReadResult{KeychainStatus::itemNotFound, {}};
    case Load::damaged:
        co_return KeychainReadResult{KeychainStatus::decodeError, {}};
    case Load::loaded:
        break;
    }
    for (const Item& item : items)
        if (item.service == service && item.account == account)
            co_return KeychainReadResult{KeychainStatus::success, item.value};
    co_return KeychainReadResult{KeychainStatus::itemNotFound, {}};
}

QCoro::Task<int> FileKeychain::update(QString service, QString account, QByteArray value) {
    co_return modify([&](Items& items) {
        for (Item& item : items)
            if (item.service == service && item.account == account) {
                item.value = value;
                return KeychainStatus::success;
            }
        return KeychainStatus::itemNotFound;
    });
}

QCoro::Task<int> FileKeychain::add(QString service, QString account, QByteArray value) {
    co_return modify([&](Items& items) {
        for (const Item& item : items)
            if (item.service == service && item.account == account)
                return KeychainStatus::duplicateItem;
        items.push_back({service, account, value});
        return KeychainStatus::success;
    });
}

QCoro::Task<int> FileKeychain::remove(QString service, QString account) {
    co_return modify([&](Items& items) {
        const auto removed = std::erase_if(items, [&](const Item& item) {
            return item.service == service && item.account == account;
        });
        return removed > 0 ? KeychainStatus::success : KeychainStatus::itemNotFound;
    });
}

FileKeychain::Load FileKeychain::load(Items& items) const {
    QFile file(path_);
    if (!file.exists())
        return Load::missing;
    if (!file.open(QIODevice::ReadOnly)) {
        log_.error("Cannot read the keychain file %{public}s: %{public}s", path_,
                   file.errorString());
        return Load::damaged;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        log_.error("Cannot read the keychain file %{public}s: %{public}s", path_,
                   file.errorString());
        return Load::damaged;
    }
    std::optional<Items> parsed = parse(bytes);
    if (!parsed) {
        log_.error("The keychain file %{public}s is damaged (not a list of items); leaving it as "
                   "it is",
                   path_);
        return Load::damaged;
    }
    items = std::move(*parsed);
    return Load::loaded;
}

std::optional<FileKeychain::Items> FileKeychain::parse(const QByteArray& bytes) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    const QJsonValue list = document.object().value(QLatin1String("items"));
    if (parseError.error != QJsonParseError::NoError || !document.isObject() || !list.isArray())
        return std::nullopt;
    Items items;
    for (const QJsonValue& entry : list.toArray()) {
        const QJsonObject object = entry.toObject();
        const QJsonValue service = object.value(QLatin1String("service"));
        const QJsonValue account = object.value(QLatin1String("account"));
        const QJsonValue value = object.value(QLatin1String("value"));
        const auto decoded = QByteArray::fromBase64Encoding(
            value.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!entry.isObject() || !service.isString() || !account.isString() || !value.isString() ||
            !decoded)
            return std::nullopt;
        items.push_back({service.toString(), account.toString(), *decoded});
    }
    return items;
}

QByteArray FileKeychain::serialize(const Items& items) {
    QJsonArray list;
    for (const Item& item : items)
        list.append(
            QJsonObject{{QStringLiteral("service"), item.service},
                        {QStringLiteral("account"), item.account},
                        {QStringLiteral("value"), QString::fromLatin1(item.value.toBase64())}});
    return QJsonDocument(QJsonObject{{QStringLiteral("items"), list}})
        .toJson(QJsonDocument::Indented);
}

int FileKeychain::modify(const std::function<int(Items&)>& change) {
    if (!ensureFolder())
        return KeychainStatus::ioError;
    QLockFile lock(path_ + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockTimeoutMs)) {
        log_.error("Cannot lock the keychain file %{public}s (error %d)", path_,
                   static_cast<int>(lock.error()));
        return KeychainStatus::ioError;
    }
    Items items;
    const Load loaded = load(items);
    const int status = change(items);
    if (status != KeychainStatus::success)
        return status;
    if (loaded == Load::damaged && !setAsideDamagedFile())
        return KeychainStatus::ioError;
    return write(items) ? KeychainStatus::success : KeychainStatus::ioError;
}

bool FileKeychain::setAsideDamagedFile() {
    QString aside = path_ + QStringLiteral(".damaged");
    for (int n = 1; QFileInfo::exists(aside); ++n)
        aside = path_ + QStringLiteral(".damaged.%1").arg(n);
    if (::rename(QFile::encodeName(path_).constData(), QFile::encodeName(aside).constData()) != 0) {
        log_.error("Cannot move the damaged keychain file %{public}s aside: %{public}s", path_,
                   errnoText());
        return false;
    }
    log_.error("Moved the damaged keychain file to %{public}s and started a new one", aside);
    return true;
}

bool FileKeychain::write(const Items& items) {
    const QByteArray bytes = serialize(items);

    // A new file beside the old one (mkostemp creates it 0600), made durable, then renamed over
    // it: a reader sees the old file or the new one, never a mixture, even after a crash.
    QByteArray temporary = QFile::encodeName(path_) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        log_.error("Cannot write the keychain file %{public}s: %{public}s", path_, errnoText());
        return false;
    }
    const bool written =
        ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    const QString failure = written ? QString() : errnoText();
    const bool closed = ::close(fd) == 0;
    if (!written || !closed ||
        ::rename(temporary.constData(), QFile::encodeName(path_).constData()) != 0) {
        log_.error("Cannot write the keychain file %{public}s: %{public}s", path_,
                   failure.isEmpty() ? errnoText() : failure);
        ::unlink(temporary.constData());
        return false;
    }
    // The rename itself becomes durable with the folder.
    const QByteArray folder = QFile::encodeName(QFileInfo(path_).absolutePath());
    const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return true;
}

bool FileKeychain::ensureFolder() {
    // Each missing folder on the way is created for the user alone, and Sayloom's own folder is
    // kept that way.
    const QString folder = QFileInfo(path_).absolutePath();
    QStringList missing;
    for (QString current = folder; !QFileInfo::exists(current) && current != QLatin1String("/");
         current = QFileInfo(current).absolutePath())
        missing.prepend(current);
    for (const QString& path : missing)
        if (::mkdir(QFile::encodeName(path).constData(), S_IRWXU) != 0 && errno != EEXIST) {
            log_.error("Cannot create the keychain folder %{public}s: %{public}s", path,
                       errnoText());
            return false;
        }
    struct stat info {};
    const QByteArray encoded = QFile::encodeName(folder);
    if (::stat(encoded.constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        log_.error("Cannot use the keychain folder %{public}s", folder);
        return false;
    }
    if ((info.st_mode & 07777) != S_IRWXU && ::chmod(encoded.constData(), S_IRWXU) != 0) {
        log_.error("Cannot restrict the keychain folder %{public}s to its owner: %{public}s",
                   folder, errnoText());
        return false;
    }
    return true;
}

} // namespace sayloom::linux_desktop
