// file_io.cpp as the commands use it: what an output may replace, and how it
// is replaced.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "xpack_test_support.h"

using namespace xpack_test;

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
