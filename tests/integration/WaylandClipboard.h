#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTest>

namespace sayloom::testing {

// Puts `data` on the clipboard as `format` with wl-copy, which serves it from the background.
inline void wlCopy(const QString& format, const QByteArray& data) {
    QProcess process;
    process.start(QStringLiteral("wl-copy"), {QStringLiteral("--type"), format});
    process.write(data);
    process.closeWriteChannel();
    process.waitForFinished(30'000);
}

// What the clipboard holds as `format`, read with wl-paste while this process's event loop runs
// (it may be the clipboard's owner).
inline QByteArray wlPaste(const QString& format) {
    QProcess process;
    process.start(QStringLiteral("wl-paste"),
                  {QStringLiteral("--no-newline"), QStringLiteral("--type"), format});
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 30'000))
        return {};
    return process.readAllStandardOutput();
}

} // namespace sayloom::testing
