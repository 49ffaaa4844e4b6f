#include "cli/AccountCommand.h"
#include "cli/Command.h"
#include "cli/DoctorCommand.h"
#include "cli/InsertCommand.h"
#include "cli/PrepareCommand.h"
#include "cli/RecordCommand.h"
#include "cli/SignInCommand.h"
#include "cli/SignOutCommand.h"
#include "cli/TranscribeCommand.h"

namespace sayloom {

// Each command lives in its own file and contributes one entry here.
const std::vector<Command>& commands() {
    static const std::vector<Command> all = {
        accountCommand(), signInCommand(), signOutCommand(),    insertCommand(),
        prepareCommand(), recordCommand(), transcribeCommand(), doctorCommand(),
    };
    return all;
}

} // namespace sayloom
