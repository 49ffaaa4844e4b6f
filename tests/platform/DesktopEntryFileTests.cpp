#include "platform/linux/DesktopEntryFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace sayloom::linux_desktop;

namespace {

TEST(DesktopEntryFileTest, TheExecutableIsQuotedWhereTheFormatNeedsIt) {
    const std::pair<const char*, const char*> cases[] = {
        {"/usr/bin/sayloom", "/usr/bin/sayloom"},
        {"/home/kim/my apps/sayloom", R"("/home/kim/my apps/sayloom")"},
        {R"(/opt/a"b$c/sayloom)", R"("/opt/a\\"b\\$c/sayloom")"},
        {"/opt/100%/sayloom", "/opt/100%%/sayloom"},
    };
    for (const auto& [path, argument] : cases)
        EXPECT_EQ(DesktopEntryFile::execArgument(QString::fromUtf8(path)),
                  QString::fromUtf8(argument))
            << path;
    const QString entry = DesktopEntryFile::text(
        QStringLiteral("/usr/bin/sayloom"), {QStringLiteral("sayloom"), QStringLiteral("x.y")});
    EXPECT_TRUE(entry.contains(QStringLiteral("\nExec=/usr/bin/sayloom %u\n")));
    EXPECT_TRUE(entry.contains(
        QStringLiteral("\nMimeType=x-scheme-handler/sayloom;x-scheme-handler/x.y;\n")));
}

TEST(DesktopEntryFileTest, AnEntryIsWrittenOnlyWhenItChanged) {
    QTemporaryDir home;
    const QString path = home.filePath(QStringLiteral("applications/sayloom.desktop"));
    EXPECT_TRUE(DesktopEntryFile::writeIfChanged(path, QStringLiteral("a\n")).written);
    EXPECT_FALSE(DesktopEntryFile::writeIfChanged(path, QStringLiteral("a\n")).written);
    EXPECT_TRUE(DesktopEntryFile::writeIfChanged(path, QStringLiteral("b\n")).written);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "b\n");

    const auto blocked = DesktopEntryFile::writeIfChanged(path + QStringLiteral("/x"), {});
    EXPECT_FALSE(blocked.written);
    EXPECT_TRUE(blocked.error.has_value());
}

} // namespace
