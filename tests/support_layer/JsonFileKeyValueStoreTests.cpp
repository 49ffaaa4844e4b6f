#include "LogCapture.h"

#include "support/JsonFileKeyValueStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <array>
#include <limits>

using namespace sayloom;
using sayloom::testing::LogCapture;

inline void PrintTo(const QString& text, std::ostream* os) { *os << text.toStdString(); }

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// Which typed getters see something under `key`: string, boolean, integer, date, string array.
std::array<bool, 5> typedReads(const KeyValueStore& store, const QString& key) {
    return {store.string(key).has_value(), store.boolean(key).has_value(),
            store.integer(key).has_value(), store.date(key).has_value(),
            store.stringArray(key).has_value()};
}

class JsonFileKeyValueStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path() const { return dir.filePath(QStringLiteral("config/sayloom/settings.json")); }

    QTemporaryDir dir;
};

TEST_F(JsonFileKeyValueStoreTest, EveryTypeRoundTripsThroughTheFile) {
    const std::pair<QString, StoredValue> values[] = {
        {"string", QStringLiteral("Grüße \"quoted\"\n")},
        {"emptyString", QString()},
        {"true", true},
        {"false", false},
        {"zero", qint64(0)},
        {"negative", qint64(-42)},
        {"beyondDoublePrecision", qint64(9'007'199'254'740'993)},
        {"max", std::numeric_limits<qint64>::max()},
        {"min", std::numeric_limits<qint64>::min()},
        {"date", QDateTime(QDate(2026, 3, 14), QTime(15, 9, 26, 535), QTimeZone(3600))},
        {"utcDate", QDateTime::fromMSecsSinceEpoch(1'767'225'600'123, QTimeZone::utc())},
        {"list", QStringList{"a", "Ünï", ""}},
        {"emptyList", QStringList{}},
    };
    {
        JsonFileKeyValueStore writer(path());
        for (const auto& [key, value] : values)
            writer.setValue(key, value);
    }
    const JsonFileKeyValueStore reader(path());
    for (const auto& [key, value] : values) {
        SCOPED_TRACE(key.toStdString());
        const auto read = reader.value(key);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->index(), value.index());
        EXPECT_TRUE(*read == value);
    }

    JsonFileKeyValueStore remover(path());
    remover.remove(QStringLiteral("string"));
    EXPECT_FALSE(JsonFileKeyValueStore(path()).value(QStringLiteral("string")));
}

TEST_F(JsonFileKeyValueStoreTest, ValueOfAnotherTypeReadsAsNothing) {
    {
        JsonFileKeyValueStore writer(path());
        writer.setString(QStringLiteral("s"), QStringLiteral("1"));
        writer.setBoolean(QStringLiteral("b"), true);
        writer.setInteger(QStringLiteral("i"), 1);
        writer.setDate(QStringLiteral("d"), QDateTime::fromSecsSinceEpoch(0, QTimeZone::utc()));
        writer.setStringArray(QStringLiteral("l"), {QStringLiteral("true")});
    }
    const JsonFileKeyValueStore reader(path());
    const std::pair<const char*, std::array<bool, 5>> cases[] = {
        {"s", {true, false, false, false, false}}, {"b", {false, true, false, false, false}},
        {"i", {false, false, true, false, false}}, {"d", {false, false, false, true, false}},
        {"l", {false, false, false, false, true}},
    };
    for (const auto& [key, expected] : cases) {
        SCOPED_TRACE(key);
        EXPECT_EQ(typedReads(reader, QString::fromLatin1(key)), expected);
    }
}

TEST_F(JsonFileKeyValueStoreTest, ValuesOfTypesWeDoNotStoreReadAsNothing) {
    writeFile(path(), R"({"fraction": 1.5, "nothing": null, "object": {"a": 1},
                          "mixedList": ["a", 1], "badDate": {"date": "yesterday"},
                          "kept": "yes"})");
    const JsonFileKeyValueStore store(path());
    for (const char* key : {"fraction", "nothing", "object", "mixedList", "badDate"}) {
        SCOPED_TRACE(key);
        EXPECT_FALSE(store.value(QString::fromLatin1(key)));
    }
    EXPECT_EQ(store.string(QStringLiteral("kept")), QStringLiteral("yes"));
}

// Every write rewrites the file from what was read: a value that reads as something must still
// read the same after another key was written. Dates whose UTC year has no ISO 8601 form would
// not; they read as nothing from the start.
TEST_F(JsonFileKeyValueStoreTest, WhatIsReadSurvivesTheNextWrite) {
    writeFile(path(), R"({"early": {"date": "0001-01-01T00:30:00+01:00"},
                          "late": {"date": "9999-12-31T23:00:00-05:00"},
                          "lastMoment": {"date": "9999-12-31T23:59:59.999Z"},
                          "ahead": {"date": "2020-01-01T00:00:00+14:00"},
                          "big": 9007199254740993, "wholeDouble": 4e15})");
    const char* const keys[] = {"early", "late", "lastMoment", "ahead", "big", "wholeDouble"};
    JsonFileKeyValueStore store(path());
    store.setString(QStringLiteral("other"), QStringLiteral("x"));
    const JsonFileKeyValueStore reread(path());
    for (const char* key : keys) {
        SCOPED_TRACE(key);
        EXPECT_EQ(reread.value(QString::fromLatin1(key)), store.value(QString::fromLatin1(key)));
    }
    EXPECT_FALSE(store.value(QStringLiteral("early")));
    EXPECT_FALSE(store.value(QStringLiteral("late")));
    EXPECT_EQ(reread.date(QStringLiteral("ahead")),
              QDateTime(QDate(2019, 12, 31), QTime(10, 0), QTimeZone::utc()));
    EXPECT_EQ(reread.integer(QStringLiteral("big")), 9007199254740993);
}

TEST_F(JsonFileKeyValueStoreTest, UnreadableFileIsMovedAsideBeforeTheFirstWrite) {
    const QByteArray contents[] = {R"({"a": tru)", "[1, 2]", "", "\xff\xfe not json"};
    for (const QByteArray& original : contents) {
        SCOPED_TRACE(original.toStdString());
        QFile::remove(path() + QStringLiteral(".corrupt"));
        writeFile(path(), original);
        LogCapture capture;

        JsonFileKeyValueStore store(path());
        EXPECT_FALSE(store.value(QStringLiteral("a")));
        EXPECT_EQ(readFile(path()), original) << "reading alone leaves the file alone";

        store.setString(QStringLiteral("b"), QStringLiteral("x"));
        EXPECT_EQ(readFile(path() + QStringLiteral(".corrupt")), original);
        EXPECT_EQ(JsonFileKeyValueStore(path()).string(QStringLiteral("b")), QStringLiteral("x"));
        EXPECT_FALSE(capture.messages(QStringLiteral("appSettings"), LogLevel::error).isEmpty());
    }
}

TEST_F(JsonFileKeyValueStoreTest, FileThatTurnedUnreadableSinceLoadingIsNotOverwritten) {
    JsonFileKeyValueStore store(path());
    store.setString(QStringLiteral("a"), QStringLiteral("1"));
    const QByteArray garbage = "{ written by something else";
    writeFile(path(), garbage);
    LogCapture capture;

    store.setString(QStringLiteral("b"), QStringLiteral("2"));
    EXPECT_EQ(readFile(path()), garbage);
    EXPECT_FALSE(capture.messages(QStringLiteral("appSettings"), LogLevel::error).isEmpty());
}

TEST_F(JsonFileKeyValueStoreTest, WritesMergeWithWhatAnotherInstanceWrote) {
    JsonFileKeyValueStore first(path());
    JsonFileKeyValueStore second(path());
    first.setString(QStringLiteral("a"), QStringLiteral("from first"));
    second.setString(QStringLiteral("b"), QStringLiteral("from second"));
    first.setInteger(QStringLiteral("c"), 3);

    const JsonFileKeyValueStore reader(path());
    EXPECT_EQ(reader.string(QStringLiteral("a")), QStringLiteral("from first"));
    EXPECT_EQ(reader.string(QStringLiteral("b")), QStringLiteral("from second"));
    EXPECT_EQ(reader.integer(QStringLiteral("c")), 3);
    EXPECT_EQ(first.string(QStringLiteral("b")), QStringLiteral("from second"))
        << "the writer sees the merged state";

    // A removal by another instance is not undone by a stale copy.
    second.remove(QStringLiteral("a"));
    first.setBoolean(QStringLiteral("d"), true);
    EXPECT_FALSE(JsonFileKeyValueStore(path()).value(QStringLiteral("a")));
    EXPECT_FALSE(first.value(QStringLiteral("a")));
}

TEST_F(JsonFileKeyValueStoreTest, FolderIsCreatedOnTheFirstWrite) {
    JsonFileKeyValueStore store(path());
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(path()).absolutePath()));
    store.setBoolean(QStringLiteral("onboarded"), true);
    EXPECT_TRUE(QFileInfo::exists(path()));
    EXPECT_EQ(JsonFileKeyValueStore(path()).boolean(QStringLiteral("onboarded")), true);
}

} // namespace
