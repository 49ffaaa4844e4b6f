#include "cli/Command.h"

namespace sayloom {

// Each command lives in its own file and contributes one entry here.
const std::vector<Command>& commands() {
    static const std::vector<Command> all = {};
    return all;
}

} // namespace sayloom
