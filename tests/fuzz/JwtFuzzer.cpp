// An identity token from a sign-in callback or answer, read without verifying its signature.

#include "FuzzInput.h"

#include "auth/SignInUtilities.h"

using namespace sayloom;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString token = fuzz::text(data, size);
    const bool shaped = hasJwtShape(token);
    // A claim is only ever read from a token of three pieces.
    if (jwtClaim(token, QStringLiteral("nonce")))
        FUZZ_CHECK(shaped);
    if (jwtIsUnexpired(token, WallInstant(std::chrono::seconds(1'700'000'000))))
        FUZZ_CHECK(shaped);
    return 0;
}
