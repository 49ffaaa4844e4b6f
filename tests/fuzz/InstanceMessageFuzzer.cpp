// A line on the instance socket: a command from another process, and the reply it reads back.

#include "FuzzInput.h"

#include "app/SingleInstance.h"

using namespace sayloom;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray line = fuzz::bytes(data, size);

    // What is accepted can be sent again as it was understood.
    if (const auto message = SingleInstance::decodeMessage(line)) {
        const auto again = SingleInstance::decodeMessage(
            SingleInstance::encodeMessage(message->command, message->arguments));
        FUZZ_CHECK(again && again->command == message->command &&
                   again->arguments == message->arguments);
    }
    if (const auto reply = SingleInstance::decodeReply(line))
        FUZZ_CHECK(SingleInstance::decodeReply(SingleInstance::encodeReply(*reply)) == reply);
    return 0;
}
