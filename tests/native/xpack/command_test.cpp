// The command line: single-file compress and expand against the platform's
// tools, how outputs are written, usage and exit statuses.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdlib>

#include "xpack_test_support.h"

using namespace xpack_test;

namespace {

bool HaveTool(const char *tool)
{
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// The SZDD file that xpack compress makes of text.
Bytes CompressedText(const ScratchDir &dir, const std::string &text)
{
    WriteFile(dir / "in.txt", text);
    RunResult run = RunXpack({"compress", (dir / "in.txt").string(), (dir / "in.sz").string()});
    EXPECT_EQ(run.status, 0) << run.err;
    return ReadFile(dir / "in.sz");
}

}  // namespace

TEST(Compress, InterchangeableWithPlatformTools)
{
    if (!HaveTool("mscompress") || !HaveTool("msexpand"))
        GTEST_SKIP() << "mscompress/msexpand not installed";
    ScratchDir dir;
    Bytes text;
    for (int i = 0; i < 4000; ++i)
        for (char c : "line " + std::to_string(i % 97) + "\n")
            text.push_back(static_cast<std::uint8_t>(c));
    for (const auto &[name, data] :
         {std::make_pair("text.txt", text), std::make_pair("noise.bin", RandomBytes(30000, 5)),
          std::make_pair("empty.txt", Bytes())}) {
        fs::path original = dir / name;
        WriteFile(original, data);

        ASSERT_EQ(RunXpack({"compress", original.string(), (dir / "ours.sz").string()}).status, 0);
        std::string expand =
            "msexpand < '" + (dir / "ours.sz").string() + "' > '" + (dir / "theirs.out").string() + "'";
        ASSERT_EQ(std::system(expand.c_str()), 0) << name;
        EXPECT_EQ(ReadFile(dir / "theirs.out"), data) << name;

        // mscompress writes NAME_ beside NAME. For an empty file it writes a
        // body holding one byte against a header length of 0: the header's
        // length wins, with a warning.
        ASSERT_EQ(std::system(("cd '" + dir.path().string() + "' && mscompress " + name).c_str()), 0);
        fs::path theirs = dir / (std::string(name) + "_");
        RunResult run = RunXpack({"expand", theirs.string(), (dir / "ours.out").string()});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(ReadFile(dir / "ours.out"), data) << name;
        EXPECT_EQ(run.err.find("warning") != std::string::npos, data.empty()) << name << ": " << run.err;
    }
}

TEST(Expand, BadInputFailsWithoutWriting)
{
    ScratchDir dir;
    WriteFile(dir / "plain.txt", "not compressed");
    RunResult run = RunXpack({"expand", (dir / "plain.txt").string(), (dir / "out").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("plain.txt: bad SZDD data"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "out"));

    // A header that promises more than the body holds.
    Bytes promise = CompressedText(dir, "abc");
    promise[10] = 4;
    WriteFile(dir / "short.sz", promise);
    run = RunXpack({"expand", (dir / "short.sz").string(), (dir / "out").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("short.sz: bad SZDD data"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "out"));

    run = RunXpack({"list", (dir / "missing.bin").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("missing.bin"), std::string::npos) << run.err;
}

TEST(Output, RefusesWhatIsNotARegularFile)
{
    ScratchDir dir;
    CompressedText(dir, "data");
    WriteFile(dir / "target.txt", "keep");
    fs::create_directory(dir / "folder");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);  // opening it would hang the test
    ASSERT_EQ(mknod((dir / "socket").c_str(), S_IFSOCK | 0600, 0), 0);
    fs::create_symlink("target.txt", dir / "link");
    // What "xpack expand x.sz_ /dev/null" as root must not replace.
    bool device = mknod((dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    std::vector<std::string> before = Names(dir.path());

    std::vector<std::pair<std::string, std::string>> targets = {
        {"folder", "is a folder"},
        {"fifo", "is not a regular file"},
        {"socket", "is not a regular file"},
        {"link", "link: is a symbolic link; not writing through it"}};
    if (device)
        targets.emplace_back("null",
                             "null: is not a regular file (a device, FIFO or socket); not replacing it");
    for (const auto &[name, message] : targets) {
        struct stat was, is;
        ASSERT_EQ(lstat((dir / name).c_str(), &was), 0);
        for (const char *command : {"compress", "expand"}) {
            std::string input = (dir / (command == std::string("compress") ? "in.txt" : "in.sz")).string();
            RunResult run = RunXpack({command, input, (dir / name).string()});
            EXPECT_EQ(run.status, 1) << name;
            EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
            ASSERT_EQ(lstat((dir / name).c_str(), &is), 0);
            EXPECT_EQ(is.st_mode, was.st_mode) << name;
            EXPECT_EQ(is.st_ino, was.st_ino) << name;
        }
    }
    EXPECT_EQ(ReadFile(dir / "target.txt"), Bytes({'k', 'e', 'e', 'p'}));
    EXPECT_EQ(Names(dir.path()), before);
}

TEST(Output, ReplacesARegularFileKeepingItsMode)
{
    ScratchDir dir;
    Bytes compressed = CompressedText(dir, "new data");
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(fs::status(dir / "in.sz").permissions(), fs::perms((0666 & ~mask)));

    WriteFile(dir / "out.sz", "old");
    ASSERT_EQ(chmod((dir / "out.sz").c_str(), 0640), 0);
    fs::create_hard_link(dir / "out.sz", dir / "other-name");
    ASSERT_EQ(RunXpack({"compress", (dir / "in.txt").string(), (dir / "out.sz").string()}).status, 0);
    EXPECT_EQ(ReadFile(dir / "out.sz"), compressed);
    EXPECT_EQ(fs::status(dir / "out.sz").permissions(), fs::perms(0640));
    EXPECT_EQ(ReadFile(dir / "other-name"), Bytes({'o', 'l', 'd'})) << "only the name asked for changes";

    // The longest name a folder holds fits: the temporary name is short.
    std::string longest(255, 'n');
    RunResult run = RunXpack({"expand", (dir / "in.sz").string(), (dir / longest).string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(dir / longest), Bytes({'n', 'e', 'w', ' ', 'd', 'a', 't', 'a'}));
    EXPECT_EQ(Names(dir.path()),
              (std::vector<std::string>{"in.sz", "in.txt", longest, "other-name", "out.sz"}));
}

TEST(Output, DashIsStandardOutput)
{
    ScratchDir dir;
    Bytes compressed = CompressedText(dir, "some text");
    RunResult run = RunXpack({"compress", (dir / "in.txt").string(), "-"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, std::string(compressed.begin(), compressed.end()));
    run = RunXpack({"expand", (dir / "in.sz").string(), "-"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "some text");

    WriteFile(dir / "tree/Addins/a.txt", "a");
    ASSERT_EQ(RunXpack({"pack", (dir / "tree").string(), "-o", (dir / "p.bin").string()}).status, 0);
    run = RunXpack({"pack", (dir / "tree").string(), "-o", "-"});
    EXPECT_EQ(run.status, 0) << run.err;
    Bytes payload = ReadFile(dir / "p.bin");
    EXPECT_EQ(run.out, std::string(payload.begin(), payload.end()));
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"in.sz", "in.txt", "p.bin", "tree"}));
}

TEST(Output, FullDiskKeepsTheOldFile)
{
    ScratchDir dir;
    WriteFile(dir / "noise.bin", RandomBytes(100000, 7));
    WriteFile(dir / "out.sz", "old");
    // Writes past 16 KiB fail as on a full disk.
    RunResult run = RunXpack({"compress", (dir / "noise.bin").string(), (dir / "out.sz").string()},
                             "ulimit -f 32; trap '' XFSZ; ");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("out.sz: write error: File too large"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(dir / "out.sz"), Bytes({'o', 'l', 'd'}));
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"noise.bin", "out.sz"}));
}

TEST(CommandLine, UsageErrorsAndHelp)
{
    for (const auto &args : std::vector<std::vector<std::string>>{
             {}, {"frobnicate"}, {"pack", "dir"}, {"pack", "-o", "x"}, {"list"}, {"compress", "a"}}) {
        RunResult run = RunXpack(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("usage: xpack"), std::string::npos);
    }
    RunResult help = RunXpack({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("byte-wise"), std::string::npos);
}

// Options and operands in any order, long forms, "--" before an operand
// that starts with a dash, a command's own help; anything else is a usage
// error naming what is wrong.
TEST(CommandLine, OptionsAndOperands)
{
    ScratchDir dir;
    WriteFile(dir / "-in.txt", "dash");
    const std::string in = (dir / "-in.txt").string(), out = (dir / "out.sz").string();
    RunResult run = RunXpack({"compress", "--", "-in.txt", out}, "cd '" + dir.path().string() + "' && ");
    ASSERT_EQ(run.status, 0) << run.err;
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"setup", in, "--output=" + out, "--stub", SETUP_STUB},
          {"setup", "--output", out, "--stub=" SETUP_STUB, "--", in}}) {
        run = RunXpack(args);
        EXPECT_EQ(run.status, 1) << "the options were read: " << run.err;
        EXPECT_NE(run.err.find("-in.txt: malformed payload"), std::string::npos) << run.err;
    }
    run = RunXpack({"setup", "--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("usage: xpack setup [-q] [--strict] SOURCE [--stub STUB] -o FILE\n", 0), 0u)
        << run.out;
    for (const auto &[args, reason] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"compress", "-in.txt", out}, "compress: unknown option -in.txt"},
             {{"pack", in, "-o", out, "--output", out}, "pack: --output given twice"},
             {{"list", "--json=yes", out}, "list: --json takes no value"},
             {{"setup", in, "-o"}, "setup: -o needs FILE"},
             {{"unpack", in}, "unpack: takes 2 operands, not 1"}}) {
        run = RunXpack(args);
        EXPECT_EQ(run.status, 2) << reason;
        EXPECT_EQ(run.err.rfind("xpack: " + reason + "\nusage: xpack " + args[0], 0), 0u) << run.err;
    }
}
