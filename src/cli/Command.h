#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace sayloom {

// A headless use of the executable: `sayloom NAME ARGS...`.
struct Command {
    // Which Qt application object the command needs: Core for pure I/O, Gui for the clipboard
    // and the display.
    enum class Application { core, gui };
    using Check = std::function<std::optional<QString>(const QStringList& arguments)>;

    QString name;
    // Arguments as shown in the usage line, e.g. "INPUT -o OUTPUT.ogg".
    QString synopsis;
    // One line for `sayloom --help`.
    QString summary;
    Application application = Application::core;
    // Checks the arguments after the name: nothing when they are a valid use of the command, else
    // what is wrong with them (main then prints it with the usage line and exits with 2). It runs
    // before the application object exists, so it touches no display, sound server, keychain or
    // file.
    Check check;
    // Runs with arguments that passed the check and returns the exit status. The application
    // object exists and logging is set up; the command may run nested event loops.
    std::function<int(const QStringList& arguments)> run;
};

// A check made of a command's parser, `parse(arguments, problem)`, which returns the options of a
// valid use, or nothing with `problem` saying what is wrong.
template <typename Parse>
Command::Check checkWith(Parse parse) {
    return [parse](const QStringList& arguments) -> std::optional<QString> {
        QString problem;
        if (parse(arguments, problem))
            return std::nullopt;
        return problem;
    };
}

// Every subcommand, in the order `sayloom --help` lists them.
const std::vector<Command>& commands();

} // namespace sayloom
