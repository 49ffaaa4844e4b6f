#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace sayloom::linux_desktop {

// Sayloom's desktop entry (freedesktop Desktop Entry format), for the application menu, the
// handling of its URL schemes and the autostart folder.
class DesktopEntryFile {
public:
    static constexpr const char* kFileName = "sayloom.desktop";

    // The entry that starts `executable` (an absolute path) with a URL, as the handler of the
    // `schemes` ("sayloom", the Google redirect scheme); `extraLines` are appended as they are.
    static QString text(const QString& executable, const QStringList& schemes,
                        const QStringList& extraLines = {});

    // `executable` as one argument of an Exec key: quoted where the format needs it.
    static QString execArgument(const QString& executable);

    // Writes `content` to `path` atomically unless the file holds exactly that already. Returns
    // whether it wrote, or the error.
    struct WriteResult {
        bool written = false;
        std::optional<QString> error;
    };
    static WriteResult writeIfChanged(const QString& path, const QString& content);
};

} // namespace sayloom::linux_desktop
