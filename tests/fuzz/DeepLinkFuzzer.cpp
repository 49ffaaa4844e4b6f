// A URL handed to `sayloom URL` or over the instance socket, read as a deep link.

#include "FuzzInput.h"

#include "app/DeepLinkAction.h"

using namespace sayloom;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString url = fuzz::text(data, size);
    const DeepLinkAction action(url);
    // Only links of our schemes are acted upon; the rest are handed to nobody.
    if (action.kind() != DeepLinkAction::Kind::ignore)
        FUZZ_CHECK(url.startsWith(QLatin1String("sayloom:")) ||
                   action.kind() == DeepLinkAction::Kind::googleOAuth);
    (void)DeepLinkAction::isOwnScheme(url);
    return 0;
}
