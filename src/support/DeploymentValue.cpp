#include "support/DeploymentValue.h"

namespace sayloom {

QString deploymentValue(const char* variable, const char* buildValue) {
    const QString fromEnvironment = qEnvironmentVariable(variable);
    return fromEnvironment.isEmpty() ? QString::fromUtf8(buildValue) : fromEnvironment;
}

} // namespace sayloom
