#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace sayloom {

// A headless use of the executable: `sayloom NAME ARGS...`.
struct Command {
    // Which Qt application object the command needs: Core for pure I/O, Gui for the clipboard
    // and the display.
    enum class Application { core, gui };

    QString name;
    // Arguments as shown in the usage line, e.g. "INPUT -o OUTPUT.ogg".
    QString synopsis;
    // One line for `sayloom --help`.
    QString summary;
    Application application = Application::core;
    // Runs with the arguments after the name and returns the exit status. The application object
    // exists and logging is set up; the command may run nested event loops.
    std::function<int(const QStringList& arguments)> run;
};

// Every subcommand, in the order `sayloom --help` lists them.
const std::vector<Command>& commands();

} // namespace sayloom
