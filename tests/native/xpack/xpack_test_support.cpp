#include "xpack_test_support.h"

#include "payload_writer.h"
#include "pe_image.h"
#include "szdd/szdd.h"

#include <gtest/gtest.h>
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
    std::string command = shellPrefix + Quote(XPACK_PROGRAM);
    for (const std::string &arg : args)
        command += " " + Quote(arg);
    return RunShell(command);
}

RunResult RunShell(const std::string &command)
{
    ScratchDir capture;
    std::string line = "{ " + command + "\n} >" + Quote((capture / "out").string()) + " 2>" +
                       Quote((capture / "err").string());
    int raw = std::system(line.c_str());
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

Bytes CompressedText(const ScratchDir &dir, const std::string &text)
{
    WriteFile(dir / "in.txt", text);
    RunResult run = RunXpack({"compress", (dir / "in.txt").string(), (dir / "in.sz").string()});
    EXPECT_EQ(run.status, 0) << run.err;
    return ReadFile(dir / "in.sz");
}

Bytes Stored(const std::string &text)
{
    return szdd::Compress(Bytes(text.begin(), text.end()));
}

Bytes SamplePayload()
{
    Bytes payload;
    xpack::AppendEntry(payload, "Addins\\", true, {});
    xpack::AppendEntry(payload, "A.DLL", false, Stored(std::string(1000, 'a')));
    xpack::AppendEntry(payload, "Addins\\Sub\\", true, {});
    xpack::AppendEntry(payload, "R.HTM", false, Stored("<html>"));
    return payload;
}

Bytes MakeExecutable(const Bytes &data, const std::string &type, const std::string &name)
{
    const std::uint32_t sectionRva = 0x1000, sectionFile = 0x200;
    const std::uint32_t dirFlag = pe::kResourceHighBit;
    // Resource section: root (one named, one id entry), name level, language
    // level, data entry, the two names, then the data.
    const std::uint32_t root = 0, names = 32, languages = 56, dataEntry = 80, typeString = 96;
    const std::uint32_t nameString = typeString + 2 + 2 * static_cast<std::uint32_t>(type.size());
    std::uint32_t dataAt = nameString + 2 + 2 * static_cast<std::uint32_t>(name.size());
    dataAt = (dataAt + 7) & ~7u;
    const std::uint32_t rawSize = dataAt + static_cast<std::uint32_t>(data.size());

    Bytes image(sectionFile + rawSize, 0);
    image[0] = 'M';
    image[1] = 'Z';
    const std::size_t fileHeader = pe::kDosHeaderSize + 4;
    const std::size_t optional = fileHeader + pe::kFileHeaderSize;
    const std::uint32_t optionalSize = 224;
    Put32(image, pe::kLfanewOffset, pe::kDosHeaderSize);
    Put32(image, pe::kDosHeaderSize, pe::kPeSignature);
    Put16(image, fileHeader, 0x14C);  // i386
    Put16(image, fileHeader + pe::kSectionCountOffset, 1);
    Put16(image, fileHeader + pe::kOptionalSizeOffset, optionalSize);
    Put16(image, fileHeader + 18, 0x0102);  // characteristics: executable, 32-bit
    Put16(image, optional, pe::kPe32Magic);
    Put32(image, optional + pe::kDirectoryCountOffset, 16);
    const std::size_t resources =
        optional + pe::kDataDirectoriesOffset + pe::kResourceDirectory * pe::kDataDirectorySize;
    Put32(image, resources, sectionRva);
    Put32(image, resources + 4, rawSize);
    const std::size_t section = optional + optionalSize;
    std::copy_n(".rsrc", 5, image.begin() + static_cast<std::ptrdiff_t>(section));
    Put32(image, section + pe::kVirtualSizeOffset, rawSize);
    Put32(image, section + pe::kVirtualAddressOffset, sectionRva);
    Put32(image, section + pe::kRawSizeOffset, rawSize);
    Put32(image, section + pe::kRawPointerOffset, sectionFile);

    const std::size_t r = sectionFile;
    Put16(image, r + root + pe::kResourceNamedCountOffset, 1);
    Put16(image, r + root + pe::kResourceIdCountOffset, 1);
    Put32(image, r + root + 16, dirFlag | typeString);
    Put32(image, r + root + 20, dirFlag | names);
    Put32(image, r + root + 24, 3);  // an icon type, never followed
    Put32(image, r + root + 28, dirFlag | names);
    Put16(image, r + names + pe::kResourceNamedCountOffset, 1);
    Put32(image, r + names + 16, dirFlag | nameString);
    Put32(image, r + names + 20, dirFlag | languages);
    Put16(image, r + languages + pe::kResourceIdCountOffset, 1);
    Put32(image, r + languages + 16, 1033);
    Put32(image, r + languages + 20, dataEntry);
    Put32(image, r + dataEntry, sectionRva + dataAt);
    Put32(image, r + dataEntry + 4, static_cast<std::uint32_t>(data.size()));
    auto putString = [&](std::uint32_t at, const std::string &s) {
        Put16(image, r + at, static_cast<std::uint32_t>(s.size()));
        for (std::size_t i = 0; i < s.size(); ++i)
            Put16(image, r + at + 2 + 2 * i, static_cast<unsigned char>(s[i]));
    };
    putString(typeString, type);
    putString(nameString, name);
    std::copy(data.begin(), data.end(), image.begin() + static_cast<std::ptrdiff_t>(r + dataAt));
    return image;
}

}  // namespace xpack_test
