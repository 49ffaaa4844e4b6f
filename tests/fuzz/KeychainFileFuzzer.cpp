// The file keychain's file, as another process (or a damaged disk) may have left it.

#include "FuzzInput.h"

#include "platform/linux/FileKeychain.h"

using namespace sayloom::linux_desktop;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Every change rewrites the whole file: the items it read must come back as they were.
    if (const auto items = FileKeychain::parse(sayloom::fuzz::bytes(data, size)))
        FUZZ_CHECK(FileKeychain::parse(FileKeychain::serialize(*items)) == items);
    return 0;
}
