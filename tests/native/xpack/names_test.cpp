// The name rules, row by row: which path components a payload may hold. The
// packer and the unpacker apply them (tree_walk_test, payload_reader_test);
// here each rule is checked on its own, with the reason it gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "names.h"

namespace {

struct NameRule {
    const char *what;
    std::string name;
    std::string problem;  // empty: the name is allowed
    bool allowNonAscii = false;
};

std::string Character(char c)
{
    return std::string("the name contains the character '") + c + "', which Windows does not allow";
}

const std::string kControl = "the name contains a control character";
const std::string kNonAscii = "the name contains a non-ASCII character";
const std::string kDotOrSpace = "the name ends in a dot or a space, which Windows drops";
const std::string kDevice = "the name is a Windows device name";

class ComponentProblem : public ::testing::TestWithParam<NameRule> {};

TEST_P(ComponentProblem, Table)
{
    EXPECT_EQ(xpack::ComponentProblem(GetParam().name, GetParam().allowNonAscii), GetParam().problem)
        << xpack::Printable(GetParam().name);
}

std::string RowName(const ::testing::TestParamInfo<NameRule> &info)
{
    std::string name = info.param.what;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, ComponentProblem,
    ::testing::Values(
        NameRule{"empty", "", "empty name"}, NameRule{"dot", ".", "the name \".\" is not allowed"},
        NameRule{"dot dot", "..", "the name \"..\" is not allowed"}, NameRule{"less", "a<b", Character('<')},
        NameRule{"greater", "a>b", Character('>')}, NameRule{"colon", "c:d", Character(':')},
        NameRule{"quote", "q\"q", Character('"')}, NameRule{"slash", "a/b", Character('/')},
        NameRule{"backslash", "back\\slash", Character('\\')}, NameRule{"pipe", "p|p", Character('|')},
        NameRule{"question", "why?", Character('?')}, NameRule{"star", "*.txt", Character('*')},
        NameRule{"control", "tab\there", kControl}, NameRule{"escape", "a\x1b", kControl},
        NameRule{"trailing dot", "name.", kDotOrSpace}, NameRule{"trailing space", "name ", kDotOrSpace},
        NameRule{"device", "CON", kDevice}, NameRule{"device with extension", "nul.txt", kDevice},
        NameRule{"com port", "Com7.log", kDevice}, NameRule{"printer", "LPT1", kDevice},
        NameRule{"console input", "CONIN$", kDevice}, NameRule{"console output", "conout$.txt", kDevice},
        NameRule{"clock", "CLOCK$", kDevice}, NameRule{"com zero", "COM0", kDevice},
        NameRule{"printer zero", "lpt0.log", kDevice}, NameRule{"non-ascii", "caf\xc3\xa9.txt", kNonAscii},
        NameRule{"non-ascii folder", "\xc3\xa4", kNonAscii}),
    RowName);

// Names that only resemble a refused one.
INSTANTIATE_TEST_SUITE_P(
    Allowed, ComponentProblem,
    ::testing::Values(NameRule{"console", "CONSOLE.TXT", ""}, NameRule{"com ten", "COM10", ""},
                      NameRule{"printer double zero", "LPT00", ""}, NameRule{"conin", "CONIN", ""},
                      NameRule{"clock text", "CLOCK.TXT", ""}, NameRule{"nul underscore", "nul_x", ""},
                      NameRule{"con dash", "con-1.txt", ""}, NameRule{"leading dot", ".hidden", ""},
                      NameRule{"inner space", "a b.c", ""},
                      NameRule{"non-ascii when allowed", "caf\xc3\xa9.txt", "", true}),
    RowName);

}  // namespace
