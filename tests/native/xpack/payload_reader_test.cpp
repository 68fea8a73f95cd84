// payload_reader.cpp: listing, the payload found inside an executable, and
// malformed or unsafe input reported rather than overrun.
#include <gtest/gtest.h>

#include "error.h"
#include "names.h"
#include "payload_reader.h"
#include "payload_writer.h"
#include "szdd/szdd.h"
#include "xpack_test_support.h"

using namespace xpack_test;

namespace {

std::string ExpectedListing(const Bytes &payload)
{
    std::size_t a = Stored(std::string(1000, 'a')).size(), r = Stored("<html>").size();
    auto right = [](std::size_t n) {
        std::string s = std::to_string(n);
        return std::string(10 - s.size(), ' ') + s;
    };
    return "kind      stored  expanded  name\n"
           "dir                         Addins\\\n"
           "file  " +
           right(a) +
           "      1000  A.DLL\n"
           "dir                         Addins\\Sub\\\n"
           "file  " +
           right(r) +
           "         6  R.HTM\n"
           "total " +
           right(a + r) + "      1006  4 entries (2 directories, 2 files), payload " +
           std::to_string(payload.size()) +
           " bytes\n"
           "top folder: Addins\n";
}

std::string ReadError(const Bytes &content)
{
    try {
        xpack::ReadPayload(xpack::PayloadOfFile(content, "in.bin"), "in.bin");
    } catch (const xpack::Error &error) {
        return error.what();
    }
    return "";
}

}  // namespace

TEST(List, PayloadAndExecutableGiveTheSameListing)
{
    ScratchDir dir;
    Bytes payload = SamplePayload();
    WriteFile(dir / "p.bin", payload);
    WriteFile(dir / "setup.exe", MakeExecutable(payload));
    WriteFile(dir / "lower.exe", MakeExecutable(payload, "text", "XPackArchive"));
    for (const char *file : {"p.bin", "setup.exe", "lower.exe"}) {
        RunResult run = RunXpack({"list", (dir / file).string()});
        EXPECT_EQ(run.status, 0) << file << ": " << run.err;
        EXPECT_EQ(run.out, ExpectedListing(payload)) << file;
    }
}

// Only printable ASCII and line ends.
bool Tame(const std::string &text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c == '\n' || (c >= 0x20 && c < 0x7F); });
}

TEST(List, NamesCannotForgeLinesOrDriveTheTerminal)
{
    ScratchDir dir;
    Bytes payload;
    xpack::AppendEntry(payload, "Add\x1b[2Jins\\", true, {});
    xpack::AppendEntry(payload, "a\nfile          1         1  forged", false, Stored("a"));
    xpack::AppendEntry(payload, "\x1b]0;owned\x07\r\t", false, Stored("b"));
    xpack::AppendEntry(payload, "caf\xe9\x7f", false, Stored("c"));
    WriteFile(dir / "p.bin", payload);
    RunResult run = RunXpack({"list", (dir / "p.bin").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Tame(run.out)) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 7);
    for (const char *shown :
         {"dir                         Add\\x1b[2Jins\\\n", "  a\\nfile          1",
          "  \\x1b]0;owned\\x07\\r\\t\n", "  caf\\xe9\\x7f\n", "top folder: Add\\x1b[2Jins\n"})
        EXPECT_NE(run.out.find(shown), std::string::npos) << shown;

    // Messages escape names from a payload and from the command line alike.
    run = RunXpack({"unpack", (dir / "p.bin").string(), (dir / "out").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("entry 1 \"Add\\x1b[2Jins\\\""), std::string::npos) << run.err;
    EXPECT_TRUE(Tame(run.err)) << run.err;
    run = RunXpack({"list", (dir / "no\x1b]0;such\x07\nfile").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("no\\x1b]0;such\\x07\\nfile: No such file"), std::string::npos) << run.err;
    EXPECT_TRUE(Tame(run.err)) << run.err;
    EXPECT_EQ(xpack::Printable(xpack::Printable("\x1b\\x1b\xff")), "\\x1b\\x1b\\xff");
}

// For scripts: one JSON object whose strings carry every byte of a name,
// escaped as \u00XX, which a JSON parser (jq) reads back whole.
TEST(List, JsonGivesEveryByteOfEveryName)
{
    ScratchDir dir;
    const std::vector<std::string> names = {"Add\x1b[2Jins\\", "a \"quoted\"\nname", "caf\xe9\x7f\\",
                                            "C:evil"};
    Bytes payload;
    std::string expected;
    for (std::size_t i = 0; i < names.size(); ++i) {
        bool folder = names[i].back() == '\\';
        Bytes stored = Stored(std::string(i, 'x'));
        xpack::AppendEntry(payload, names[i], folder, stored);
        expected += std::string("[\"") + (folder ? "dir" : "file") + "\",[";
        for (unsigned char byte : names[i])
            expected += std::to_string(byte) + ",";
        expected.back() = ']';
        expected +=
            folder ? ",null,null]\n" : "," + std::to_string(stored.size()) + "," + std::to_string(i) + "]\n";
    }
    expected += "[\"Add\\u001b[2Jins\"," + std::to_string(payload.size()) + ",";
    WriteFile(dir / "p.bin", payload);
    RunResult run = RunXpack({"list", "--json", (dir / "p.bin").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Tame(run.out)) << run.out;
    EXPECT_NE(run.err.find("C:evil"), std::string::npos) << "warned about as in a table";
    std::size_t warnings = 0;
    for (std::size_t at = 0; (at = run.err.find("xpack: warning: ", at)) != std::string::npos; ++at)
        ++warnings;
    expected += std::to_string(warnings) + "]\n";
    WriteFile(dir / "list.json", run.out);
    run = RunShell("jq -c '(.entries[] | [.kind, (.name | explode), .stored, .expanded]), "
                   "[.top_folder, .payload_size, (.warnings | length)]' '" +
                   (dir / "list.json").string() + "'");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, expected);
}

TEST(List, TopFolderIsCutToTwelveCharacters)
{
    Bytes payload;
    xpack::AppendEntry(payload, "ABCDEFGHIJKLMNOP\\", true, {});
    EXPECT_EQ(xpack::TopFolderOf(payload), "ABCDEFGHIJKL");
    Bytes file;
    xpack::AppendEntry(file, "readme.txt", false, Stored("x"));
    EXPECT_EQ(xpack::TopFolderOf(file), "readme.txt");
    EXPECT_EQ(xpack::TopFolderOf({}), "");
}

TEST(Unpack, ExecutableGivesThePayloadsTree)
{
    ScratchDir dir;
    WriteFile(dir / "setup.exe", MakeExecutable(SamplePayload()));
    RunResult run = RunXpack({"unpack", (dir / "setup.exe").string(), (dir / "out").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    auto tree = Snapshot(dir / "out");
    ASSERT_EQ(tree.size(), 4u);
    EXPECT_EQ(tree[0].first, "Addins/");
    EXPECT_EQ(tree[1].first, "Addins/A.DLL");
    EXPECT_EQ(tree[1].second, Bytes(1000, 'a'));
    EXPECT_EQ(tree[3].first, "Addins/Sub/R.HTM");
}

TEST(Read, MalformedPayloadsAreReportedNotOverrun)
{
    Bytes good = SamplePayload();
    // Every cut of the payload inside an entry is an error naming the file.
    std::vector<std::size_t> boundaries;
    for (const auto &entry : xpack::ReadPayload(good, "good"))
        boundaries.push_back(entry.offset);
    ASSERT_EQ(boundaries.size(), 4u);
    for (std::size_t cut = 1; cut < good.size(); ++cut) {
        std::string error = ReadError(Bytes(good.begin(), good.begin() + cut));
        bool boundary = std::find(boundaries.begin(), boundaries.end(), cut) != boundaries.end();
        if (boundary)
            EXPECT_EQ(error, "") << cut;
        else
            EXPECT_EQ(error.rfind("in.bin: malformed payload: entry ", 0), 0u) << cut << ": " << error;
    }
    EXPECT_NE(ReadError(Bytes{'a', 'b'}).find("entry 1 at offset 0: name without a terminator"),
              std::string::npos);
    EXPECT_NE(ReadError(Bytes{'A', '\\', 0, 0}).find("entry 2 at offset 3: empty name"), std::string::npos);
    EXPECT_NE(ReadError(Bytes{'f', 0, 1, 0}).find("length field runs past the end"), std::string::npos);
    EXPECT_NE(ReadError(Bytes{'f', 0, 9, 0, 0, 0, 1}).find("file length 9 runs past the end (1 bytes left)"),
              std::string::npos);
    Bytes emptyFile{'f', 0, 0, 0, 0, 0};  // N = 0 is a legal entry
    EXPECT_EQ(ReadError(emptyFile), "");
}

TEST(Read, TruncatedOrBrokenExecutablesAreReported)
{
    Bytes pe = MakeExecutable(SamplePayload());
    for (std::size_t cut = 2; cut < pe.size(); cut += (cut < 0x240 ? 1 : 97))
        EXPECT_NE(ReadError(Bytes(pe.begin(), pe.begin() + cut)), "") << cut;

    EXPECT_NE(ReadError(MakeExecutable(SamplePayload(), "TEXT", "OTHER"))
                  .find("no TEXT resource named XPackArchive"),
              std::string::npos);
    Bytes badSignature = pe;
    badSignature[0x41] = 'X';
    EXPECT_NE(ReadError(badSignature).find("no PE signature"), std::string::npos);
    Bytes farHeader = pe;
    farHeader[0x3F] = 0x7F;  // e_lfanew far past the end
    EXPECT_NE(ReadError(farHeader).find("truncated executable"), std::string::npos);
    Bytes loop = pe;
    loop[0x200 + 20] = 0;  // the type entry points back at the root directory
    EXPECT_NE(ReadError(loop).find("in.bin: "), std::string::npos);
}

TEST(Read, PayloadThatHappensToStartWithMZ)
{
    Bytes payload;
    xpack::AppendEntry(payload, "MZtools\\", true, {});
    xpack::AppendEntry(payload, "x", false, Stored("x"));
    EXPECT_EQ(ReadError(payload), "");
}

// Names the setup program would follow out of its folder (.., a drive, a
// rooted path, an empty part) or that Windows cannot hold: unpack and setup
// refuse them, naming the entry and writing nothing; list shows them, with
// a warning.
class UnpackRefuses : public ::testing::TestWithParam<std::pair<std::string, bool>> {};

TEST_P(UnpackRefuses, NamesThatWouldLeaveTheFolder)
{
    ScratchDir dir;
    const std::string name = GetParam().first;
    Bytes payload;
    xpack::AppendEntry(payload, "Good\\", true, {});
    xpack::AppendEntry(payload, "fine.txt", false, Stored("fine"));
    xpack::AppendEntry(payload, name, GetParam().second, Stored("evil"));
    WriteFile(dir / "p.bin", payload);
    const std::string shown = xpack::Printable(name);  // as every message shows a name
    const std::string entry = "p.bin: entry 3 \"" + shown + "\": unsafe ";

    RunResult run = RunXpack({"unpack", (dir / "p.bin").string(), (dir / "out/in").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(entry), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "out")) << "nothing is written before every entry is checked";

    WriteFile(dir / "old.exe", "old");
    run =
        RunXpack({"setup", (dir / "p.bin").string(), "--stub", SETUP_STUB, "-o", (dir / "old.exe").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(entry), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(dir / "old.exe"), Bytes({'o', 'l', 'd'})) << "the existing output stays";

    run = RunXpack({"list", (dir / "p.bin").string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("  " + shown + "\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.err.rfind("xpack: warning: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(entry), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Unsafe, UnpackRefuses,
    ::testing::Values(std::make_pair("..\\", true), std::make_pair("Good\\..\\..\\", true),
                      std::make_pair("\\etc\\", true), std::make_pair("C:\\x\\", true),
                      std::make_pair("a\\\\b\\", true), std::make_pair("..", false),
                      std::make_pair("/etc/passwd", false), std::make_pair("a/../../b", false),
                      std::make_pair("sub\\file", false), std::make_pair("C:evil.txt", false),
                      std::make_pair("what?.txt", false), std::make_pair("clear\x1b[2J.txt", false)));
