// main.cpp: usage, help, options and exit statuses.
#include <gtest/gtest.h>

#include "xpack_test_support.h"

using namespace xpack_test;

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
