// Reads resources straight from the bytes of a PE (Windows executable)
// file, on any system. Every read is bounds-checked against the file.
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

// One resource: its type, name and language as the three levels of the
// tree key it, as pe::KeyText prints them, and its data.
struct Resource {
    std::string type;
    std::string name;
    std::string language;
    std::vector<std::uint8_t> data;
};

// Every resource of the file, in the order the tree holds them. Throws
// Error as ReadNamedResource does, also for a tree whose entries lead to
// more data than the file holds (entries sharing their data over and over).
std::vector<Resource> ReadResources(const std::uint8_t *data, std::size_t size, const std::string &label);

}  // namespace xpack
