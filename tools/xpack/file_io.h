// Whole-file reads and all-or-nothing writes.
#pragma once
#include <cstdint>
#include <filesystem>
#include <vector>

namespace xpack {

using Bytes = std::vector<std::uint8_t>;

// The file's whole content; throws Error naming the file when it cannot be
// read. Refuses anything but a regular file.
Bytes ReadWholeFile(const std::filesystem::path &path);

// Writes data to a temporary file beside path and renames it into place, so
// that path either keeps its old content or gets all of data.
void WriteFileAtomically(const std::filesystem::path &path, const Bytes &data);

// The path as the user wrote it, for messages.
std::string Shown(const std::filesystem::path &path);

}  // namespace xpack
