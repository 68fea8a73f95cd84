// commands.cpp's compress and expand: single files, against the platform's
// tools.
#include <gtest/gtest.h>

#include <cstdlib>

#include "xpack_test_support.h"

using namespace xpack_test;

namespace {

bool HaveTool(const char *tool)
{
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
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
