#include "szdd_test_support.h"

#include <mspack.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace szdd_test {

std::optional<Bytes> ExpandWithMspack(const Bytes &szdd)
{
    ScratchDir dir;
    const fs::path in = dir.path() / "in._", out = dir.path() / "out";
    WriteFile(in, szdd);
    msszdd_decompressor *d = mspack_create_szdd_decompressor(nullptr);
    if (!d)
        throw std::runtime_error("libmspack: no SZDD decompressor");
    const int rc = d->decompress(d, in.c_str(), out.c_str());
    mspack_destroy_szdd_decompressor(d);
    if (rc != MSPACK_ERR_OK)
        return std::nullopt;
    return ReadFile(out);
}

std::optional<std::size_t> MscompressSize(const Bytes &data)
{
    static const bool present = std::system("command -v mscompress >/dev/null 2>&1") == 0;
    if (!present)
        return std::nullopt;
    ScratchDir dir;
    const fs::path in = dir.path() / "data.bin";
    WriteFile(in, data);
    const std::string command = "cd '" + dir.path().string() + "' && mscompress data.bin >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        return std::nullopt;
    std::error_code ec;
    const auto size = fs::file_size(dir.path() / "data.bin_", ec);
    if (ec)
        return std::nullopt;
    return static_cast<std::size_t>(size);
}

std::vector<fs::path> SampleBinaries(std::size_t count, std::uintmax_t maxSize)
{
    const fs::path dir = "/usr/lib/i386-linux-gnu/wine/i386-windows";
    std::vector<std::pair<std::uintmax_t, fs::path>> found;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(dir, ec)) {
        if (!entry.is_regular_file(ec) || entry.path().extension() != ".dll")
            continue;
        const auto size = entry.file_size(ec);
        if (!ec && size >= 16 * 1024 && size <= maxSize)
            found.emplace_back(size, entry.path());
    }
    std::sort(found.begin(), found.end());
    std::vector<fs::path> out;
    // Spread the picks over the size range rather than taking the smallest.
    for (std::size_t i = 0; i < count && !found.empty(); ++i) {
        const auto &pick = found[i * (found.size() - 1) / std::max<std::size_t>(count - 1, 1)];
        if (out.empty() || out.back() != pick.second)
            out.push_back(pick.second);
    }
    return out;
}

}  // namespace szdd_test
