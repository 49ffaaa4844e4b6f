#include "cli/AccountServices.h"

#include "auth/AuthState.h"
#include "auth/SecureTokenEndpoint.h"
#include "auth/SignInConfiguration.h"
#include "transcription/APIConfig.h"

namespace sayloom {

AccountServices::AccountServices()
    : keychain_(linux_desktop::DesktopKeychain::optionsFromEnvironment())
    , defaults_(JsonFileKeyValueStore::defaultPath())
    , webAuth_(browser_, scheduler_)
    , auth_(FirebaseAuthManager::Collaborators{
          keychain_, session_, scheduler_, SecureTokenEndpoint::fromEnvironment(),
          APIConfig::endpoints().authSyncURL(), &webAuth_,
          SignInConfiguration::fromEnvironment(APIConfig::endpoints().githubCallbackURL())}) {}

std::optional<QString> AccountServices::configurationError() {
    return SecureTokenEndpoint::fromEnvironment().configurationError();
}

std::unique_ptr<AuthState> AccountServices::makeAuthState() {
    const Endpoints& endpoints = APIConfig::endpoints();
    return std::make_unique<AuthState>(
        AuthState::Collaborators{auth_, defaults_, session_, scheduler_, endpoints.authMeURL(),
                                 endpoints.authTimezoneURL(), /*syncAtStartup=*/false});
}

} // namespace sayloom
