// Feeds arbitrary bytes to the SZDD decoder in both length modes, and checks
// what the modes promise about each other. Short inputs also go through the
// compressor, whose output must expand back to them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "szdd/szdd.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::vector<std::uint8_t> strict, lenient;
    std::string error;
    const bool strictOk = szdd::Expand(data, size, strict, error, szdd::LengthCheck::Strict);
    Check(strictOk || !error.empty());
    error.clear();
    const bool lenientOk = szdd::Expand(data, size, lenient, error, szdd::LengthCheck::Lenient);
    if (strictOk) {
        szdd::Header header;
        Check(szdd::ReadHeader(data, size, header, error));
        Check(strict.size() == header.expandedLength);
        // A stream good by the strict rule is one the lenient rule reads alike.
        Check(lenientOk && lenient == strict);
    }
    if (lenientOk) {
        // Whatever strict mode gave before it stopped is a prefix of this.
        Check(strict.size() <= lenient.size());
        for (std::size_t i = 0; i < strict.size(); ++i)
            Check(strict[i] == lenient[i]);
    }

    if (size <= 4096) {
        const std::vector<std::uint8_t> packed = szdd::Compress(data, size);
        std::vector<std::uint8_t> back;
        Check(szdd::Expand(packed, back, error) && back == std::vector<std::uint8_t>(data, data + size));
    }
    return 0;
}
