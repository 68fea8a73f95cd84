// xpack setup's rewriting on arbitrary stubs: each must be refused with an
// error or rewritten; and what it writes must be a stub it takes again and
// rewrites to the same bytes, hold the payload given, and carry the checksum
// of its bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "error.h"
#include "payload_reader.h"
#include "pe_checksum.h"
#include "pe_image.h"
#include "pe_resource.h"
#include "setup_image.h"

namespace {

void Require(bool ok)
{
    if (!ok)
        std::abort();
}

xpack::Bytes Payload(std::size_t size)
{
    xpack::Bytes payload(size);
    for (std::size_t i = 0; i < size; ++i)
        payload[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return payload;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const xpack::Bytes payloads[] = {Payload(0), Payload(4099)};
    std::unique_ptr<xpack::SetupStub> stub;
    try {
        stub = std::make_unique<xpack::SetupStub>(xpack::Bytes(data, data + size), "stub");
    } catch (const xpack::Error &) {
        return 0;
    }
    // From here on an exception is a finding too.
    for (const xpack::Bytes &payload : payloads) {
        xpack::Bytes image = stub->WithPayload(payload, "payload");
        Require(xpack::ReadNamedResource(image.data(), image.size(), xpack::kPayloadResourceType,
                                         xpack::kPayloadResourceName, "image") == payload);
        const std::size_t field = pe::CheckSumFieldOffset(image.data(), image.size());
        Require(pe::Reader(image).U32(field) == pe::ComputeCheckSum(image.data(), image.size()));
        Require(xpack::SetupStub(image, "image").WithPayload(payload, "payload") == image);
    }
    return 0;
}
