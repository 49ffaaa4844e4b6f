// A window with a QLineEdit ("line") and a QTextEdit ("text") that the integration tests type,
// paste and insert into, and three that are harder to reach: a password field ("secret"), a line
// edit that takes typed and pasted text but puts back any other change of its text, as a field
// that ignores the accessibility write does ("stubborn"), and a button that takes no paste
// ("button"). It is driven over stdin, one command a line, and answers on stdout:
//   focus NAME             activate the window and focus the field        -> ok
//   set NAME TEXT          replace the field's text                       -> ok
//   caret NAME N           caret after N characters (code points)         -> ok
//   select NAME FROM TO    select characters FROM..TO (code points)       -> ok
//   get NAME               the field's text                               -> text TEXT
// TEXT is percent-encoded UTF-8. The window's class is "sayloom-qt-fields".

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTextEdit>
#include <QTextStream>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

QString decode(const QString& encoded) {
    return QString::fromUtf8(QByteArray::fromPercentEncoding(encoded.toLatin1()));
}

QString encode(const QString& text) {
    return QString::fromLatin1(text.toUtf8().toPercentEncoding());
}

// The UTF-16 index after `codePoints` code points of `text`.
int utf16Index(const QString& text, int codePoints) {
    int index = 0;
    for (int i = 0; i < codePoints && index < text.size(); ++i)
        index += text.at(index).isHighSurrogate() ? 2 : 1;
    return index;
}

void reply(const QString& line) {
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Takes what the keyboard brings (typing, Ctrl+V) and what the test sets; any other change of
// its text (an accessibility write) is undone at once, before the writer can read the text back.
class StubbornLineEdit final : public QLineEdit {
public:
    StubbornLineEdit() {
        connect(this, &QLineEdit::textChanged, this, [this](const QString& text) {
            if (!inKeyPress_ && text != accepted_)
                setText(accepted_);
        });
    }
    void setAcceptedText(const QString& text) {
        accepted_ = text;
        setText(text);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        inKeyPress_ = true;
        QLineEdit::keyPressEvent(event);
        inKeyPress_ = false;
        accepted_ = text();
    }

private:
    QString accepted_;
    bool inKeyPress_ = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication::setApplicationName(QStringLiteral("sayloom-qt-fields"));
    QApplication app(argc, argv);

    QWidget window;
    window.setWindowTitle(QStringLiteral("Sayloom Qt fields"));
    auto* layout = new QVBoxLayout(&window);
    auto* line = new QLineEdit;
    auto* text = new QTextEdit;
    text->setAcceptRichText(false);
    auto* secret = new QLineEdit;
    secret->setEchoMode(QLineEdit::Password);
    auto* stubborn = new StubbornLineEdit;
    auto* button = new QPushButton(QStringLiteral("Nothing to paste into"));
    layout->addWidget(line);
    layout->addWidget(text);
    layout->addWidget(secret);
    layout->addWidget(stubborn);
    layout->addWidget(button);
    window.resize(480, 400);
    window.show();

    const QMap<QString, QLineEdit*> lineEdits = {{QStringLiteral("line"), line},
                                                 {QStringLiteral("secret"), secret},
                                                 {QStringLiteral("stubborn"), stubborn}};
    const auto fieldText = [&](const QString& name) {
        if (QLineEdit* edit = lineEdits.value(name))
            return edit->text();
        return name == QLatin1String("text") ? text->toPlainText() : QString();
    };

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[65536];
        if (!std::fgets(buffer, sizeof buffer, stdin)) {
            app.quit();
            return;
        }
        const QStringList words = QString::fromUtf8(buffer).trimmed().split(QLatin1Char(' '));
        const QString command = words.value(0);
        const QString name = words.value(1);
        QLineEdit* lineEdit = lineEdits.value(name);
        QWidget* field = lineEdit                          ? static_cast<QWidget*>(lineEdit)
                         : name == QLatin1String("button") ? static_cast<QWidget*>(button)
                                                           : text;
        if (command == QLatin1String("focus")) {
            window.raise();
            window.activateWindow();
            field->setFocus();
            // Answer once the window really has the keyboard focus.
            auto* poll = new QTimer(&app);
            auto started = std::make_shared<QElapsedTimer>();
            started->start();
            QObject::connect(poll, &QTimer::timeout, [&window, field, poll, started] {
                const bool focused = window.isActiveWindow() && field->hasFocus();
                if (focused || started->elapsed() > 5000) {
                    reply(focused ? QStringLiteral("ok") : QStringLiteral("error not focused"));
                    poll->deleteLater();
                    poll->stop();
                }
            });
            poll->start(10);
        } else if (command == QLatin1String("set")) {
            const QString value = decode(words.value(2));
            if (field == stubborn)
                stubborn->setAcceptedText(value);
            else if (lineEdit)
                lineEdit->setText(value);
            else
                text->setPlainText(value);
            reply(QStringLiteral("ok"));
        } else if (command == QLatin1String("caret") || command == QLatin1String("select")) {
            const QString current = fieldText(name);
            const int from = utf16Index(current, words.value(2).toInt());
            const int to = command == QLatin1String("select")
                               ? utf16Index(current, words.value(3).toInt())
                               : from;
            if (lineEdit) {
                lineEdit->setCursorPosition(from);
                if (to != from)
                    lineEdit->setSelection(from, to - from);
            } else {
                QTextCursor cursor = text->textCursor();
                cursor.setPosition(from);
                cursor.setPosition(to, QTextCursor::KeepAnchor);
                text->setTextCursor(cursor);
            }
            reply(QStringLiteral("ok"));
        } else if (command == QLatin1String("get")) {
            reply(QStringLiteral("text ") + encode(fieldText(name)));
        } else if (command == QLatin1String("quit")) {
            app.quit();
        } else {
            reply(QStringLiteral("error unknown command"));
        }
    });
    reply(QStringLiteral("ready"));
    return app.exec();
}
