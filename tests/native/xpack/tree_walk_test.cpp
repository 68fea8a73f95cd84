// tree_walk.cpp, by way of xpack pack: entry order, what it refuses and
// warns about, and what it reads; with the round trip through
// payload_writer.cpp. The name rules it applies are names_test's.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "error.h"
#include "payload_reader.h"
#include "payload_writer.h"
#include "tree_walk.h"
#include "xpack_test_support.h"

using namespace xpack_test;

namespace {

std::vector<std::string> EntryNames(const fs::path &payloadFile)
{
    Bytes payload = ReadFile(payloadFile);
    std::vector<std::string> names;
    for (const auto &entry : xpack::ReadPayload(payload, "payload"))
        names.push_back(entry.name);
    return names;
}

void MakeProductTree(const fs::path &root)
{
    // Created out of order, so only the packer's sorting can give the
    // table's order.
    for (const char *name : {"README6.JPG", "README.HTM", "README3.JPG", "README1.JPG", "README5.JPG",
                             "README2.JPG", "README4.JPG"})
        WriteFile(root / "Addins/QUENBRIK" / name, std::string(name) + " picture");
    WriteFile(root / "Addins/QUENBRIK.HLP", RandomBytes(5000, 2));
    WriteFile(root / "Addins/QUENBRIK.DLL", ReadFile(COMPONENT_DLL));
}

}  // namespace

TEST(Pack, ProductTreeComesOutInTheShippedOrder)
{
    ScratchDir dir;
    MakeProductTree(dir / "tree");
    RunResult run = RunXpack({"pack", (dir / "tree").string(), "-o", (dir / "p.bin").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    std::vector<std::string> expected = {"Addins\\",    "QUENBRIK.DLL", "QUENBRIK.HLP", "Addins\\QUENBRIK\\",
                                         "README.HTM",  "README1.JPG",  "README2.JPG",  "README3.JPG",
                                         "README4.JPG", "README5.JPG",  "README6.JPG"};
    EXPECT_EQ(EntryNames(dir / "p.bin"), expected);
    EXPECT_EQ(xpack::TopFolderOf(ReadFile(dir / "p.bin")), "Addins");
}

TEST(Pack, RootFilesComeFirstAndFilesPrecedeSubfolders)
{
    ScratchDir dir;
    WriteFile(dir / "tree/z.txt", "z");
    WriteFile(dir / "tree/B/b.txt", "b");
    WriteFile(dir / "tree/B/A/a.txt", "a");
    WriteFile(dir / "tree/B/c.txt", "c");
    WriteFile(dir / "tree/A/x", "x");
    RunResult run = RunXpack({"pack", (dir / "tree").string(), "-o", (dir / "p.bin").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> expected = {"z.txt", "A\\", "x", "B\\", "b.txt", "c.txt", "B\\A\\", "a.txt"};
    EXPECT_EQ(EntryNames(dir / "p.bin"), expected);
    EXPECT_NE(
        run.err.find(
            "tree/z.txt: the first entry is a file; the setup program takes its name as the top folder"),
        std::string::npos)
        << run.err;
}

TEST(Pack, RoundTripsAndIsDeterministic)
{
    ScratchDir dir;
    MakeProductTree(dir / "tree");
    WriteFile(dir / "tree/root.txt", "");  // empty file in the root
    WriteFile(dir / "tree/Addins/Big.bin", RandomBytes(70000, 3));
    WriteFile(dir / "tree/Addins/Text.txt", std::string(50000, 'a'));
    fs::create_directories(dir / "tree/Addins/Empty/Deeper");  // empty folders travel too
    for (const char *out : {"one.bin", "two.bin"})
        ASSERT_EQ(RunXpack({"pack", (dir / "tree").string(), "-o", (dir / out).string()}).status, 0);
    EXPECT_EQ(ReadFile(dir / "one.bin"), ReadFile(dir / "two.bin"));

    RunResult run = RunXpack({"unpack", (dir / "one.bin").string(), (dir / "out").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Snapshot(dir / "tree"), Snapshot(dir / "out"));
}

TEST(Pack, EmptyTreeGivesEmptyPayload)
{
    ScratchDir dir;
    fs::create_directories(dir / "tree");
    RunResult run = RunXpack({"pack", (dir / "tree").string(), "-o", (dir / "p.bin").string()});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "xpack: warning: " + (dir / "tree").string() +
                           ": the folder is empty; the setup program would install nothing\n");
    EXPECT_TRUE(fs::exists(dir / "p.bin"));
    EXPECT_EQ(fs::file_size(dir / "p.bin"), 0u);
    RunResult list = RunXpack({"list", (dir / "p.bin").string()});
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.out.find("0 entries"), std::string::npos) << list.out;
}

// Each tree must be refused with status 1, a message naming the culprit and
// the output file left as it was.
struct Refusal {
    const char *what;
    void (*make)(const fs::path &tree);
    const char *culprit;
};

class PackRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(PackRefuses, WritesNothing)
{
    ScratchDir dir;
    fs::create_directories(dir / "tree/Addins");
    WriteFile(dir / "tree/Addins/ok.txt", "fine");
    GetParam().make(dir / "tree");
    WriteFile(dir / "p.bin", "old content");
    RunResult run = RunXpack({"pack", (dir / "tree").string(), "-o", (dir / "p.bin").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(GetParam().culprit), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(dir / "p.bin"), Bytes({'o', 'l', 'd', ' ', 'c', 'o', 'n', 't', 'e', 'n', 't'}));
    // No temporary file is left beside the output.
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"p.bin", "tree"}));
}

#define NAMED_FILE(label, file)                                                     \
    Refusal                                                                         \
    {                                                                               \
        label, [](const fs::path &t) { WriteFile(t / "Addins" / file, "x"); }, file \
    }

// The walk applies the name rules to files and folders alike, and names the
// culprit as every message shows a name.
INSTANTIATE_TEST_SUITE_P(
    Names, PackRefuses,
    ::testing::Values(
        NAMED_FILE("colon", "c:d"), NAMED_FILE("device with extension", "nul.txt"),
        Refusal{"control", [](const fs::path &t) { WriteFile(t / "Addins/tab\there", "x"); }, "tab\\there"},
        Refusal{"non-ascii", [](const fs::path &t) { WriteFile(t / "Addins/caf\xc3\xa9.txt", "x"); },
                "caf\\xc3\\xa9.txt"},
        Refusal{"non-ascii folder", [](const fs::path &t) { WriteFile(t / "\xc3\xa4/x", "x"); },
                "\\xc3\\xa4"}),
    [](const auto &info) {
        std::string name = info.param.what;
        std::replace_if(
            name.begin(), name.end(), [](char c) { return !std::isalnum((unsigned char)c); }, '_');
        return name;
    });

INSTANTIATE_TEST_SUITE_P(
    Kinds, PackRefuses,
    ::testing::Values(
        Refusal{"case clash", [](const fs::path &t) { WriteFile(t / "Addins/OK.TXT", "x"); }, "OK.TXT"},
        Refusal{"case clash with folder", [](const fs::path &t) { WriteFile(t / "addins/x", "x"); }, "ddins"},
        Refusal{"symlink", [](const fs::path &t) { fs::create_symlink("ok.txt", t / "Addins/link"); },
                "link"},
        Refusal{"fifo", [](const fs::path &t) { mkfifo((t / "Addins/pipe").c_str(), 0600); }, "pipe"},
        Refusal{"four gigabytes",
                [](const fs::path &t) {
                    WriteFile(t / "Addins/huge", "");
                    fs::resize_file(t / "Addins/huge", 0x100000000ull);  // sparse
                },
                "huge"},
        Refusal{"payload too large",
                [](const fs::path &t) { WriteFile(t / "Addins/noise", RandomBytes(6600000, 9)); },
                "6553600"}),
    [](const auto &info) {
        std::string name = info.param.what;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

// Whatever replaces a walked file or folder before it is read (a link to a
// file the packer's user may read and the tree's owner may not, or another
// file) is refused, never packed.
TEST(Pack, ReadsOnlyWhatTheWalkChecked)
{
    ScratchDir dir;
    WriteFile(dir / "secret", "secret");
    WriteFile(dir / "outside/a.txt", "secret");
    fs::path file = dir / "tree/Addins/a.txt", folder = dir / "tree/Addins/Sub";
    auto packAfter = [&](const std::function<void()> &swap) -> std::string {
        fs::remove_all(dir / "tree");
        WriteFile(file, "a");
        WriteFile(folder / "a.txt", "a");
        xpack::TreeWalk walk = xpack::WalkTree(dir / "tree");
        swap();
        try {
            xpack::BuildPayload(walk, "p.bin");
        } catch (const xpack::Error &error) {
            return error.what();
        }
        return "";
    };
    EXPECT_EQ(packAfter([] {}), "");
    EXPECT_EQ(packAfter([&] {
                  fs::remove(file);
                  fs::create_symlink(dir / "secret", file);
              }),
              file.string() + ": is now a symbolic link; links are not packed");
    EXPECT_EQ(packAfter([&] {
                  fs::create_hard_link(dir / "secret", dir / "tree/other");
                  fs::rename(dir / "tree/other", file);
              }),
              file.string() + ": was replaced after the folder was walked; not reading it");
    EXPECT_EQ(packAfter([&] {
                  fs::remove_all(folder);
                  fs::create_directory_symlink(dir / "outside", folder);
              }),
              folder.string() + ": is a symbolic link; not following it");
    EXPECT_EQ(packAfter([&] {
                  fs::rename(folder, dir / "walked");
                  fs::rename(dir / "outside", folder);
              }),
              folder.string() + ": was replaced after the folder was walked; not reading it");
}

TEST(Pack, RefusesOutputInsideTheTree)
{
    ScratchDir dir;
    WriteFile(dir / "tree/a.txt", "a");
    RunResult run = RunXpack({"pack", (dir / "tree").string(), "-o", (dir / "tree/p.bin").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("p.bin"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "tree/p.bin"));
}

TEST(Pack, WarnsAboutLongInstallPaths)
{
    ScratchDir dir;
    // 56 + 60 + 1 + 12: past what the LZ calls open, within 259.
    std::string medium(60, 'm');
    WriteFile(dir / "tree" / medium / "QUENBRIK.DLL", "x");
    // 56 + 3 * 70 + 3: past 259 for the folder itself.
    std::string part(70, 'd');
    fs::create_directories(dir / "tree" / part / part / part);
    RunResult run = RunXpack({"pack", (dir / "tree").string(), "-o", (dir / "p.bin").string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(dir / "p.bin"));
    EXPECT_NE(run.err.find(medium + "/QUENBRIK.DLL: installed under"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("129 characters, more than the 127"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("269 characters, more than the 259"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("tree/" + part + "/" + part + ": installed"), std::string::npos)
        << "201 is fine for a folder";
}

TEST(Pack, WarnsAboutLongTopFolder)
{
    ScratchDir dir;
    WriteFile(dir / "tree/ThirteenChars/a", "a");
    RunResult run = RunXpack({"pack", (dir / "tree").string(), "-o", (dir / "p.bin").string()});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("\"ThirteenChars\""), std::string::npos) << run.err;
}
