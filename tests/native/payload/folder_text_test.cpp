#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "folder_text.h"

namespace {

// Runs the normalisation in a buffer of the real size, the way
// ReadInstallFolder hands it over, and returns the resulting string.
std::string Normalise(const std::string &text)
{
    std::vector<char> buffer(260, 'X');
    text.copy(buffer.data(), text.size());
    buffer[text.size()] = 0;
    NormaliseFolderText(buffer.data(), static_cast<int>(text.size()));
    return std::string(buffer.data());
}

TEST(FolderText, TableOfExamples)
{
    struct Case {
        const char *box;
        const char *folder;
    } cases[] = {
        {"D:\\Tools\\  ", "D:\\Tools"},
        {"D:\\Tools\\\\", "D:\\Tools\\"},  // only one backslash goes
        {"C:\\", "C:"},
        {"\\", ""},
        {"   ", " "},  // index 0 is never a trailing space
        {"", ""},
        {"D:\\Tools", "D:\\Tools"},
        {"C:\\Program Files\\Microsoft Visual Studio\\Common\\MSDev98\\",
         "C:\\Program Files\\Microsoft Visual Studio\\Common\\MSDev98"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Normalise(c.box), c.folder) << "folder box \"" << c.box << "\"";
}

TEST(FolderText, BackslashOnlyWhereTheSpaceScanStopped)
{
    // A backslash before the spaces is removed, one behind a non-space is not.
    EXPECT_EQ(Normalise("a\\ "), "a");
    EXPECT_EQ(Normalise("a\\ b "), "a\\ b");
    // A scan that reaches index 0 stops there: a leading backslash goes.
    EXPECT_EQ(Normalise("\\   "), "");
    EXPECT_EQ(Normalise(" \\"), " ");
    // Inner spaces are kept.
    EXPECT_EQ(Normalise("D:\\My Tools  "), "D:\\My Tools");
}

TEST(FolderText, FullLengthTextStaysInItsBuffer)
{
    std::string text(257, 'a');
    text += "\\ ";
    ASSERT_EQ(text.size(), 259u);
    EXPECT_EQ(Normalise(text), std::string(257, 'a'));
    EXPECT_EQ(Normalise(std::string(259, 'b')), std::string(259, 'b'));
}

}  // namespace
