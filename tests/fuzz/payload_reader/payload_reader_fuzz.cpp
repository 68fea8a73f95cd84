// The packer's payload reader and PE resource reader on arbitrary files:
// every input must end in entries that lie inside the payload or in a
// reported error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "error.h"
#include "payload_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    xpack::Bytes content(data, data + size);
    try {
        xpack::Bytes payload = xpack::PayloadOfFile(content, "input");
        const std::uint8_t *start = payload.data();
        const std::uint8_t *end = start + payload.size();
        std::size_t covered = 0;
        for (const xpack::ReadEntry &entry : xpack::ReadPayload(payload, "input")) {
            if (entry.offset != covered || entry.name.empty())
                std::abort();
            covered = entry.offset + entry.name.size() + 1;
            if (!entry.isDirectory) {
                if (entry.data != start + covered + 4 ||
                    entry.dataLength > static_cast<std::size_t>(end - entry.data))
                    std::abort();
                covered += 4 + entry.dataLength;
            }
        }
        if (covered != payload.size())
            std::abort();
        if (xpack::TopFolderOf(payload).size() > 12)
            std::abort();
    } catch (const xpack::Error &) {
    }
    return 0;
}
