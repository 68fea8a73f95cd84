// tree_writer.cpp: the tree unpack writes, and what it leaves when it cannot.
#include <gtest/gtest.h>

#include "payload_writer.h"
#include "szdd/szdd.h"
#include "xpack_test_support.h"

using namespace xpack_test;

TEST(Unpack, RefusesBadFileDataAndTakenFolders)
{
    ScratchDir dir;
    Bytes payload;
    xpack::AppendEntry(payload, "Addins\\", true, {});
    xpack::AppendEntry(payload, "broken", false, Bytes{'S', 'Z', 'D', 'D'});
    WriteFile(dir / "bad.bin", payload);
    RunResult run = RunXpack({"unpack", (dir / "bad.bin").string(), (dir / "out").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("bad.bin: entry 2 \"broken\": bad SZDD data"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "out"));

    // What a folder holds already stays as it is: a link in it cannot carry
    // writes out, and nothing is mixed into it.
    WriteFile(dir / "p.bin", SamplePayload());
    fs::create_directories(dir / "out");
    fs::create_directories(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", dir / "out/Addins");
    run = RunXpack({"unpack", (dir / "p.bin").string(), (dir / "out").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("out: exists and is not empty"), std::string::npos) << run.err;
    EXPECT_EQ(Names(dir / "out"), std::vector<std::string>{"Addins"});
    // Nor is the folder itself a link to follow or a file.
    fs::create_directory_symlink(dir / "elsewhere", dir / "linked");
    run = RunXpack({"unpack", (dir / "p.bin").string(), (dir / "linked").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("linked: is a symbolic link"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
    run = RunXpack({"unpack", (dir / "p.bin").string(), (dir / "bad.bin").string()});
    EXPECT_NE(run.err.find("bad.bin: exists and is not a folder"), std::string::npos) << run.err;

    // An empty folder is filled.
    run = RunXpack({"unpack", (dir / "p.bin").string(), (dir / "elsewhere").string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Snapshot(dir / "elsewhere").size(), 4u);
}

TEST(Unpack, FailurePartWayLeavesNothingBehind)
{
    ScratchDir dir;
    // "x" is a file by the time "A\x\" wants it as a folder.
    Bytes clash;
    xpack::AppendEntry(clash, "A\\", true, {});
    xpack::AppendEntry(clash, "x", false, Stored("x"));
    xpack::AppendEntry(clash, "A\\x\\", true, {});
    WriteFile(dir / "clash.bin", clash);
    // The last file does not fit on the disk.
    Bytes full;
    xpack::AppendEntry(full, "A\\", true, {});
    xpack::AppendEntry(full, "small", false, Stored("small"));
    xpack::AppendEntry(full, "noise", false, szdd::Compress(RandomBytes(100000, 3)));
    WriteFile(dir / "full.bin", full);
    fs::create_directory(dir / "empty");

    for (const auto &[payload, fault] : {std::make_pair("clash.bin", "A/x: exists and is not a folder"),
                                         std::make_pair("full.bin", "A/noise: write error: File too large")})
        for (const char *target : {"new/deeper/out", "empty"}) {
            RunResult run = RunXpack({"unpack", (dir / payload).string(), (dir / target).string()},
                                     "ulimit -f 32; trap '' XFSZ; ");
            EXPECT_EQ(run.status, 1);
            EXPECT_NE(run.err.find(std::string(target) + "/" + fault), std::string::npos) << run.err;
            EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"clash.bin", "empty", "full.bin"}))
                << target;
            EXPECT_TRUE(fs::is_empty(dir / "empty")) << payload;
        }
}
