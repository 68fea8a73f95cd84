// Reads one resource straight from the bytes of a PE (Windows executable)
// file, on any host. Every read is bounds-checked against the file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace xpack {

// Whether data starts like an executable ("MZ").
bool HasExecutableSignature(const std::uint8_t *data, std::size_t size);

// The data of the resource with the string type and string name, both
// compared without regard to ASCII case (resource compilers store them in
// upper case), in its first language. Throws Error, its text starting with
// label, for a file that is not a well-formed PE or lacks the resource.
std::vector<std::uint8_t> ReadNamedResource(const std::uint8_t *data, std::size_t size,
                                            const std::string &type, const std::string &name,
                                            const std::string &label);

}  // namespace xpack
