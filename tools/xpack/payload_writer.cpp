#include "payload_writer.h"

#include "error.h"
#include "szdd/szdd.h"

namespace xpack {

void AppendEntry(Bytes &payload, const std::string &name, bool isDirectory, const Bytes &data)
{
    payload.insert(payload.end(), name.begin(), name.end());
    payload.push_back(0);
    if (isDirectory)
        return;
    std::uint32_t length = static_cast<std::uint32_t>(data.size());
    for (int shift = 0; shift < 32; shift += 8)
        payload.push_back(static_cast<std::uint8_t>(length >> shift));
    payload.insert(payload.end(), data.begin(), data.end());
}

Bytes BuildPayload(const TreeWalk &walk, const std::string &output)
{
    Bytes payload;
    TreeReader reader(walk);
    for (const PackItem &item : walk.items) {
        Bytes stored;
        Bytes content = reader.Read(item);
        if (!item.isDirectory) {
            // The file may have grown since the walk looked at it.
            if (content.size() > kMaxFileSize)
                throw Error(Shown(item.source) + ": is 4 GiB or larger; a payload holds smaller files only");
            stored = szdd::Compress(content);
            if (stored.size() > kMaxFileSize)
                throw Error(Shown(item.source) + ": compressed data too large for a payload");
        }
        AppendEntry(payload, item.name, item.isDirectory, stored);
        if (payload.size() >= kPayloadLimit)
            throw Error(output + ": the payload reaches " + std::to_string(payload.size()) + " bytes at " +
                        Shown(item.source) + "; " + PayloadLimitReason());
    }
    return payload;
}

}  // namespace xpack
