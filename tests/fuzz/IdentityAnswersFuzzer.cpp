// The identity service's answers: a token refresh, the account sync, and signInWithIdp (whose
// lifetime text, like the refresh's, becomes the token's lifetime).

#include "FuzzInput.h"

#include "auth/FirebaseAuthManager.h"
#include "auth/IdentityAnswers.h"
#include "support/JSONDecodingError.h"

using namespace sayloom;

namespace {

void checkLifetime(const std::optional<QString>& text) {
    const std::chrono::seconds lifetime = FirebaseAuthManager::tokenLifetime(text);
    FUZZ_CHECK(lifetime >= FirebaseAuthManager::kMinimumTokenLifetime &&
               lifetime <= FirebaseAuthManager::kDefaultTokenLifetime);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray body = fuzz::bytes(data, size);
    if (const auto tokens = decodeTokenRefresh(body)) {
        FUZZ_CHECK(!tokens->idToken.isEmpty() && !tokens->refreshToken.isEmpty());
        checkLifetime(tokens->expiresIn);
    }
    try {
        (void)decodeAccountSync(body);
    } catch (const JSONDecodingError&) {
    }
    if (const auto answer = decodeSignInAnswer(body)) {
        if (const auto account = idpAccount(*answer))
            checkLifetime(account->expiresIn);
    }
    return 0;
}
