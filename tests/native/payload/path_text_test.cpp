#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "path_text.h"

namespace {

constexpr std::size_t kBuffer = 260;
constexpr char kGuard = '#';

// A path buffer of the real size followed by guard bytes that must survive.
struct GuardedPath {
    std::vector<char> bytes = std::vector<char>(kBuffer + 64, kGuard);
    explicit GuardedPath(const std::string &start)
    {
        start.copy(bytes.data(), start.size());
        bytes[start.size()] = 0;
    }
    char *buffer() { return bytes.data(); }
    std::string text() const { return std::string(bytes.data()); }
    bool guardIntact() const
    {
        return std::all_of(bytes.begin() + kBuffer, bytes.end(), [](char c) { return c == kGuard; });
    }
};

TEST(PathText, AppendsWhileTheResultFits)
{
    GuardedPath path("D:\\Setup");
    EXPECT_EQ(AppendPath(path.buffer(), "\\"), 1);
    EXPECT_EQ(AppendPath(path.buffer(), "Addins\\"), 1);
    EXPECT_EQ(AppendPath(path.buffer(), ""), 1);
    EXPECT_EQ(path.text(), "D:\\Setup\\Addins\\");
    EXPECT_EQ(PathTextLength(path.buffer()), 16);
}

TEST(PathText, ExactlyTheLimitFitsOneMoreDoesNot)
{
    GuardedPath path(std::string(250, 'a'));
    EXPECT_EQ(AppendPath(path.buffer(), "123456789"), 1);  // 259 characters
    EXPECT_EQ(path.text().size(), 259u);
    EXPECT_EQ(AppendPath(path.buffer(), "x"), 0);
    EXPECT_EQ(path.text().size(), 259u);

    GuardedPath other(std::string(250, 'a'));
    EXPECT_EQ(AppendPath(other.buffer(), "1234567890"), 0);  // would be 260
    EXPECT_EQ(other.text(), std::string(250, 'a')) << "a refused tail must leave the path as it was";
    EXPECT_TRUE(path.guardIntact());
    EXPECT_TRUE(other.guardIntact());
}

TEST(PathText, TailsLongerThanAnyBufferAreRefused)
{
    GuardedPath path("C:");
    std::string tail(5000, 'z');
    EXPECT_EQ(AppendPath(path.buffer(), tail.c_str()), 0);
    EXPECT_EQ(path.text(), "C:");
    GuardedPath empty("");
    EXPECT_EQ(AppendPath(empty.buffer(), std::string(259, 'q').c_str()), 1);
    EXPECT_EQ(AppendPath(empty.buffer(), "\\"), 0);
    EXPECT_TRUE(path.guardIntact());
    EXPECT_TRUE(empty.guardIntact());
}

int CompareIgnoringAsciiCase(const char *a, const char *b)
{
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return 1;
    return *a != *b;
}

// Final paths as the file system gives them against the install root's and
// the composed ones, in every form.
TEST(PathText, FinalPathForms)
{
    struct Case {
        const char *a;
        const char *b;
        bool same;
    } cases[] = {
        {"\\\\?\\C:\\Dev\\a.dll", "C:\\dev\\A.DLL", true},
        {"\\\\?\\C:\\Dev\\a.dll", "\\\\?\\C:\\Dev\\a.dll", true},
        {"C:\\Dev\\a.dll", "C:\\Dev\\a.dll", true},
        {"\\\\?\\UNC\\srv\\share\\a.dll", "\\\\srv\\share\\a.dll", true},
        {"\\\\?\\UNC\\srv\\share\\a.dll", "\\\\?\\UNC\\srv\\share\\a.dll", true},
        {"\\\\?\\C:\\Dev\\a.dll", "C:\\Dev\\b.dll", false},
        {"\\\\?\\C:\\Dev\\a.dll", "C:\\Dev\\a.dll\\b", false},
        // A share never matches a drive, whatever follows.
        {"\\\\?\\UNC\\C:\\Dev", "C:\\Dev", false},
        {"\\\\C:\\Dev", "\\\\?\\C:\\Dev", false},
        {"\\\\?\\UNC\\srv\\share", "\\\\?\\srv\\share", false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(SameFinalPath(c.a, c.b, CompareIgnoringAsciiCase) != 0, c.same) << c.a << " / " << c.b;
        EXPECT_EQ(SameFinalPath(c.b, c.a, CompareIgnoringAsciiCase) != 0, c.same) << c.b << " / " << c.a;
    }
}

}  // namespace
