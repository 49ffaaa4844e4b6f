#pragma once

#include <QProcess>
#include <QRect>
#include <QStringList>
#include <QTest>

#include <optional>

namespace sayloom::testing {

// The test display as a person sees it, read with xdotool: which windows are mapped where, and
// which one is active.
class X11Desktop {
public:
    // What `xdotool ARGUMENTS` printed, or nothing when it failed.
    static std::optional<QString> xdotool(const QStringList& arguments) {
        QProcess process;
        process.start(QStringLiteral("xdotool"), arguments);
        if (!process.waitForFinished(10'000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0)
            return std::nullopt;
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }

    // The mapped windows whose title matches `titleRegex` (of process `pid` when given).
    static QStringList visibleWindows(const QString& titleRegex, qint64 pid = 0) {
        // --all: every criterion must hold (xdotool's default is any of them).
        QStringList arguments = {QStringLiteral("search"), QStringLiteral("--all"),
                                 QStringLiteral("--onlyvisible")};
        if (pid > 0)
            arguments << QStringLiteral("--pid") << QString::number(pid);
        arguments << QStringLiteral("--name") << titleRegex;
        const auto found = xdotool(arguments);
        return found ? found->split(QLatin1Char('\n'), Qt::SkipEmptyParts) : QStringList();
    }

    // Waits until exactly one such window is mapped; its id, or nothing.
    static std::optional<QString> waitForWindow(const QString& titleRegex, qint64 pid = 0,
                                                int timeoutMs = 15'000) {
        QStringList windows;
        (void)QTest::qWaitFor(
            [&] {
                windows = visibleWindows(titleRegex, pid);
                return windows.size() == 1;
            },
            timeoutMs);
        if (windows.size() != 1)
            return std::nullopt;
        return windows.first();
    }

    // The window's client area in root coordinates.
    static std::optional<QRect> geometry(const QString& window) {
        const auto shell =
            xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window});
        if (!shell)
            return std::nullopt;
        QRect rect;
        for (const QString& line : shell->split(QLatin1Char('\n'))) {
            const QString value = line.section(QLatin1Char('='), 1);
            if (line.startsWith(QLatin1String("X=")))
                rect.moveLeft(value.toInt());
            else if (line.startsWith(QLatin1String("Y=")))
                rect.moveTop(value.toInt());
            else if (line.startsWith(QLatin1String("WIDTH=")))
                rect.setWidth(value.toInt());
            else if (line.startsWith(QLatin1String("HEIGHT=")))
                rect.setHeight(value.toInt());
        }
        return rect;
    }

    static QString activeWindow() {
        return xdotool({QStringLiteral("getactivewindow")}).value_or(QString());
    }
};

} // namespace sayloom::testing
