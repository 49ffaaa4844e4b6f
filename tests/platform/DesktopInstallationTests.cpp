#include "platform/linux/DesktopEntryIndex.h"
#include "platform/linux/DesktopInstallation.h"
#include "platform/linux/XdgUrlHandlerRegistration.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

using namespace sayloom::linux_desktop;

namespace {

// A file system of its own: "@" in paths and Exec values stands for its root.
class FakeRoot {
public:
    FakeRoot() {
        for (const char* program : {"usr/bin/sayloom", "usr/local/bin/sayloom", "build/src/sayloom",
                                    "opt/say loom/sayloom"})
            write(QString::fromUtf8(program), "#!/bin/sh\n");
        QDir(dir_.path()).mkpath(QStringLiteral("usr/local/share/applications"));
        QFile::link(dir_.filePath(QStringLiteral("usr/bin")), dir_.filePath(QStringLiteral("bin")));
    }

    QString path(const char* text) const {
        return QString::fromUtf8(text).replace(QLatin1Char('@'), dir_.path());
    }
    void write(const QString& relative, const QByteArray& content) {
        const QString file = dir_.filePath(relative);
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(content);
        out.setPermissions(out.permissions() | QFile::ExeOwner);
    }
    QStringList systemFolders() const {
        return {path("@/usr/local/share/applications"), path("@/usr/share/applications")};
    }

private:
    QTemporaryDir dir_;
};

struct Entry {
    const char* folder; // below the root
    const char* exec;
};

TEST(DesktopInstallationTest, InstalledWhenTheSystemsEntryStartsThisVeryFile) {
    const struct Case {
        const char* name;
        const char* running;
        std::vector<Entry> entries;
        const char* entry;      // the system entry found, "" when not installed
        const char* executable; // what our own entries start
    } cases[] = {
        {"the package's program with the package's entry",
         "@/usr/bin/sayloom",
         {{"usr/share/applications", "@/usr/bin/sayloom %u"}},
         "@/usr/share/applications/sayloom.desktop",
         "@/usr/bin/sayloom"},
        {"a build tree beside the installed package",
         "@/build/src/sayloom",
         {{"usr/share/applications", "@/usr/bin/sayloom %u"}},
         "",
         "@/build/src/sayloom"},
        {"a program without any system entry", "@/usr/bin/sayloom", {}, "", "@/usr/bin/sayloom"},
        {"an entry naming the program through a linked folder",
         "@/usr/bin/sayloom",
         {{"usr/share/applications", "@/bin/sayloom %u"}},
         "@/usr/share/applications/sayloom.desktop",
         "@/bin/sayloom"},
        {"a local installation's entry hides the package's",
         "@/usr/bin/sayloom",
         {{"usr/local/share/applications", "@/usr/local/bin/sayloom %u"},
          {"usr/share/applications", "@/usr/bin/sayloom %u"}},
         "",
         "@/usr/bin/sayloom"},
        {"the local installation itself",
         "@/usr/local/bin/sayloom",
         {{"usr/local/share/applications", "@/usr/local/bin/sayloom %u"},
          {"usr/share/applications", "@/usr/bin/sayloom %u"}},
         "@/usr/local/share/applications/sayloom.desktop",
         "@/usr/local/bin/sayloom"},
        {"a quoted path with a space",
         "@/opt/say loom/sayloom",
         {{"usr/share/applications", "\"@/opt/say loom/sayloom\" %u"}},
         "@/usr/share/applications/sayloom.desktop",
         "@/opt/say loom/sayloom"},
        {"a bare program name found on PATH",
         "@/usr/bin/sayloom",
         {{"usr/share/applications", "sayloom %u"}},
         "@/usr/share/applications/sayloom.desktop",
         "@/usr/bin/sayloom"},
        {"an entry that wraps the program",
         "@/usr/bin/sayloom",
         {{"usr/share/applications", "env A=1 @/usr/bin/sayloom %u"}},
         "",
         "@/usr/bin/sayloom"},
        {"an entry without a program",
         "@/usr/bin/sayloom",
         {{"usr/share/applications", ""}},
         "",
         "@/usr/bin/sayloom"},
    };
    const QByteArray path = qgetenv("PATH");
    for (const Case& c : cases) {
        FakeRoot root;
        qputenv("PATH", root.path("@/usr/bin").toUtf8());
        for (const Entry& entry : c.entries)
            root.write(QString::fromUtf8(entry.folder) + QStringLiteral("/sayloom.desktop"),
                       "[Desktop Entry]\nName=Sayloom\nExec=" + root.path(entry.exec).toUtf8() +
                           "\n");
        const DesktopInstallation installation(root.path(c.running), root.systemFolders());
        EXPECT_EQ(installation.isInstalled(), *c.entry != '\0') << c.name;
        EXPECT_EQ(installation.systemEntry(), root.path(c.entry)) << c.name;
        EXPECT_EQ(installation.executable(), root.path(c.executable)) << c.name;
    }
    qputenv("PATH", path);
}

TEST(DesktopInstallationTest, TheSystemFoldersComeFromXdgDataDirs) {
    const QByteArray saved = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_DIRS", "/opt/share:/usr/share");
    EXPECT_EQ(DesktopEntryIndex::systemApplicationFolders(),
              (QStringList{"/opt/share/applications", "/usr/share/applications"}));
    qunsetenv("XDG_DATA_DIRS");
    EXPECT_EQ(DesktopEntryIndex::systemApplicationFolders(),
              (QStringList{"/usr/local/share/applications", "/usr/share/applications"}));
    if (!saved.isNull())
        qputenv("XDG_DATA_DIRS", saved);
}

TEST(XdgUrlHandlerRegistrationTest, AnInstalledRunRemovesOnlyTheCopiesABuildTreeLeft) {
    const QByteArray icon = "<svg/>";
    const struct Case {
        const char* name;
        QByteArray entry; // empty: none
        QByteArray userIcon;
        bool entryRemoved;
        bool iconRemoved;
    } cases[] = {
        {"a build tree's entry and icon",
         "[Desktop Entry]\nName=Sayloom\nExec=/work/build/src/sayloom %u\n", icon, true, true},
        {"an entry quoting the build path",
         "[Desktop Entry]\nName=Sayloom\nExec=\"/home/kim/my apps/sayloom\" %u\n", icon, true,
         true},
        {"the user's wrapper around the program",
         "[Desktop Entry]\nName=Sayloom\nExec=env A=1 /usr/bin/sayloom %u\n", icon, false, true},
        {"the user's renamed entry", "[Desktop Entry]\nName=Dictate\nExec=/usr/bin/sayloom %u\n",
         "<svg>mine</svg>", false, false},
    };
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    for (const Case& c : cases) {
        QTemporaryDir data;
        qputenv("XDG_DATA_HOME", data.path().toUtf8());
        for (const auto& [path, content] :
             {std::pair{XdgUrlHandlerRegistration::entryPath(), c.entry},
              std::pair{XdgUrlHandlerRegistration::iconPath(), c.userIcon}}) {
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        const QStringList removed = XdgUrlHandlerRegistration::removeOwnCopies(icon);
        EXPECT_EQ(removed.contains(XdgUrlHandlerRegistration::entryPath()), c.entryRemoved)
            << c.name;
        EXPECT_EQ(QFile::exists(XdgUrlHandlerRegistration::entryPath()), !c.entryRemoved) << c.name;
        EXPECT_EQ(QFile::exists(XdgUrlHandlerRegistration::iconPath()), !c.iconRemoved) << c.name;
    }
    QTemporaryDir empty;
    qputenv("XDG_DATA_HOME", empty.path().toUtf8());
    EXPECT_TRUE(XdgUrlHandlerRegistration::removeOwnCopies(icon).isEmpty()) << "nothing there";
    if (saved.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", saved);
}

} // namespace
