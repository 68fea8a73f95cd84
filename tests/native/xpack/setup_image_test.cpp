// xpack setup: a setup program from a stub and a folder or payload. The stub
// is the CorvaneSetup-stub.exe that the Win32 tree links.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

#include "pe_resource.h"
#include "setup_image.h"
#include "payload_writer.h"
#include "pe_image.h"
#include "szdd/szdd.h"
#include "xpack_test_support.h"

using namespace xpack_test;
using pe::Put32;

namespace {

const fs::path kStub = SETUP_STUB;

std::uint32_t Get32(const Bytes &b, std::size_t at)
{
    return pe::Reader(b).U32(at);
}

// Where things are in a PE32 image's headers.
struct Headers {
    explicit Headers(const Bytes &b)
        : headers(pe::ReadHeaders(pe::Reader(b))), sections(pe::ReadSections(pe::Reader(b), headers))
    {
    }
    std::size_t Directory(std::size_t index) const
    {
        return headers.directories + pe::kDataDirectorySize * index;
    }
    const pe::Section &Section(const std::string &name) const
    {
        for (const pe::Section &s : sections)
            if (s.name == name)
                return s;
        throw std::runtime_error("the stub has no section " + name);
    }
    pe::Headers headers;
    std::vector<pe::Section> sections;
};

std::map<std::string, Bytes> Resources(const Bytes &image)
{
    std::map<std::string, Bytes> map;
    for (xpack::Resource &r : xpack::ReadResources(image.data(), image.size(), "image"))
        map[r.type + "/" + r.name + "/" + r.language] = std::move(r.data);
    return map;
}

const std::string kPayloadKey = "TEXT/XPACKARCHIVE/#1033";

void MakeTree(const fs::path &root)
{
    WriteFile(root / "Top" / "a.txt", "alpha\r\n");
    WriteFile(root / "Top" / "Sub" / "b.bin", RandomBytes(30000, 3));
}

}  // namespace

// The resource section is rebuilt as the resource compiler lays it out, so
// the stub given its own empty payload comes back byte for byte, and so
// does a setup given the stub's; the result takes the payload rounded up to
// the file alignment and no more.
TEST(Setup, RebuildsTheLinkersLayout)
{
    Bytes stub = ReadFile(kStub);
    xpack::SetupStub fromStub(stub, "stub");
    EXPECT_EQ(fromStub.WithPayload({}, "payload"), stub);

    Bytes payload = RandomBytes(100001, 9);
    Bytes setup = fromStub.WithPayload(payload, "payload");
    EXPECT_EQ(setup, fromStub.WithPayload(payload, "payload"));
    EXPECT_EQ(xpack::SetupStub(setup, "setup").WithPayload({}, "payload"), stub);
    EXPECT_EQ(setup.size() % 512, 0u);
    EXPECT_LT(setup.size(), stub.size() + payload.size() + 512);
}

// From a folder and from the payload that pack makes of it, the same
// setup; every resource but the payload as the stub has it; list and
// unpack read it back; the output is executable, or keeps the mode of the
// file it replaces.
TEST(Setup, FolderOrPayloadRoundTrip)
{
    ScratchDir dir;
    MakeTree(dir / "tree");
    ASSERT_EQ(RunXpack({"pack", (dir / "tree").string(), "-o", (dir / "payload.bin").string()}).status, 0);
    RunResult run = RunXpack(
        {"setup", (dir / "tree").string(), "--stub", kStub.string(), "-o", (dir / "a.exe").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    WriteFile(dir / "b.exe", "old");
    fs::permissions(dir / "b.exe", fs::perms::owner_read | fs::perms::owner_write);
    run = RunXpack(
        {"setup", (dir / "payload.bin").string(), "--stub", kStub.string(), "-o", (dir / "b.exe").string()});
    ASSERT_EQ(run.status, 0) << run.err;

    Bytes setup = ReadFile(dir / "a.exe");
    EXPECT_EQ(setup, ReadFile(dir / "b.exe"));
    std::map<std::string, Bytes> before = Resources(ReadFile(kStub)), after = Resources(setup);
    ASSERT_EQ(before.size(), after.size());
    for (const auto &[key, data] : before) {
        ASSERT_EQ(after.count(key), 1u) << key;
        EXPECT_EQ(after[key], key == kPayloadKey ? ReadFile(dir / "payload.bin") : data) << key;
    }

    EXPECT_EQ(RunXpack({"list", (dir / "a.exe").string()}).out,
              RunXpack({"list", (dir / "payload.bin").string()}).out);
    ASSERT_EQ(RunXpack({"unpack", (dir / "a.exe").string(), (dir / "out").string()}).status, 0);
    EXPECT_EQ(Snapshot(dir / "out"), Snapshot(dir / "tree"));

    struct stat made, replaced;
    ASSERT_EQ(::stat((dir / "a.exe").c_str(), &made), 0);
    ASSERT_EQ(::stat((dir / "b.exe").c_str(), &replaced), 0);
    mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(made.st_mode & 0777, 0755 & ~mask);
    EXPECT_EQ(replaced.st_mode & 0777, 0600u);
}

// Each refusal names the file and the reason and writes nothing.
TEST(Setup, RefusesWritingNothing)
{
    ScratchDir dir;
    const Bytes stub = ReadFile(kStub);
    const Headers h(stub);
    const std::size_t rsrc = h.Section(".rsrc").rawPointer;
    // The data entry of the first resource after the (empty) payload: the
    // root's second entry, then the first entry down two levels.
    auto target = [&](std::size_t table, std::size_t index) {
        const std::size_t field = table + pe::kResourceTableSize + index * pe::kResourceEntrySize + 4;
        return rsrc + (Get32(stub, field) & ~pe::kResourceHighBit);
    };
    std::size_t entry = target(rsrc, 1);
    for (int level = 1; level < 3; ++level)
        entry = target(entry, 0);

    auto variant = [&](auto change) {
        Bytes copy = stub;
        change(copy);
        return copy;
    };
    const struct {
        const char *name;
        Bytes stub;
        std::string reason;
    } cases[] = {
        {"text.exe", Bytes{'t', 'e', 'x', 't'}, "not an executable"},
        {"unresourced.exe", variant([&](Bytes &b) { Put32(b, h.Directory(pe::kResourceDirectory), 0); }),
         "has no resource section"},
        {"signed.exe", variant([&](Bytes &b) {
             Put32(b, h.Directory(pe::kSecurityDirectory), std::uint32_t(b.size()));
             Put32(b, h.Directory(pe::kSecurityDirectory) + 4, 8);
             b.resize(b.size() + 8, 0);
         }),
         "is signed"},
        {"overlay.exe", variant([](Bytes &b) { b.push_back(1); }), "1 bytes appended after its last section"},
        {"extra.exe", variant([&](Bytes &b) { b[h.Section(".reloc").header + 1] = 'x'; }),
         "not the base relocations"},
        {"overlap.exe", variant([&](Bytes &b) { Put32(b, entry, Get32(b, entry) - 8); }), "overlap"},
        {"outside.exe", variant([&](Bytes &b) { Put32(b, entry + 4, 1u << 20); }),
         "outside the resource section"},
        {"misaligned.exe",
         variant([&](Bytes &b) { Put32(b, h.headers.optional + pe::kFileAlignmentOffset, 300); }),
         "bad alignment"},
    };
    MakeTree(dir / "tree");
    ASSERT_EQ(RunXpack({"pack", (dir / "tree").string(), "-o", (dir / "payload.bin").string()}).status, 0);
    for (const auto &c : cases) {
        WriteFile(dir / c.name, c.stub);
        RunResult run = RunXpack({"setup", (dir / "payload.bin").string(), "--stub", (dir / c.name).string(),
                                  "-o", (dir / "out.exe").string()});
        EXPECT_EQ(run.status, 1) << c.name;
        EXPECT_NE(run.err.find(c.name + std::string(": ")), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << c.name << ": " << run.err;
        EXPECT_FALSE(fs::exists(dir / "out.exe")) << c.name;
    }
    RunResult run = RunXpack({"setup", (dir / "payload.bin").string(), "--stub",
                              (dir / "signed.exe").string(), "-o", (dir / "out.exe").string()});
    EXPECT_NE(run.err.find("sign the result after"), std::string::npos) << run.err;

    // The payload: pack's rules for a folder, list's for a file, and the
    // progress bar's limit for both.
    WriteFile(dir / "bad" / "CON.txt", "x");
    Bytes big{'A', 0, 0, 0, 0, 0};
    big.resize(xpack::kPayloadLimit, 0);
    Put32(big, 2, std::uint32_t(big.size() - 6));
    std::copy(std::begin(szdd::kMagic), std::end(szdd::kMagic), big.begin() + 6);
    big[6 + szdd::kMethodOffset] = szdd::kMethodA;
    WriteFile(dir / "big.bin", big);
    for (const auto &[source, reason] :
         {std::make_pair("bad", "CON.txt: "), std::make_pair("big.bin", "must stay below"),
          std::make_pair("tree/Top/a.txt", "a.txt: malformed payload")}) {
        run = RunXpack(
            {"setup", (dir / source).string(), "--stub", kStub.string(), "-o", (dir / "out.exe").string()});
        EXPECT_EQ(run.status, 1) << source;
        EXPECT_NE(run.err.find(reason), std::string::npos) << source << ": " << run.err;
        EXPECT_FALSE(fs::exists(dir / "out.exe")) << source;
    }
}

// Without --stub, and with none beside the program or in the installed
// layout (a build tree has neither), the message names both places.
TEST(Setup, WithoutAStubNamesWhereItLooked)
{
    ScratchDir dir;
    MakeTree(dir / "tree");
    RunResult run = RunXpack({"setup", (dir / "tree").string(), "-o", (dir / "out.exe").string()});
    EXPECT_EQ(run.status, 1);
    const fs::path folder = fs::canonical(XPACK_PROGRAM).parent_path();
    EXPECT_EQ(run.err, "xpack: no stub given (--stub), and none at " +
                           (folder / "CorvaneSetup-stub.exe").string() + " or " +
                           (folder.parent_path() / "share/corvane-setup/CorvaneSetup-stub.exe").string() +
                           "\n");
    EXPECT_FALSE(fs::exists(dir / "out.exe"));
}
