#include "FakeKeychain.h"
#include "LogCapture.h"
#include "TaskProbe.h"

#include "auth/CredentialStore.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::testing;

inline void PrintTo(const QString& text, std::ostream* os) { *os << text.toStdString(); }
inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << list.join(QStringLiteral(" | ")).toStdString();
}

namespace {

const QString kCurrent = QString::fromLatin1(CredentialStore::kCredentialsService);
const QString kLegacy = QString::fromLatin1(CredentialStore::kLegacyCredentialsService);
const QString kId = QString::fromLatin1(CredentialStore::kIdTokenService);
const QString kRefresh = QString::fromLatin1(CredentialStore::kRefreshTokenService);
const QString kUid = QString::fromLatin1(CredentialStore::kUidService);
const QString kAuth = QStringLiteral("auth");

CredentialMap blobOf(const QByteArray& bytes) {
    CredentialMap map;
    const QJsonObject object = QJsonDocument::fromJson(bytes).object();
    for (auto it = object.begin(); it != object.end(); ++it)
        map.insert(it.key(), it.value().toString());
    return map;
}

CredentialMap load(CredentialStore& store) {
    auto probe = TaskProbe<CredentialMap>::start(store.load());
    EXPECT_TRUE(probe.done());
    return probe.done() ? probe.value() : CredentialMap{};
}

struct LoadCase {
    const char* name;
    QMap<QString, QByteArray> items;
    CredentialMap expected;
    // The items left afterwards (the current item compared as a blob).
    QMap<QString, QByteArray> after;
    QStringList operations;
    QString logLine;
};

class CredentialStoreLoad : public ::testing::TestWithParam<LoadCase> {};

TEST_P(CredentialStoreLoad, MigratesOlderLayoutsOnTheFirstLoad) {
    const LoadCase& c = GetParam();
    LogCapture logs;
    FakeKeychain keychain;
    for (auto it = c.items.cbegin(); it != c.items.cend(); ++it)
        keychain.put(it.key(), it.value());
    CredentialStore store(keychain);

    EXPECT_EQ(load(store), c.expected);
    EXPECT_EQ(keychain.operations, c.operations);
    QMap<QString, QByteArray> left;
    for (auto it = keychain.items.cbegin(); it != keychain.items.cend(); ++it)
        left.insert(it.key().first, it.value());
    ASSERT_EQ(left.keys(), c.after.keys());
    for (const QString& service : c.after.keys()) {
        if (service == kCurrent)
            EXPECT_EQ(blobOf(left[service]), blobOf(c.after[service]));
        else
            EXPECT_EQ(left[service], c.after[service]) << service.toStdString();
    }
    if (!c.logLine.isEmpty())
        EXPECT_TRUE(logs.contains(kAuth, LogLevel::info, c.logLine))
            << logs.messages().join('\n').toStdString();
    else
        EXPECT_TRUE(logs.messages(kAuth).isEmpty()) << logs.messages().join('\n').toStdString();
}

const QStringList kAllFiveReads = {QStringLiteral("read ai.sayloom.credentials"),
                                   QStringLiteral("read ai.sayloom.app.firebase-credentials"),
                                   QStringLiteral("read ai.sayloom.app.firebase-id-token"),
                                   QStringLiteral("read ai.sayloom.app.firebase-refresh-token"),
                                   QStringLiteral("read ai.sayloom.app.firebase-uid")};

QStringList readsThen(const QStringList& reads, const QStringList& more) { return reads + more; }

INSTANTIATE_TEST_SUITE_P(
    Layouts, CredentialStoreLoad,
    ::testing::Values(
        LoadCase{"NothingStored", {}, {}, {}, kAllFiveReads, {}},
        LoadCase{"CurrentItem",
                 {{kCurrent, R"({"ai.sayloom.app.firebase-uid":"u1"})"},
                  {kLegacy, R"({"ai.sayloom.app.firebase-uid":"old"})"}},
                 {{kUid, "u1"}},
                 {{kCurrent, R"({"ai.sayloom.app.firebase-uid":"u1"})"},
                  {kLegacy, R"({"ai.sayloom.app.firebase-uid":"old"})"}},
                 {QStringLiteral("read ai.sayloom.credentials")},
                 {}},
        LoadCase{"CurrentItemHoldingAnEmptyObject",
                 {{kCurrent, "{}"}, {kUid, "u1"}},
                 {},
                 {{kCurrent, "{}"}, {kUid, "u1"}},
                 {QStringLiteral("read ai.sayloom.credentials")},
                 {}},
        LoadCase{"SingleItemsWithOneEmpty",
                 {{kId, "id-1"}, {kRefresh, ""}, {kUid, "u1"}},
                 {{kId, "id-1"}, {kUid, "u1"}},
                 {{kCurrent, R"({"ai.sayloom.app.firebase-id-token":"id-1",)"
                             R"("ai.sayloom.app.firebase-uid":"u1"})"}},
                 readsThen(kAllFiveReads,
                           {QStringLiteral("update ai.sayloom.credentials"),
                            QStringLiteral("add ai.sayloom.credentials"),
                            QStringLiteral("remove ai.sayloom.app.firebase-id-token"),
                            QStringLiteral("remove ai.sayloom.app.firebase-refresh-token"),
                            QStringLiteral("remove ai.sayloom.app.firebase-uid")}),
                 QStringLiteral("Keychain: consolidated 2 legacy items into one")},
        LoadCase{"SingleItemThatIsNotUtf8IsSkipped",
                 {{kId, "\xff\xfe"}, {kUid, "u1"}},
                 {{kUid, "u1"}},
                 {{kCurrent, R"({"ai.sayloom.app.firebase-uid":"u1"})"}},
                 readsThen(kAllFiveReads,
                           {QStringLiteral("update ai.sayloom.credentials"),
                            QStringLiteral("add ai.sayloom.credentials"),
                            QStringLiteral("remove ai.sayloom.app.firebase-id-token"),
                            QStringLiteral("remove ai.sayloom.app.firebase-refresh-token"),
                            QStringLiteral("remove ai.sayloom.app.firebase-uid")}),
                 QStringLiteral("Keychain: consolidated 1 legacy items into one")},
        LoadCase{"OlderBlobHoldingAnEmptyObjectStaysAndSingleItemsAreConsulted",
                 {{kLegacy, "{}"}, {kRefresh, "r1"}},
                 {{kRefresh, "r1"}},
                 {{kLegacy, "{}"}, {kCurrent, R"({"ai.sayloom.app.firebase-refresh-token":"r1"})"}},
                 readsThen(kAllFiveReads,
                           {QStringLiteral("update ai.sayloom.credentials"),
                            QStringLiteral("add ai.sayloom.credentials"),
                            QStringLiteral("remove ai.sayloom.app.firebase-id-token"),
                            QStringLiteral("remove ai.sayloom.app.firebase-refresh-token"),
                            QStringLiteral("remove ai.sayloom.app.firebase-uid")}),
                 QStringLiteral("Keychain: consolidated 1 legacy items into one")},
        LoadCase{"UnreadableOlderBlobStays",
                 {{kLegacy, R"({"ai.sayloom.app.firebase-uid":7})"}},
                 {},
                 {{kLegacy, R"({"ai.sayloom.app.firebase-uid":7})"}},
                 kAllFiveReads,
                 {}},
        LoadCase{"UnreadableCurrentItemIsOverwrittenByTheOlderBlob",
                 {{kCurrent, "[1,2]"}, {kLegacy, R"({"ai.sayloom.app.firebase-uid": "u9"})"}},
                 {{kUid, "u9"}},
                 {{kCurrent, R"({"ai.sayloom.app.firebase-uid":"u9"})"}},
                 {QStringLiteral("read ai.sayloom.credentials"),
                  QStringLiteral("read ai.sayloom.app.firebase-credentials"),
                  QStringLiteral("update ai.sayloom.credentials"),
                  QStringLiteral("remove ai.sayloom.app.firebase-credentials")},
                 QStringLiteral("Keychain: moved credentials to the current item name")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CredentialStore, TheOlderBlobIsMovedByteForByte) {
    FakeKeychain keychain;
    const QByteArray older = R"({"ai.sayloom.app.firebase-uid": "u9"})";
    keychain.put(kCurrent, "not json");
    keychain.put(kLegacy, older);
    CredentialStore store(keychain);
    load(store);
    EXPECT_EQ(keychain.value(kCurrent), older);
    EXPECT_FALSE(keychain.value(kLegacy));
}

TEST(CredentialStore, OlderItemsStayWhenTheCurrentItemCannotBeWritten) {
    LogCapture logs;
    FakeKeychain keychain;
    keychain.put(kLegacy, R"({"ai.sayloom.app.firebase-uid":"u9"})");
    keychain.put(kUid, "u1");
    keychain.failWith(QStringLiteral("update"), kCurrent, -61);
    CredentialStore store(keychain);

    // The older blob still serves this session; nothing is lost for the next.
    EXPECT_EQ(load(store), (CredentialMap{{kUid, "u9"}}));
    EXPECT_TRUE(keychain.value(kLegacy));
    EXPECT_TRUE(keychain.value(kUid));
    EXPECT_EQ(keychain.count(QStringLiteral("remove")), 0);
    EXPECT_TRUE(logs.contains(kAuth, LogLevel::error,
                              QStringLiteral("Keychain update failed for ai.sayloom.credentials: "
                                             "OSStatus -61")));
    EXPECT_FALSE(logs.contains(kAuth, LogLevel::info,
                               QStringLiteral("Keychain: moved credentials to the current item "
                                              "name")));

    FakeKeychain singles;
    singles.put(kUid, "u1");
    singles.failWith(QStringLiteral("add"), kCurrent, -34);
    CredentialStore consolidating(singles);
    EXPECT_EQ(load(consolidating), (CredentialMap{{kUid, "u1"}}));
    EXPECT_TRUE(singles.value(kUid));
    EXPECT_TRUE(logs.contains(kAuth, LogLevel::error,
                              QStringLiteral("Keychain add failed for ai.sayloom.credentials: "
                                             "OSStatus -34")));
}

TEST(CredentialStore, AReadFailureIsLoggedAndCountsAsNothing) {
    LogCapture logs;
    FakeKeychain keychain;
    keychain.put(kCurrent, R"({"ai.sayloom.app.firebase-uid":"u1"})");
    keychain.failWith(QStringLiteral("read"), kCurrent, -25293);
    CredentialStore store(keychain);
    EXPECT_EQ(load(store), CredentialMap{});
    EXPECT_TRUE(
        logs.contains(kAuth, LogLevel::error,
                      QStringLiteral("Keychain read failed for ai.sayloom.credentials: -25293")));
    // The item that could not be read is left for a later launch.
    EXPECT_TRUE(keychain.value(kCurrent));
    EXPECT_EQ(keychain.count(QStringLiteral("update")) + keychain.count(QStringLiteral("add")), 0);
}

TEST(CredentialStore, OnlyTheFirstLoadReadsTheKeychain) {
    FakeKeychain keychain;
    keychain.put(kCurrent, R"({"ai.sayloom.app.firebase-uid":"u1"})");
    CredentialStore store(keychain);
    load(store);
    store.setCredential(kRefresh, QStringLiteral("r1"));
    store.removeCredential(kUid);
    store.save({{kId, "i2"}});
    EXPECT_EQ(load(store), (CredentialMap{{kId, "i2"}}));
    load(store);
    EXPECT_EQ(keychain.count(QStringLiteral("read")), 1);
}

TEST(CredentialStore, EveryChangeWritesTheWholeBlob) {
    FakeKeychain keychain;
    CredentialStore store(keychain);
    load(store);
    keychain.operations.clear();

    store.setCredential(kId, QStringLiteral("i1"));
    store.setCredential(kRefresh, QStringLiteral("r1"));
    store.setCredential(kUid, QStringLiteral("u1"));
    EXPECT_EQ(keychain.operations, (QStringList{QStringLiteral("update ai.sayloom.credentials"),
                                                QStringLiteral("add ai.sayloom.credentials"),
                                                QStringLiteral("update ai.sayloom.credentials"),
                                                QStringLiteral("update ai.sayloom.credentials")}));
    EXPECT_EQ(blobOf(*keychain.value(kCurrent)),
              (CredentialMap{{kId, "i1"}, {kRefresh, "r1"}, {kUid, "u1"}}));
    EXPECT_EQ(keychain.value(kCurrent)->count('\n'), 0) << "a compact object";
}

TEST(CredentialStore, RemovingAbsentKeysWritesNothingAndTheLastKeyDeletesTheItem) {
    FakeKeychain keychain;
    keychain.put(kCurrent, R"({"ai.sayloom.app.firebase-uid":"u1","x":"y"})");
    CredentialStore store(keychain);
    load(store);
    keychain.operations.clear();

    store.removeCredential(kRefresh);
    EXPECT_TRUE(keychain.operations.isEmpty());

    store.removeCredential(QStringLiteral("x"));
    EXPECT_EQ(blobOf(*keychain.value(kCurrent)), (CredentialMap{{kUid, "u1"}}));
    store.removeCredential(kUid);
    EXPECT_EQ(keychain.operations.last(), QStringLiteral("remove ai.sayloom.credentials"));
    EXPECT_FALSE(keychain.value(kCurrent)) << "deleted rather than written as {}";
    EXPECT_TRUE(store.credentials().isEmpty());
}

TEST(CredentialStore, AFailedWriteLeavesTheMemoryCopyAheadAndIsNotRetried) {
    LogCapture logs;
    FakeKeychain keychain;
    keychain.put(kCurrent, R"({"ai.sayloom.app.firebase-uid":"u1"})");
    CredentialStore store(keychain);
    load(store);
    keychain.failWith(QStringLiteral("update"), kCurrent, -25308);
    store.setCredential(kRefresh, QStringLiteral("r1"));
    EXPECT_EQ(store.credentials(), (CredentialMap{{kUid, "u1"}, {kRefresh, "r1"}}));
    EXPECT_EQ(blobOf(*keychain.value(kCurrent)), (CredentialMap{{kUid, "u1"}}));
    EXPECT_EQ(keychain.count(QStringLiteral("add")), 0) << "only a missing item is added";
    EXPECT_EQ(logs.countContaining(QStringLiteral("Keychain update failed")), 1);
}

TEST(CredentialStore, ChangesMadeWhileTheKeychainIsSlowApplyOnTopOfWhatItHolds) {
    FakeKeychain keychain;
    keychain.put(kCurrent, R"({"ai.sayloom.app.firebase-uid":"u1","x":"y"})");
    keychain.hold();
    CredentialStore store(keychain);
    auto first = TaskProbe<CredentialMap>::start(store.load());
    auto second = TaskProbe<CredentialMap>::start(store.load());
    store.setCredential(kRefresh, QStringLiteral("r1"));
    store.removeCredential(QStringLiteral("x"));
    EXPECT_FALSE(first.done());
    EXPECT_TRUE(store.credentials().isEmpty());

    keychain.release();
    ASSERT_TRUE(first.done() && second.done());
    EXPECT_EQ(keychain.count(QStringLiteral("read")), 1) << "both loads share one read";
    EXPECT_EQ(store.credentials(), (CredentialMap{{kUid, "u1"}, {kRefresh, "r1"}}));
    EXPECT_EQ(blobOf(*keychain.value(kCurrent)), store.credentials());
}

TEST(CredentialStore, WritesReachTheKeychainInOrderAndFlushWaitsForThem) {
    FakeKeychain keychain;
    CredentialStore store(keychain);
    load(store);
    keychain.hold();
    store.setCredential(kUid, QStringLiteral("u1"));
    store.setCredential(kRefresh, QStringLiteral("r1"));
    store.removeCredential(kUid);
    store.removeCredential(kRefresh);
    auto flushed = TaskProbe<void>::start(store.flush());
    EXPECT_FALSE(flushed.done());
    EXPECT_EQ(keychain.waitingCount(), 1u) << "one keychain operation at a time";

    keychain.release();
    EXPECT_TRUE(flushed.done());
    EXPECT_FALSE(keychain.value(kCurrent)) << "the deletion came last and stands";
    EXPECT_EQ(keychain.operations.last(), QStringLiteral("remove ai.sayloom.credentials"));
    EXPECT_TRUE(TaskProbe<void>::start(store.flush()).done()) << "nothing left to wait for";
}

} // namespace
