#include "FieldsApp.h"

#include "platform/linux/X11FrontmostApplication.h"

#include <QTest>

namespace sayloom::testing {

std::unique_ptr<FieldsApp> FieldsApp::start(Toolkit toolkit, bool accessible) {
    std::unique_ptr<FieldsApp> app(new FieldsApp(toolkit));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (toolkit == Toolkit::qt && accessible)
        environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    if (toolkit == Toolkit::gtk && !accessible)
        environment.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
    app->process_.setProcessEnvironment(environment);
    app->process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    app->process_.start(QString::fromUtf8(toolkit == Toolkit::qt ? QT_FIELDS_APP : GTK_FIELDS_APP),
                        {});
    if (!app->process_.waitForStarted(5000))
        return nullptr;
    // The first line is "ready", once the window is shown.
    if (app->command(QString()) != QStringLiteral("ready"))
        return nullptr;
    return app;
}

FieldsApp::~FieldsApp() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.write("quit\n");
    if (!process_.waitForFinished(2000)) {
        process_.kill();
        process_.waitForFinished(2000);
    }
}

QString FieldsApp::encode(const QString& text) {
    return QString::fromLatin1(text.toUtf8().toPercentEncoding());
}

std::optional<QString> FieldsApp::command(const QString& line) {
    if (!line.isEmpty())
        process_.write((line + QLatin1Char('\n')).toUtf8());
    // The event loop keeps running while we wait: the application may be asking us for the
    // clipboard, and accessibility events must keep flowing.
    const bool answered = QTest::qWaitFor(
        [this] {
            pending_ += process_.readAllStandardOutput();
            return pending_.contains('\n');
        },
        5000);
    if (!answered)
        return std::nullopt;
    const qsizetype end = pending_.indexOf('\n');
    const QString reply = QString::fromUtf8(pending_.left(end));
    pending_.remove(0, end + 1);
    return reply;
}

bool FieldsApp::focus(const QString& field) {
    if (command(QStringLiteral("focus ") + field) != QStringLiteral("ok"))
        return false;
    linux_desktop::X11FrontmostApplication frontmost;
    return QTest::qWaitFor(
        [&] {
            const auto application = frontmost.frontmostApplication();
            return application && application->processIdentifier == processIdentifier();
        },
        5000);
}

bool FieldsApp::setText(const QString& field, const QString& text) {
    return command(QStringLiteral("set %1 %2").arg(field, encode(text))) == QStringLiteral("ok");
}

bool FieldsApp::setCaret(const QString& field, int position) {
    return command(QStringLiteral("caret %1 %2").arg(field).arg(position)) == QStringLiteral("ok");
}

bool FieldsApp::select(const QString& field, int from, int to) {
    return command(QStringLiteral("select %1 %2 %3").arg(field).arg(from).arg(to)) ==
           QStringLiteral("ok");
}

std::optional<QString> FieldsApp::text(const QString& field) {
    const auto reply = command(QStringLiteral("get ") + field);
    if (!reply || !reply->startsWith(QLatin1String("text ")))
        return std::nullopt;
    return QString::fromUtf8(QByteArray::fromPercentEncoding(reply->mid(5).toLatin1()));
}

QString FieldsApp::waitForText(const QString& field, const QString& expected,
                               std::chrono::milliseconds timeout) {
    QString last;
    (void)QTest::qWaitFor(
        [&] {
            last = text(field).value_or(QString());
            return last == expected;
        },
        static_cast<int>(timeout.count()));
    return last;
}

} // namespace sayloom::testing
