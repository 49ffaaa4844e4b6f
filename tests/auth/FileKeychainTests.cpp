#include "LogCapture.h"
#include "TaskProbe.h"

#include "platform/linux/FileKeychain.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace sayloom;
using namespace sayloom::testing;
using sayloom::linux_desktop::FileKeychain;

namespace {

const QString kKeychain = QStringLiteral("keychain");

template <typename T>
T completed(QCoro::Task<T> task) {
    auto probe = TaskProbe<T>::start(std::move(task));
    EXPECT_TRUE(probe.done()) << "file operations complete before returning";
    return probe.value();
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info.st_mode & 07777;
}

QByteArray contents(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes, mode_t mode = 0600) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();
    ::chmod(QFile::encodeName(path).constData(), mode);
}

class FileKeychainTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(home.isValid()); }

    QString folder() const { return home.path() + QStringLiteral("/data/sayloom"); }
    QString path() const { return folder() + QStringLiteral("/keychain.json"); }

    int add(const QString& service, const QByteArray& value, const QString& account = "a") {
        return completed(keychain.add(service, account, value));
    }
    int update(const QString& service, const QByteArray& value, const QString& account = "a") {
        return completed(keychain.update(service, account, value));
    }
    int remove(const QString& service, const QString& account = "a") {
        return completed(keychain.remove(service, account));
    }
    KeychainReadResult read(const QString& service, const QString& account = "a") {
        return completed(keychain.read(service, account));
    }

    QTemporaryDir home;
    LogCapture logs;
    FileKeychain keychain{path()};
};

TEST_F(FileKeychainTest, ItemsFollowTheGenericPasswordContract) {
    const QByteArray binary("\x00\x01json\xff", 7);
    EXPECT_EQ(read(QStringLiteral("s")).status, KeychainStatus::itemNotFound);
    EXPECT_EQ(update(QStringLiteral("s"), "v"), KeychainStatus::itemNotFound);
    EXPECT_EQ(remove(QStringLiteral("s")), KeychainStatus::itemNotFound);
    EXPECT_FALSE(QFile::exists(path())) << "nothing written for operations that change nothing";

    EXPECT_EQ(add(QStringLiteral("s"), "first"), KeychainStatus::success);
    EXPECT_EQ(add(QStringLiteral("s"), "again"), KeychainStatus::duplicateItem);
    EXPECT_EQ(add(QStringLiteral("s"), "other account", QStringLiteral("b")),
              KeychainStatus::success);
    EXPECT_EQ(update(QStringLiteral("s"), binary), KeychainStatus::success);

    const KeychainReadResult stored = read(QStringLiteral("s"));
    EXPECT_EQ(stored.status, KeychainStatus::success);
    EXPECT_EQ(stored.value, binary);
    EXPECT_EQ(read(QStringLiteral("s"), QStringLiteral("b")).value, "other account");

    EXPECT_EQ(remove(QStringLiteral("s")), KeychainStatus::success);
    EXPECT_EQ(read(QStringLiteral("s")).status, KeychainStatus::itemNotFound);
    EXPECT_EQ(read(QStringLiteral("s"), QStringLiteral("b")).status, KeychainStatus::success);

    // What another process (a second instance, the command line) writes is seen at once.
    FileKeychain other(path());
    EXPECT_EQ(completed(other.update(QStringLiteral("s"), QStringLiteral("b"), "changed")),
              KeychainStatus::success);
    EXPECT_EQ(read(QStringLiteral("s"), QStringLiteral("b")).value, "changed");
}

TEST_F(FileKeychainTest, TheFileIsPrivateJsonWithBase64Values) {
    ASSERT_EQ(add(QStringLiteral("ai.sayloom.credentials"), "{\"k\":\"v\"}",
                  QStringLiteral("sayloom-firebase")),
              KeychainStatus::success);
    EXPECT_EQ(modeOf(path()), 0600u);
    EXPECT_EQ(modeOf(folder()), 0700u);
    EXPECT_EQ(modeOf(home.path() + QStringLiteral("/data")), 0700u);
    EXPECT_EQ(QJsonDocument::fromJson(contents(path())),
              QJsonDocument::fromJson(R"({"items":[{"service":"ai.sayloom.credentials",)"
                                      R"("account":"sayloom-firebase","value":"eyJrIjoidiJ9"}]})"));
}

TEST_F(FileKeychainTest, AFolderAndFileOthersCouldReadAreTightenedByTheNextWrite) {
    writeFile(path(), R"({"items":[]})", 0644);
    ::chmod(QFile::encodeName(folder()).constData(), 0755);
    ASSERT_EQ(add(QStringLiteral("s"), "v"), KeychainStatus::success);
    EXPECT_EQ(modeOf(path()), 0600u);
    EXPECT_EQ(modeOf(folder()), 0700u);
}

TEST_F(FileKeychainTest, ChangesReplaceTheFileInOneStep) {
    ASSERT_EQ(add(QStringLiteral("s"), "old value"), KeychainStatus::success);
    const QByteArray before = contents(path());
    // A reader that opened the file before the change keeps reading the whole old file.
    const int reader = ::open(QFile::encodeName(path()).constData(), O_RDONLY);
    ASSERT_GE(reader, 0);
    struct stat oldInfo {};
    ::fstat(reader, &oldInfo);

    ASSERT_EQ(update(QStringLiteral("s"), "new value"), KeychainStatus::success);
    char buffer[4096];
    const ssize_t n = ::read(reader, buffer, sizeof buffer);
    ::close(reader);
    EXPECT_EQ(QByteArray(buffer, static_cast<qsizetype>(n)), before);
    struct stat newInfo {};
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &newInfo), 0);
    EXPECT_NE(newInfo.st_ino, oldInfo.st_ino) << "renamed into place, not rewritten";
    EXPECT_EQ(read(QStringLiteral("s")).value, "new value");
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("keychain.json")})
        << "no temporary or lock file left behind";
}

TEST_F(FileKeychainTest, ADamagedFileIsNeverReplacedByLessThanItHeld) {
    const QByteArray damaged[] = {
        "{\"items\":[{\"service\":\"s\",",                                    // cut short
        "",                                                                   // empty
        "[]",                                                                 // not an object
        R"({"items":{}})",                                                    // not a list
        R"({"items":[{"service":"s","account":"a","value":"not base64!"}]})", // bad value
        R"({"items":[{"service":"s","account":"a"}]})",                       // value missing
    };
    for (const QByteArray& bytes : damaged) {
        const std::string label = bytes.toStdString();
        QDir(folder()).removeRecursively();
        writeFile(path(), bytes);
        logs.clear();

        EXPECT_EQ(read(QStringLiteral("s")).status, KeychainStatus::decodeError) << label;
        EXPECT_EQ(logs.messages(kKeychain, LogLevel::error).size(), 1) << label;
        EXPECT_EQ(update(QStringLiteral("s"), "v"), KeychainStatus::itemNotFound) << label;
        EXPECT_EQ(remove(QStringLiteral("s")), KeychainStatus::itemNotFound) << label;
        EXPECT_EQ(contents(path()), bytes) << label << ": left as it is until a write";

        EXPECT_EQ(add(QStringLiteral("s"), "new"), KeychainStatus::success) << label;
        EXPECT_EQ(contents(path() + QStringLiteral(".damaged")), bytes) << label;
        EXPECT_EQ(read(QStringLiteral("s")).value, "new") << label;
        EXPECT_TRUE(logs.contains(kKeychain, LogLevel::error,
                                  QStringLiteral("Moved the damaged keychain file to %1.damaged "
                                                 "and started a new one")
                                      .arg(path())))
            << label;
    }

    // A second damaged file does not overwrite the first one set aside.
    writeFile(path(), "garbage");
    EXPECT_EQ(add(QStringLiteral("t"), "v"), KeychainStatus::success);
    EXPECT_EQ(contents(path() + QStringLiteral(".damaged.1")), "garbage");
}

TEST_F(FileKeychainTest, NoValueReachesTheLog) {
    writeFile(path(), R"({"items":[{"service":"s","account":"a","value":"c2VjcmV0LXZhbHVl"}],)");
    read(QStringLiteral("s"));
    add(QStringLiteral("t"), "another-secret");
    ASSERT_FALSE(logs.records().empty());
    for (const LogRecord& record : logs.records()) {
        EXPECT_FALSE(record.message.contains(QStringLiteral("secret-value")));
        EXPECT_FALSE(record.message.contains(QStringLiteral("c2VjcmV0LXZhbHVl")));
        EXPECT_FALSE(record.message.contains(QStringLiteral("another-secret")));
    }
}

} // namespace
