#include "LogCapture.h"
#include "MemoryKeyValueStore.h"

#include "insertion/AXFallbackCache.h"
#include "support/JsonFileKeyValueStore.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

using namespace sayloom;
using namespace sayloom::testing;

namespace {

const QString kKey = QStringLiteral("com.sayloom.ax-fallback-bundles");
const QString kCategory = QStringLiteral("ax-injector");

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

TEST(AXFallbackCacheTest, AddPersistsTheWholeSetOnceAndLogsIt) {
    LogCapture logs;
    MemoryKeyValueStore store;
    AXFallbackCache cache(store);

    cache.add(QStringLiteral("org.example.A"));
    cache.add(QStringLiteral("org.example.B"));
    EXPECT_TRUE(cache.contains(QStringLiteral("org.example.A")));
    EXPECT_FALSE(cache.contains(QStringLiteral("org.example.C")));
    EXPECT_EQ(sorted(*store.stringArray(kKey)),
              QStringList({QStringLiteral("org.example.A"), QStringLiteral("org.example.B")}));
    EXPECT_TRUE(logs.contains(kCategory, LogLevel::info,
                              QStringLiteral("Cached AX fallback for bundle org.example.A")));

    // A known identifier changes nothing: no write, no log.
    store.clearWrites();
    logs.clear();
    cache.add(QStringLiteral("org.example.A"));
    EXPECT_TRUE(store.writes().isEmpty());
    EXPECT_TRUE(logs.records().empty());

    // A new cache over the same store starts from what was written.
    AXFallbackCache reloaded(store);
    EXPECT_TRUE(reloaded.contains(QStringLiteral("org.example.B")));
}

TEST(AXFallbackCacheTest, RefusesTheTwoHundredAndFirstEntry) {
    LogCapture logs;
    MemoryKeyValueStore store;
    AXFallbackCache cache(store);
    for (int i = 0; i < 200; ++i)
        cache.add(QStringLiteral("app.%1").arg(i));
    store.clearWrites();

    cache.add(QStringLiteral("app.one-too-many"));
    EXPECT_FALSE(cache.contains(QStringLiteral("app.one-too-many")));
    EXPECT_TRUE(cache.contains(QStringLiteral("app.0")));
    EXPECT_TRUE(cache.contains(QStringLiteral("app.199")));
    EXPECT_TRUE(store.writes().isEmpty());
    EXPECT_EQ(store.stringArray(kKey)->size(), 200);
    EXPECT_TRUE(logs.contains(
        kCategory, LogLevel::error,
        QStringLiteral("AX fallback cache exceeded 200 entries — refusing to grow further")));
}

TEST(AXFallbackCacheTest, UnusableStoredValuesStartEmptyAndDuplicatesCollapse) {
    MemoryKeyValueStore store;
    store.setString(kKey, QStringLiteral("org.example.A"));
    EXPECT_FALSE(AXFallbackCache(store).contains(QStringLiteral("org.example.A")));

    store.setStringArray(kKey, {QStringLiteral("x"), QStringLiteral("x"), QStringLiteral("y")});
    AXFallbackCache collapsed(store);
    for (int i = 0; i < 198; ++i)
        collapsed.add(QStringLiteral("more.%1").arg(i));
    // Two distinct entries were loaded, so 198 more reach the limit exactly.
    EXPECT_TRUE(collapsed.contains(QStringLiteral("more.197")));
    collapsed.add(QStringLiteral("beyond"));
    EXPECT_FALSE(collapsed.contains(QStringLiteral("beyond")));
}

TEST(AXFallbackCacheTest, AStoredArrayWithANonStringLoadsEmpty) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.json"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"com.sayloom.ax-fallback-bundles": ["org.example.A", 7]})");
    file.close();

    JsonFileKeyValueStore store(path);
    AXFallbackCache cache(store);
    EXPECT_FALSE(cache.contains(QStringLiteral("org.example.A")));
}

TEST(AXFallbackCacheTest, ConcurrentAddsKeepEveryEntryAndTheLimit) {
    LogCapture logs;
    MemoryKeyValueStore store;
    AXFallbackCache cache(store);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&cache, t] {
            for (int i = 0; i < 60; ++i) {
                cache.add(QStringLiteral("t%1.%2").arg(t).arg(i));
                cache.contains(QStringLiteral("t0.0"));
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(store.stringArray(kKey)->size(), 200);
}

} // namespace
