// The platform-free part of file_io.h.
#include "file_io.h"

#include <random>

#include "names.h"

namespace xpack {

namespace fs = std::filesystem;

std::string Shown(const fs::path &path)
{
    return Printable(path.string());
}

std::string TemporaryName()
{
    static const char kHex[] = "0123456789abcdef";
    std::random_device seed;
    std::uint32_t value = seed();
    std::string name = ".xpk";
    for (int shift = 28; shift >= 0; shift -= 4)
        name += kHex[(value >> shift) & 15];
    return name;
}

}  // namespace xpack
