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

TEST(DesktopEntryFileTest, TheProgramIsReadBackFromAnExecValue) {
    // Whatever execArgument writes reads back as the same path.
    for (const char* path :
         {"/usr/bin/sayloom", "/home/kim/my apps/sayloom", R"(/opt/a"b$c\d`e/sayloom)",
          "/opt/100%/sayloom", "/opt/tab\there/sayloom"}) {
        const QString executable = QString::fromUtf8(path);
        EXPECT_EQ(DesktopEntryFile::execProgram(DesktopEntryFile::execArgument(executable) +
                                                QStringLiteral(" %u")),
                  executable)
            << path;
    }
    const std::pair<const char*, std::optional<QString>> cases[] = {
        {"  /usr/bin/sayloom %u", QStringLiteral("/usr/bin/sayloom")},
        {"sayloom", QStringLiteral("sayloom")},
        {"env A=1 /usr/bin/sayloom %u", QStringLiteral("env")},
        {R"("/opt/my\sapps/sayloom" %u)", QStringLiteral("/opt/my apps/sayloom")},
        {R"(/opt/my\sapps/sayloom %u)", QStringLiteral("/opt/my")},
        {R"("/opt/unterminated %u)", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
    };
    for (const auto& [exec, program] : cases)
        EXPECT_EQ(DesktopEntryFile::execProgram(QString::fromUtf8(exec)), program) << exec;
}

TEST(DesktopEntryFileTest, KeysAreReadFromTheMainGroupOnly) {
    QTemporaryDir home;
    const QString path = home.filePath(QStringLiteral("a.desktop"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("# Exec=/comment\n"
               "[Desktop Action new]\n"
               "Exec=/action\n"
               "[Desktop Entry]\n"
               "Name[de]=Sprechen\n"
               "Name = Sayloom \n"
               "Exec=/main %u\n"
               "[X-Other]\n"
               "Icon=other\n");
    file.close();
    EXPECT_EQ(DesktopEntryFile::value(path, QStringLiteral("Exec")), QStringLiteral("/main %u"));
    EXPECT_EQ(DesktopEntryFile::value(path, QStringLiteral("Name")), QStringLiteral("Sayloom"));
    EXPECT_EQ(DesktopEntryFile::value(path, QStringLiteral("Icon")), std::nullopt);
    EXPECT_EQ(DesktopEntryFile::value(home.filePath(QStringLiteral("missing.desktop")),
                                      QStringLiteral("Exec")),
              std::nullopt);
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
