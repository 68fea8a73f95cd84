// Compresses a fixed selection of real files (Wine's 32-bit DLLs, HTML and
// text documentation, JPEG and PNG images) with our codec and with
// mscompress, and prints sizes and speeds file by file with totals. Files
// where ours comes out larger are marked. Speeds are input bytes per second
// of this thread's CPU time, so that other work on the machine does not
// skew them. Exit status 1 if any of our streams fails to expand back to
// its file.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "szdd/szdd.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct Source {
    const char *dir;
    std::vector<std::string> extensions;
    std::size_t count;
    std::uintmax_t minSize, maxSize;
};

// Every count-th match of the sorted list, so the pick is the same on every
// run on the same machine and spreads over the folder.
std::vector<fs::path> Pick(const Source &source)
{
    std::vector<fs::path> all;
    std::error_code ec;
    for (auto it =
             fs::recursive_directory_iterator(source.dir, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        if (!it->is_regular_file(ec) || it->is_symlink(ec))
            continue;
        std::string ext = it->path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
        if (std::find(source.extensions.begin(), source.extensions.end(), ext) == source.extensions.end())
            continue;
        const auto size = it->file_size(ec);
        if (!ec && size >= source.minSize && size <= source.maxSize)
            all.push_back(it->path());
    }
    std::sort(all.begin(), all.end());
    std::vector<fs::path> picked;
    const std::size_t n = std::min(source.count, all.size());
    for (std::size_t i = 0; i < n; ++i)
        picked.push_back(all[i * all.size() / n]);
    return picked;
}

std::vector<fs::path> DefaultCorpus()
{
    const Source sources[] = {
        {"/usr/lib/i386-linux-gnu/wine/i386-windows", {".dll"}, 24, 20 * 1024, 3 * 1024 * 1024},
        {"/usr/share/doc", {".html", ".htm"}, 10, 4 * 1024, 1024 * 1024},
        {"/usr/share/doc", {".txt"}, 6, 8 * 1024, 1024 * 1024},
        {"/usr/share", {".jpg", ".jpeg"}, 4, 2 * 1024, 4 * 1024 * 1024},
        {"/usr/share", {".png"}, 8, 8 * 1024, 4 * 1024 * 1024},
    };
    std::vector<fs::path> files;
    for (const auto &source : sources) {
        const auto picked = Pick(source);
        files.insert(files.end(), picked.begin(), picked.end());
    }
    return files;
}

std::optional<Bytes> ReadFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

class ScratchDir {
public:
    ScratchDir()
    {
        std::string pattern = (fs::temp_directory_path() / "szdd-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        if (!path_.empty())
            fs::remove_all(path_, ignored);
    }
    const fs::path &path() const { return path_; }

private:
    fs::path path_;
};

bool HaveMscompress()
{
    return std::system("command -v mscompress >/dev/null 2>&1") == 0;
}

// mscompress writes NAME_ next to NAME.
std::optional<std::uintmax_t> MscompressSize(const fs::path &file, const fs::path &scratch)
{
    const fs::path copy = scratch / "input.bin";
    std::error_code ec;
    fs::remove(scratch / "input.bin_", ec);
    fs::copy_file(file, copy, fs::copy_options::overwrite_existing, ec);
    if (ec)
        return std::nullopt;
    const std::string command = "cd '" + scratch.string() + "' && mscompress input.bin >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        return std::nullopt;
    const auto size = fs::file_size(scratch / "input.bin_", ec);
    if (ec)
        return std::nullopt;
    return size;
}

double CpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double MBps(std::uintmax_t bytes, double seconds)
{
    return seconds > 0 ? static_cast<double>(bytes) / seconds / 1e6 : 0.0;
}

std::string Shorten(const std::string &s, std::size_t width)
{
    return s.size() <= width ? s : "..." + s.substr(s.size() - (width - 3));
}

}  // namespace

int main(int argc, char **argv)
{
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i)
        files.emplace_back(argv[i]);
    if (files.empty())
        files = DefaultCorpus();
    if (files.empty()) {
        std::fprintf(stderr, "szdd_bench: no files to measure\n");
        return 1;
    }
    const bool peer = HaveMscompress();
    ScratchDir scratch;
    if (scratch.path().empty()) {
        std::fprintf(stderr, "szdd_bench: cannot make a scratch directory\n");
        return 1;
    }

    std::printf("%-46s %10s %10s %10s %7s %9s %9s\n", "file", "size", "ours", "mscompress", "ours%",
                "comp MB/s", "exp MB/s");
    std::uintmax_t totalIn = 0, totalOurs = 0, totalPeer = 0, peerIn = 0, larger = 0;
    double compressTime = 0, expandTime = 0;
    bool failed = false;
    for (const auto &file : files) {
        const auto data = ReadFile(file);
        if (!data) {
            std::printf("%-46s cannot read\n", Shorten(file.string(), 46).c_str());
            failed = true;
            continue;
        }
        double start = CpuSeconds();
        const Bytes packed = szdd::Compress(*data);
        const double c = CpuSeconds() - start;

        // Expansion is fast; repeat it for a measurable time.
        Bytes back;
        std::string error;
        bool ok = true;
        int rounds = 0;
        start = CpuSeconds();
        double e = 0;
        do {
            ok = szdd::Expand(packed, back, error) && ok;
            ++rounds;
            e = CpuSeconds() - start;
        } while (e < 0.02 && rounds < 1000);
        e /= rounds;
        ok = ok && back == *data;
        failed = failed || !ok;

        const auto peerSize = peer ? MscompressSize(file, scratch.path()) : std::nullopt;
        const bool worse = peerSize && packed.size() > *peerSize;
        larger += worse;
        totalIn += data->size();
        totalOurs += packed.size();
        if (peerSize) {
            totalPeer += *peerSize;
            peerIn += packed.size();
        }
        compressTime += c;
        expandTime += e;
        const std::string peerText = peerSize ? std::to_string(*peerSize) : "-";
        std::printf("%-46s %10zu %10zu %10s %6.1f%% %9.1f %9.1f%s%s\n", Shorten(file.string(), 46).c_str(),
                    data->size(), packed.size(), peerText.c_str(),
                    data->empty() ? 100.0 : 100.0 * packed.size() / data->size(), MBps(data->size(), c),
                    MBps(data->size(), e), worse ? "  * larger than mscompress" : "",
                    ok ? "" : "  ! does not expand back");
    }
    std::printf("\n%zu files, %ju bytes\n", files.size(), totalIn);
    std::printf("ours:       %ju bytes (%.2f%%)\n", totalOurs, totalIn ? 100.0 * totalOurs / totalIn : 0.0);
    if (peer)
        std::printf("mscompress: %ju bytes; ours is %.2f%% of it; files where ours is larger: %ju\n",
                    totalPeer, totalPeer ? 100.0 * peerIn / totalPeer : 0.0, larger);
    else
        std::printf("mscompress: not on PATH\n");
    std::printf("compression %.1f MB/s, expansion %.1f MB/s (one core, CPU time)\n",
                MBps(totalIn, compressTime), MBps(totalIn, expandTime));
    return failed ? 1 : 0;
}
