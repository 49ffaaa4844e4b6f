#pragma once

#include "app/ProgramLauncher.h"

namespace sayloom::linux_desktop {

// Programs found on PATH, started detached with their output discarded.
class DesktopProgramLauncher final : public ProgramLauncher {
public:
    bool isAvailable(const QString& program) const override;
    bool launch(const QString& program, const QStringList& arguments) override;
};

} // namespace sayloom::linux_desktop
