#include "xpack_test_support.h"

#include "pe_image.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

namespace xpack_test {

using pe::Put16;
using pe::Put32;

namespace {

std::string Quote(const std::string &arg)
{
    std::string quoted = "'";
    for (char c : arg)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string ReadText(const fs::path &path)
{
    Bytes data = ReadFile(path);
    return std::string(data.begin(), data.end());
}

}  // namespace

RunResult RunXpack(const std::vector<std::string> &args, const std::string &shellPrefix)
{
    ScratchDir capture;
    std::string command = shellPrefix + Quote(XPACK_PROGRAM);
    for (const std::string &arg : args)
        command += " " + Quote(arg);
    command += " >" + Quote((capture / "out").string()) + " 2>" + Quote((capture / "err").string());
    int raw = std::system(command.c_str());
    RunResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = ReadText(capture / "out");
    result.err = ReadText(capture / "err");
    return result;
}

std::vector<std::string> Names(const fs::path &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::pair<std::string, Bytes>> Snapshot(const fs::path &root)
{
    std::vector<std::pair<std::string, Bytes>> items;
    for (const auto &entry : fs::recursive_directory_iterator(root)) {
        std::string relative = fs::relative(entry.path(), root).string();
        if (entry.is_directory())
            items.emplace_back(relative + "/", Bytes());
        else
            items.emplace_back(relative, ReadFile(entry.path()));
    }
    std::sort(items.begin(), items.end());
    return items;
}

Bytes MakeExecutable(const Bytes &data, const std::string &type, const std::string &name)
{
    const std::uint32_t sectionRva = 0x1000, sectionFile = 0x200;
    const std::uint32_t dirFlag = 0x80000000u;
    // Resource section: root (one named, one id entry), name level, language
    // level, data entry, the two names, then the data.
    const std::uint32_t root = 0, names = 32, languages = 56, dataEntry = 80, typeString = 96;
    const std::uint32_t nameString = typeString + 2 + 2 * static_cast<std::uint32_t>(type.size());
    std::uint32_t dataAt = nameString + 2 + 2 * static_cast<std::uint32_t>(name.size());
    dataAt = (dataAt + 7) & ~7u;
    const std::uint32_t rawSize = dataAt + static_cast<std::uint32_t>(data.size());

    Bytes pe(sectionFile + rawSize, 0);
    pe[0] = 'M';
    pe[1] = 'Z';
    Put32(pe, 0x3C, 0x40);
    Put32(pe, 0x40, 0x00004550);
    Put16(pe, 0x44, 0x14C);  // i386
    Put16(pe, 0x46, 1);      // one section
    Put16(pe, 0x54, 224);    // optional header size
    Put16(pe, 0x56, 0x0102);
    const std::size_t optional = 0x58;
    Put16(pe, optional, 0x10B);  // PE32
    Put32(pe, optional + 92, 16);
    Put32(pe, optional + 96 + 16, sectionRva);
    Put32(pe, optional + 96 + 20, rawSize);
    const std::size_t section = optional + 224;
    std::copy_n(".rsrc", 5, pe.begin() + static_cast<std::ptrdiff_t>(section));
    Put32(pe, section + 8, rawSize);
    Put32(pe, section + 12, sectionRva);
    Put32(pe, section + 16, rawSize);
    Put32(pe, section + 20, sectionFile);

    const std::size_t r = sectionFile;
    Put16(pe, r + root + 12, 1);
    Put16(pe, r + root + 14, 1);
    Put32(pe, r + root + 16, dirFlag | typeString);
    Put32(pe, r + root + 20, dirFlag | names);
    Put32(pe, r + root + 24, 3);  // an icon type, never followed
    Put32(pe, r + root + 28, dirFlag | names);
    Put16(pe, r + names + 12, 1);
    Put32(pe, r + names + 16, dirFlag | nameString);
    Put32(pe, r + names + 20, dirFlag | languages);
    Put16(pe, r + languages + 14, 1);
    Put32(pe, r + languages + 16, 1033);
    Put32(pe, r + languages + 20, dataEntry);
    Put32(pe, r + dataEntry, sectionRva + dataAt);
    Put32(pe, r + dataEntry + 4, static_cast<std::uint32_t>(data.size()));
    auto putString = [&](std::uint32_t at, const std::string &s) {
        Put16(pe, r + at, static_cast<std::uint32_t>(s.size()));
        for (std::size_t i = 0; i < s.size(); ++i)
            Put16(pe, r + at + 2 + 2 * i, static_cast<unsigned char>(s[i]));
    };
    putString(typeString, type);
    putString(nameString, name);
    std::copy(data.begin(), data.end(), pe.begin() + static_cast<std::ptrdiff_t>(r + dataAt));
    return pe;
}

}  // namespace xpack_test
