#include "platform/linux/ProcessApplicationId.h"

#include <QFile>
#include <QRegularExpression>

namespace sayloom::linux_desktop {

namespace {

QString readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// systemd's escaping of unit names: "\x2d" for "-" and so on.
QString unescapeUnitName(const QString& escaped) {
    QString out;
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        if (escaped.at(i) == QLatin1Char('\\') && i + 3 < escaped.size() &&
            escaped.at(i + 1) == QLatin1Char('x')) {
            bool ok = false;
            const int code = escaped.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out += QChar(code);
                i += 3;
                continue;
            }
        }
        out += escaped.at(i);
    }
    return out;
}

} // namespace

std::optional<QString> desktopIdFromCgroup(const QString& cgroup) {
    // The last path element that is an application unit: app[-LAUNCHER]-ID[-RANDOM].scope, or
    // app[-LAUNCHER]-ID[@RANDOM].service. The id's own dashes are escaped, so the dashes split.
    static const QRegularExpression unit(
        QStringLiteral(R"(/app-([^/]+?)(?:-[0-9a-f]+\.scope|(?:@[^/]*)?\.service)$)"));
    for (const QString& line : cgroup.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = unit.match(line.trimmed());
        if (!match.hasMatch())
            continue;
        const QStringList parts = match.captured(1).split(QLatin1Char('-'));
        const QString id = unescapeUnitName(parts.last());
        if (!id.isEmpty())
            return id;
    }
    return std::nullopt;
}

std::optional<QString> applicationIdOfProcess(qint64 pid, const QString& procRoot) {
    if (pid <= 0)
        return std::nullopt;
    const QString process = procRoot + QLatin1Char('/') + QString::number(pid);
    if (auto id = desktopIdFromCgroup(readFile(process + QStringLiteral("/cgroup"))))
        return id;
    const QString name = readFile(process + QStringLiteral("/comm")).trimmed();
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

} // namespace sayloom::linux_desktop
