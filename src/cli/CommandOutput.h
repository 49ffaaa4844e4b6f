#pragma once

#include <QString>
#include <QTextStream>

namespace sayloom {

// One line on stderr, "sayloom: <message>", written at once so that it stays in order with what
// the logger writes there.
inline void printError(const QString& message) {
    QTextStream(stderr) << "sayloom: " << message << Qt::endl;
}

} // namespace sayloom
