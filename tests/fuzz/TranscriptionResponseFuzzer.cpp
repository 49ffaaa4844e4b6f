// The transcription service's answer: a transcript (200, 429) or an error body.

#include "FuzzInput.h"

#include "support/JSONDecodingError.h"
#include "transcription/ProxyResponse.h"

using namespace sayloom;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray body = fuzz::bytes(data, size);
    // A body of another shape is a decoding error, never anything else.
    try {
        (void)ProxyResponse::decode(body);
    } catch (const JSONDecodingError&) {
    }
    const ProxyErrorDetail detail = ProxyErrorDetail::decode(body);
    FUZZ_CHECK(!detail.message.isNull());
    return 0;
}
