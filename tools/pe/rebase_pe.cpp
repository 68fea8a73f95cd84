// rebase-pe IN OUT NEWBASE
//
// Writes to OUT the image IN as the loader maps it at NEWBASE (decimal, or
// hexadecimal with 0x), with NEWBASE recorded as its preferred base and the
// checksum set. A loader that finds the preferred base free applies no
// relocations, so the copy shows under any loader what a word without a
// fixup does when Windows places the image at a random base: it still holds
// an address in the old place.
#include "base_relocations.h"
#include "pe_checksum.h"

#include <iostream>
#include <string>

namespace {

std::uint32_t ParseBase(const std::string &text)
{
    std::size_t used = 0;
    unsigned long long value = 0;
    try {
        value = std::stoull(text, &used, 0);
    } catch (const std::exception &) {
        used = 0;
    }
    if (text.empty() || used != text.size() || text[0] == '-' || value > 0xFFFFFFFFull)
        throw std::runtime_error("NEWBASE " + text + " is not a 32-bit number");
    return std::uint32_t(value);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::cerr << "usage: rebase-pe IN OUT NEWBASE\n";
        return 2;
    }
    const std::string in = argv[1], out = argv[2];
    std::string failed;  // the file that an error concerns
    try {
        const std::uint32_t base = ParseBase(argv[3]);
        failed = in;
        pe::Bytes image = pe::ReadImageFile(in);
        pe::Rebase(image, base);
        pe::UpdateCheckSum(image);
        failed = out;
        pe::WriteImageFile(out, image);
    } catch (const std::exception &error) {
        std::cerr << "rebase-pe: " << (failed.empty() ? "" : failed + ": ") << error.what() << '\n';
        return 1;
    }
    return 0;
}
