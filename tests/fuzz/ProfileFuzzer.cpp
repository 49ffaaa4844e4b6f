// The profile answer: the user, the week's word usage and the trial.

#include "FuzzInput.h"

#include "auth/AuthState.h"

using namespace sayloom;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    (void)AuthState::parseUserInfo(fuzz::bytes(data, size));
    return 0;
}
