#include "payload_reader.h"

#include "error.h"
#include "payload_cursor.h"
#include "pe_resource.h"
#include "szdd/szdd.h"

namespace xpack {

namespace {

constexpr int kTopFolderMax = 12;

// Why the cursor refused the entry at cursor.
std::string EntryFault(const std::uint8_t *cursor, const std::uint8_t *end)
{
    if (*cursor == 0)
        return "empty name";
    const std::uint8_t *p = cursor;
    while (p < end && *p != 0)
        ++p;
    if (p == end)
        return "name without a terminator before the end";
    std::size_t left = static_cast<std::size_t>(end - (p + 1));
    if (left < 4)
        return "file length field runs past the end";
    std::uint32_t n = p[1] | (p[2] << 8) | (p[3] << 16) | (static_cast<std::uint32_t>(p[4]) << 24);
    return "file length " + std::to_string(n) + " runs past the end (" + std::to_string(left - 4) +
           " bytes left)";
}

}  // namespace

std::vector<ReadEntry> ReadPayload(const Bytes &payload, const std::string &label)
{
    std::vector<ReadEntry> entries;
    const std::uint8_t *start = payload.data();
    const std::uint8_t *end = start + payload.size();
    const std::uint8_t *cursor = start;
    while (cursor < end) {
        PayloadEntry entry;
        if (!ReadPayloadEntry(cursor, end, &entry))
            throw Error(label + ": malformed payload: entry " + std::to_string(entries.size() + 1) +
                        " at offset " + std::to_string(cursor - start) + ": " + EntryFault(cursor, end));
        ReadEntry read;
        read.name.assign(entry.name, entry.nameLength);
        read.isDirectory = entry.isDirectory != 0;
        read.offset = static_cast<std::size_t>(cursor - start);
        read.data = entry.data;
        read.dataLength = entry.dataLength;
        entries.push_back(std::move(read));
        cursor = entry.next;
    }
    return entries;
}

std::string TopFolderOf(const Bytes &payload)
{
    char top[kTopFolderMax + 1];
    CopyTopFolder(payload.data(), payload.data() + payload.size(), top, kTopFolderMax);
    return top;
}

Bytes PayloadOfFile(const Bytes &content, const std::string &label)
{
    if (!HasExecutableSignature(content.data(), content.size()))
        return content;
    try {
        return ReadNamedResource(content.data(), content.size(), kPayloadResourceType, kPayloadResourceName, label);
    } catch (const Error &executableFault) {
        // Only a payload that reads cleanly, SZDD headers included, wins
        // over the executable's fault: a short cut of an executable can
        // pass for a payload's entries.
        try {
            for (const ReadEntry &entry : ReadPayload(content, label)) {
                szdd::Header header;
                std::string error;
                if (!entry.isDirectory && !szdd::ReadHeader(entry.data, entry.dataLength, header, error))
                    throw executableFault;
            }
        } catch (const Error &) {
            throw executableFault;
        }
        return content;
    }
}

}  // namespace xpack
