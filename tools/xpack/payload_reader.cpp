#include "payload_reader.h"

#include "error.h"
#include "payload_cursor.h"
#include "payload_format.h"
#include "pe_resource.h"
#include "szdd/szdd.h"

namespace xpack {

namespace {

std::string FaultText(const PayloadEntry &entry, const std::uint8_t *end)
{
    switch (entry.fault) {
    case ENTRY_EMPTY_NAME:
        return "empty name";
    case ENTRY_NAME_UNTERMINATED:
        return "name without a terminator before the end";
    case ENTRY_LENGTH_CUT:
        return "file length field runs past the end";
    case ENTRY_DATA_CUT:
        return "file length " + std::to_string(entry.dataLength) + " runs past the end (" +
               std::to_string(end - entry.data) + " bytes left)";
    case ENTRY_SOUND:
        break;
    }
    return "unreadable entry";
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
                        " at offset " + std::to_string(cursor - start) + ": " + FaultText(entry, end));
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
    char top[TOP_FOLDER_MAX + 1];
    CopyTopFolder(payload.data(), payload.data() + payload.size(), top, TOP_FOLDER_MAX);
    return top;
}

Bytes PayloadOfFile(const Bytes &content, const std::string &label)
{
    if (!HasExecutableSignature(content.data(), content.size()))
        return content;
    try {
        return ReadNamedResource(content.data(), content.size(), kPayloadResourceType, kPayloadResourceName,
                                 label);
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
