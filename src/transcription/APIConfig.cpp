#include "transcription/APIConfig.h"

#include "BuildConfig.h"
#include "support/DeploymentValue.h"

namespace sayloom::APIConfig {

namespace {

struct Bases {
    QString api;
    QString website;
};

Bases bases() {
    return {deploymentValue("SAYLOOM_API_BASE_URL", build::kApiBaseURL),
            deploymentValue("SAYLOOM_WEBSITE_BASE_URL", build::kWebsiteBaseURL)};
}

} // namespace

const Endpoints& endpoints() {
    static const Endpoints instance = [] {
        const Bases b = bases();
        return Endpoints(b.api, b.website);
    }();
    return instance;
}

std::optional<QString> configurationError() {
    const Bases b = bases();
    if (auto error = Endpoints::validateBase(b.api))
        return QStringLiteral("Invalid API base URL (SAYLOOM_API_BASE_URL): ") + *error;
    if (auto error = Endpoints::validateBase(b.website))
        return QStringLiteral("Invalid website base URL (SAYLOOM_WEBSITE_BASE_URL): ") + *error;
    return std::nullopt;
}

void touchAll() {
    const Endpoints& e = endpoints();
    (void)e.versionCheckURL(QString::fromLatin1(build::kVersion));
}

} // namespace sayloom::APIConfig
