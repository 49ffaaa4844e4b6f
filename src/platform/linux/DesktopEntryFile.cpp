#include "platform/linux/DesktopEntryFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include <algorithm>

namespace sayloom::linux_desktop {

QString DesktopEntryFile::execArgument(const QString& executable) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    const bool needsQuotes = std::any_of(executable.cbegin(), executable.cend(),
                                         [](QChar c) { return reserved.contains(c); });
    QString argument = executable;
    if (needsQuotes) {
        QString quoted;
        for (const QChar c : executable) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\'))
                quoted += QLatin1Char('\\');
            quoted += c;
        }
        argument = QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    // The key's value is a string: its own escape rules apply on top, and a literal "%" is "%%".
    argument.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    argument.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return argument;
}

std::optional<QString> DesktopEntryFile::execProgram(const QString& exec) {
    // First the string escapes of every key's value, then the quoting of the Exec arguments.
    QString value;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        if (exec[i] != QLatin1Char('\\') || i + 1 == exec.size()) {
            value += exec[i];
            continue;
        }
        const QChar next = exec[++i];
        if (next == QLatin1Char('s'))
            value += QLatin1Char(' ');
        else if (next == QLatin1Char('t'))
            value += QLatin1Char('\t');
        else if (next == QLatin1Char('n'))
            value += QLatin1Char('\n');
        else if (next == QLatin1Char('r'))
            value += QLatin1Char('\r');
        else if (next == QLatin1Char('\\'))
            value += QLatin1Char('\\');
        else
            value += QLatin1Char('\\') + QString(next);
    }
    qsizetype i = 0;
    while (i < value.size() && value[i] == QLatin1Char(' '))
        ++i;
    QString program;
    if (i < value.size() && value[i] == QLatin1Char('"')) {
        bool closed = false;
        for (++i; i < value.size(); ++i) {
            if (value[i] == QLatin1Char('"')) {
                closed = true;
                break;
            }
            if (value[i] == QLatin1Char('\\') && i + 1 < value.size())
                ++i;
            program += value[i];
        }
        if (!closed)
            return std::nullopt;
    } else {
        while (i < value.size() && value[i] != QLatin1Char(' '))
            program += value[i++];
    }
    program.replace(QStringLiteral("%%"), QStringLiteral("%"));
    if (program.isEmpty())
        return std::nullopt;
    return program;
}

std::optional<QString> DesktopEntryFile::value(const QString& path, const QString& key) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    QTextStream stream(&file);
    bool inMainGroup = false;
    while (!stream.atEnd()) {
        const QString line = stream.readLine().trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (inMainGroup && equals > 0 && line.left(equals).trimmed() == key)
            return line.mid(equals + 1).trimmed();
    }
    return std::nullopt;
}

QString DesktopEntryFile::text(const QString& executable, const QStringList& schemes,
                               const QStringList& extraLines) {
    QStringList mimeTypes;
    for (const QString& scheme : schemes)
        mimeTypes << QStringLiteral("x-scheme-handler/") + scheme;
    QStringList lines = {
        QStringLiteral("[Desktop Entry]"),
        QStringLiteral("Type=Application"),
        QStringLiteral("Name=Sayloom"),
        QStringLiteral("GenericName=Dictation"),
        QStringLiteral("Comment=Hold a key, speak, and the text appears where you type"),
        QStringLiteral("Exec=") + execArgument(executable) + QStringLiteral(" %u"),
        QStringLiteral("Icon=sayloom"),
        QStringLiteral("Terminal=false"),
        QStringLiteral("Categories=Utility;Accessibility;"),
        QStringLiteral("Keywords=dictation;speech;voice;transcription;"),
        QStringLiteral("StartupNotify=false"),
        // KDE lets an application press keys (paste and typing) only when its entry asks.
        QStringLiteral("X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input"),
    };
    if (!mimeTypes.isEmpty())
        lines << QStringLiteral("MimeType=") + mimeTypes.join(QLatin1Char(';')) + QLatin1Char(';');
    lines << extraLines;
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

DesktopEntryFile::WriteResult DesktopEntryFile::writeIfChanged(const QString& path,
                                                               const QString& content) {
    const QByteArray bytes = content.toUtf8();
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == bytes)
        return {};
    existing.close();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return {false, QStringLiteral("cannot create %1").arg(QFileInfo(path).absolutePath())};
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return {false, QStringLiteral("cannot write %1: %2").arg(path, file.errorString())};
    return {true, std::nullopt};
}

} // namespace sayloom::linux_desktop
