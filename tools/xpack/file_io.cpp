#include "file_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <system_error>

#include "error.h"

namespace xpack {

namespace fs = std::filesystem;

std::string Shown(const fs::path &path) { return path.string(); }

namespace {

std::string SystemReason() { return std::strerror(errno); }

}  // namespace

Bytes ReadWholeFile(const fs::path &path)
{
    std::error_code ec;
    fs::file_status status = fs::status(path, ec);
    if (ec)
        throw Error(Shown(path) + ": " + ec.message());
    if (fs::is_directory(status))
        throw Error(Shown(path) + ": is a directory");
    if (!fs::is_regular_file(status))
        throw Error(Shown(path) + ": not a regular file");

    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        throw Error(Shown(path) + ": cannot open: " + SystemReason());
    Bytes data;
    std::uint8_t buffer[65536];
    for (;;) {
        std::size_t got = std::fread(buffer, 1, sizeof buffer, file);
        data.insert(data.end(), buffer, buffer + got);
        if (got < sizeof buffer)
            break;
    }
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        throw Error(Shown(path) + ": read error");
    return data;
}

void WriteFileAtomically(const fs::path &path, const Bytes &data)
{
    std::error_code ec;
    if (fs::is_directory(path, ec))
        throw Error(Shown(path) + ": is a directory");

    // The temporary name lives in the target's folder so that the rename
    // stays on one file system and is atomic.
    std::random_device seed;
    fs::path temp = path;
    temp += ".xpack-" + std::to_string(seed() % 1000000) + ".tmp";

    std::FILE *file = std::fopen(temp.c_str(), "wbx");
    if (!file)
        throw Error(Shown(path) + ": cannot create: " + SystemReason());
    bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), file) == data.size();
    ok = std::fflush(file) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        std::string reason = SystemReason();
        fs::remove(temp, ec);
        throw Error(Shown(path) + ": write error: " + reason);
    }
    fs::rename(temp, path, ec);
    if (ec) {
        std::string reason = ec.message();
        fs::remove(temp, ec);
        throw Error(Shown(path) + ": cannot replace: " + reason);
    }
}

}  // namespace xpack
