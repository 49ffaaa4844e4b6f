#include "support/FatalError.h"

#include "support/Logger.h"

#include <cstdio>
#include <cstdlib>

namespace sayloom {

void fatalError(const QString& message) {
    Logger(QStringLiteral("app")).error("%{public}s", message);
    const QByteArray line = message.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, line.size(), stderr);
    std::fflush(stderr);
    std::abort();
}

} // namespace sayloom
