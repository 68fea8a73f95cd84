// Walks a payload (with the same cursor as the setup program) and finds
// the payload inside a setup executable.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "file_io.h"
#include "payload_format.h"

namespace xpack {

// The setup program's payload resource, as the program looks it up; names
// are matched without regard to case, and resource compilers store them in
// upper case.
inline constexpr const char *kPayloadResourceType = PAYLOAD_RESOURCE_TYPE;
inline constexpr const char *kPayloadResourceName = PAYLOAD_RESOURCE_NAME;

struct ReadEntry {
    std::string name;
    bool isDirectory = false;
    std::size_t offset = 0;              // where the entry starts in the payload
    const std::uint8_t *data = nullptr;  // file entries: the stored bytes
    std::size_t dataLength = 0;
};

// Every entry of payload, in order. Throws Error starting with label and
// naming the entry and the fault for a malformed payload. The entries point
// into payload.
std::vector<ReadEntry> ReadPayload(const Bytes &payload, const std::string &label);

// What the setup program takes as the top folder.
std::string TopFolderOf(const Bytes &payload);

// The payload held by a file's content: the content itself, or for a setup
// executable its TEXT/XPackArchive resource. A file starting "MZ" that is
// no well-formed executable is still taken as a payload when it reads as
// one; otherwise the executable's fault is reported.
Bytes PayloadOfFile(const Bytes &content, const std::string &label);

}  // namespace xpack
