#include <gtest/gtest.h>

#include <algorithm>
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

}  // namespace
