#pragma once

#include <QString>
#include <QStringList>

namespace sayloom {

// Starts desktop programs (the sound settings, for one) on their own.
class ProgramLauncher {
public:
    virtual ~ProgramLauncher() = default;
    // True when `program` can be found on the search path.
    virtual bool isAvailable(const QString& program) const = 0;
    // Starts it, detached; false when it could not be started.
    virtual bool launch(const QString& program, const QStringList& arguments) = 0;
};

} // namespace sayloom
