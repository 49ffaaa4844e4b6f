// The settings file, as an editor, another version or a damaged disk may have left it.

#include "FuzzInput.h"

#include "support/JsonFileKeyValueStore.h"

using namespace sayloom;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Every write merges into the file as read: each value read must survive the rewrite.
    if (const auto values = JsonFileKeyValueStore::parse(fuzz::bytes(data, size)))
        FUZZ_CHECK(JsonFileKeyValueStore::parse(JsonFileKeyValueStore::serialize(*values)) ==
                   values);
    return 0;
}
