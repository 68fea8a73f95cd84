// Builds a payload in memory: entries of zero-terminated names, each file
// name followed by a 32-bit little-endian length and the file's SZDD data.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "file_io.h"
#include "payload_format.h"
#include "tree_walk.h"

namespace xpack {

// The largest payload the setup program's progress bar can count.
inline constexpr std::size_t kPayloadLimit = PAYLOAD_SIZE_LIMIT;

// Why a payload of kPayloadLimit bytes or more is refused, for messages.
inline std::string PayloadLimitReason()
{
    return "it must stay below " + std::to_string(kPayloadLimit) +
           " bytes for the setup program's progress bar";
}

// Appends one entry to payload. data is the stored (already compressed)
// content of a file entry and is ignored for a directory.
void AppendEntry(Bytes &payload, const std::string &name, bool isDirectory, const Bytes &data);

// The payload for the walked items, file contents compressed to SZDD and
// read as TreeReader reads them. Throws Error naming output once the
// payload reaches kPayloadLimit bytes.
Bytes BuildPayload(const TreeWalk &walk, const std::string &output);

}  // namespace xpack
