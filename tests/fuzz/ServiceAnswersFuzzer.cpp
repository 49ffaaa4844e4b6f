// The service's smaller answers: the version check and the billing portal's link.

#include "FuzzInput.h"

#include "app/UpdateState.h"
#include "app/WebLinks.h"

#include <QUrl>

using namespace sayloom;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray body = fuzz::bytes(data, size);
    if (const auto answer = UpdateState::decodeAnswer(body)) {
        FUZZ_CHECK(!answer->forceUpdate || answer->updateAvailable);
        if (const auto deadline = UpdateState::parseForceDate(answer->forceDate))
            FUZZ_CHECK(deadline->isValid());
    }
    // A portal link is opened only on a payment host over https, whatever the answer says.
    const QUrl portal(WebLinks::decodePortalLink(body), QUrl::StrictMode);
    if (WebLinks::isTrustedBillingURL(portal, {QStringLiteral("billing.example.com")}))
        FUZZ_CHECK(portal.scheme() == QLatin1String("https") &&
                   (portal.host() == QLatin1String("billing.example.com") ||
                    portal.host().endsWith(QLatin1String(".billing.example.com"))));
    return 0;
}
