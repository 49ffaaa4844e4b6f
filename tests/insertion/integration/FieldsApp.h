#pragma once

#include <QProcess>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace sayloom::testing {

// One of the test applications with text fields (QtFieldsApp, GtkFieldsApp), started as a real
// process on the test display and driven over its standard input.
class FieldsApp {
public:
    enum class Toolkit { qt, gtk };

    // Starts the application and waits until its window is up. With `accessible` false it keeps
    // off the accessibility bus (unless the bus's IsEnabled status makes a Qt application join).
    static std::unique_ptr<FieldsApp> start(Toolkit toolkit, bool accessible = true);
    ~FieldsApp();

    qint64 processIdentifier() const { return process_.processId(); }
    Toolkit toolkit() const { return toolkit_; }

    // Sends one command and returns its answer; nothing after five seconds without one.
    std::optional<QString> command(const QString& line);

    // Focuses a field and waits until the window manager reports the window as active.
    bool focus(const QString& field);
    bool setText(const QString& field, const QString& text);
    // Caret and selection in characters (code points).
    bool setCaret(const QString& field, int position);
    bool select(const QString& field, int from, int to);
    std::optional<QString> text(const QString& field);
    // Waits until the field holds `expected`; returns what it held last.
    QString waitForText(const QString& field, const QString& expected,
                        std::chrono::milliseconds timeout = std::chrono::seconds(5));

    static QString encode(const QString& text);

private:
    explicit FieldsApp(Toolkit toolkit) : toolkit_(toolkit) {}

    Toolkit toolkit_;
    QProcess process_;
    QByteArray pending_;
};

} // namespace sayloom::testing
