#pragma once

#include "cli/Command.h"

#include <QString>

#include <vector>

namespace sayloom {

// `sayloom doctor`: one line per part that dictation needs, saying whether it works and, when it
// does not, what the user can do. Exit status 0 when dictation can work, 1 otherwise.
Command doctorCommand();

namespace linux_desktop {
struct SessionRoads;
}

// The doctor's lines on how keys are watched and text is inserted in a session: which roads it
// offers, which one is used, and, where none works, the step that mends it.
struct DoctorLine {
    bool ok = false;
    QString part;
    QString detail;
};
std::vector<DoctorLine> roadLines(const linux_desktop::SessionRoads& roads);

} // namespace sayloom
