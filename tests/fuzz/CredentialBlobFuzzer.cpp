// The credentials item as the keychain hands it back.

#include "FuzzInput.h"

#include "auth/CredentialStore.h"

using namespace sayloom;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Credentials that were read are written back unchanged by the next save.
    if (const auto credentials = CredentialStore::decodeBlob(fuzz::bytes(data, size)))
        FUZZ_CHECK(CredentialStore::decodeBlob(CredentialStore::encodeBlob(*credentials)) ==
                   credentials);
    return 0;
}
