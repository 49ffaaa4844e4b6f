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

    // The program an Exec value starts (its first argument, unquoted and unescaped), or nothing
    // when the value is empty or its quoting is broken.
    static std::optional<QString> execProgram(const QString& exec);

    // The value of `key` in the main "[Desktop Entry]" group of the file at `path` (the
    // unlocalised key only), or nothing when the file or the key is missing.
    static std::optional<QString> value(const QString& path, const QString& key);

    // Writes `content` to `path` atomically unless the file holds exactly that already. Returns
    // whether it wrote, or the error.
    struct WriteResult {
        bool written = false;
        std::optional<QString> error;
    };
    static WriteResult writeIfChanged(const QString& path, const QString& content);
};

} // namespace sayloom::linux_desktop
