// Compresses data with our codec and expands it with the platform's LZ32,
// which must give the original bytes.
// Usage: lz32_expand_test generated | binaries | lenient
#include <windows.h>
#include <lzexpand.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "check.h"
#include "folders.h"
#include "szdd/szdd.h"

namespace {

using driver::Bytes;

// Expands the SZDD file src into dst with LZOpenFileA/LZCopy/LZClose.
// Returns LZCopy's byte count, or a negative LZ error.
LONG ExpandWithLz32(const std::string &src, const std::string &dst)
{
    OFSTRUCT srcOf = {}, dstOf = {};
    INT in = LZOpenFileA(const_cast<char *>(src.c_str()), &srcOf, OF_READ);
    if (in < 0)
        return in;
    INT out = LZOpenFileA(const_cast<char *>(dst.c_str()), &dstOf, OF_CREATE);
    if (out < 0) {
        LZClose(in);
        return out;
    }
    const LONG copied = LZCopy(in, out);
    LZClose(out);
    LZClose(in);
    return copied;
}

// Runs a stream through LZ32 and returns what it wrote; a failure is a
// failed check.
bool PlatformExpand(const std::string &what, const Bytes &stream, Bytes &out)
{
    driver::ScratchFolder scratch("lz32");
    const std::string src = scratch.path() + "\\szdd_in._", dst = scratch.path() + "\\szdd_out.bin";
    if (!CHECK(driver::WriteFileBytes(src, stream), what + ": write " + src))
        return false;
    const LONG copied = ExpandWithLz32(src, dst);
    if (!CHECK(copied >= 0, what + ": LZ error " + std::to_string(copied)) ||
        !CHECK(driver::Exists(dst), what + ": LZ32 wrote " + dst))
        return false;
    out = driver::ReadFileBytes(dst);
    return CHECK(static_cast<std::size_t>(copied) == out.size(),
                 what + ": LZCopy reported " + std::to_string(copied) + " bytes, wrote " +
                     std::to_string(out.size()));
}

void CheckRoundTrip(const std::string &what, const Bytes &data)
{
    Bytes out;
    if (!PlatformExpand(what, szdd::Compress(data), out))
        return;
    std::size_t at = 0;
    while (at < out.size() && at < data.size() && out[at] == data[at])
        ++at;
    CHECK(out == data,
          what + ": differs at byte " + std::to_string(at) + " of " + std::to_string(data.size()));
}

Bytes Random(std::size_t size, const std::string &alphabet, unsigned seed)
{
    std::mt19937 gen(seed);
    Bytes out(size);
    for (auto &b : out)
        b = alphabet.empty() ? static_cast<std::uint8_t>(gen())
                             : static_cast<std::uint8_t>(alphabet[gen() % alphabet.size()]);
    return out;
}

void Generated()
{
    CheckRoundTrip("empty", {});
    CheckRoundTrip("one byte", {'Z'});
    CheckRoundTrip("run of x", Bytes(70000, 'x'));
    CheckRoundTrip("run of spaces", Bytes(70000, ' '));
    const std::string text = "   leading spaces and      inner      spaces   ";
    CheckRoundTrip("text with spaces", Bytes(text.begin(), text.end()));
    CheckRoundTrip("small alphabet", Random(50000, " ab", 1));
    CheckRoundTrip("random", Random(50000, "", 2));
    for (std::size_t block : {4095u, 4096u, 4097u}) {
        const Bytes one = Random(block, "", static_cast<unsigned>(block));
        Bytes data;
        for (int i = 0; i < 4; ++i)
            data.insert(data.end(), one.begin(), one.end());
        CheckRoundTrip("repeats at distance " + std::to_string(block), data);
    }
}

void Binaries()
{
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
    std::vector<std::string> files;
    if (n > 0 && n < sizeof self)
        files.push_back(self);
    char system[MAX_PATH];
    UINT m = GetSystemDirectoryA(system, sizeof system);
    if (m > 0 && m < sizeof system) {
        for (const char *name : {"kernel32.dll", "user32.dll", "comctl32.dll", "lz32.dll"})
            files.push_back(std::string(system) + "\\" + name);
    }
    for (const auto &file : files) {
        Bytes data = driver::ReadFileBytes(file);
        if (CHECK(!data.empty(), "read " + file))
            CheckRoundTrip(file, data);
    }
}

// The platform ignores the header's length; our lenient mode must give the
// same bytes when it disagrees with the body.
void Lenient()
{
    const Bytes data = Random(9000, " abc", 3);
    const Bytes good = szdd::Compress(data);
    for (std::uint32_t claimed : {0u, 1u, 8999u, 9001u, 0xFFFFFFFFu}) {
        Bytes stream = good;
        for (int i = 0; i < 4; ++i)
            stream[szdd::kLengthOffset + i] = static_cast<std::uint8_t>(claimed >> (8 * i));
        const std::string what = "header claims " + std::to_string(claimed);
        Bytes platform, ours;
        std::string error;
        if (!PlatformExpand(what, stream, platform) ||
            !CHECK(szdd::Expand(stream, ours, error, szdd::LengthCheck::Lenient),
                   what + ": lenient expand refused: " + error))
            continue;
        CHECK(platform == ours && ours == data, what + ": " + std::to_string(platform.size()) +
                                                    " bytes from LZ32, " + std::to_string(ours.size()) +
                                                    " from ours");
    }
}

}  // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "generated")
        Generated();
    else if (mode == "binaries")
        Binaries();
    else if (mode == "lenient")
        Lenient();
    else {
        std::fprintf(stderr, "usage: lz32_expand_test generated|binaries|lenient\n");
        return 2;
    }
    return check::Finish();
}
