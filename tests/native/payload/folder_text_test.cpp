#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "folder_text.h"

namespace {

int NoLeadByte(unsigned char)
{
    return 0;
}

// Code page 932's lead bytes, as IsDBCSLeadByte gives them there.
int ShiftJisLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Runs the normalisation in a buffer of the real size, the way
// ReadInstallFolder hands it over, and returns the resulting string.
std::string Normalise(const std::string &text, LeadByteTest isLead = NoLeadByte)
{
    std::vector<char> buffer(260, 'X');
    text.copy(buffer.data(), text.size());
    buffer[text.size()] = 0;
    NormaliseFolderText(buffer.data(), static_cast<int>(text.size()), isLead);
    return std::string(buffer.data());
}

// What the folder box holds, and the install folder made of it.
struct BoxCase {
    const char *box;
    const char *folder;
};

void ExpectFolders(const std::vector<BoxCase> &cases, LeadByteTest isLead)
{
    for (const BoxCase &c : cases)
        EXPECT_EQ(Normalise(c.box, isLead), c.folder) << "folder box \"" << c.box << "\"";
}

TEST(FolderText, TableOfExamples)
{
    ExpectFolders(
        {
            {"D:\\Tools\\  ", "D:\\Tools"},
            {"D:\\Tools\\\\", "D:\\Tools\\"},  // only one backslash goes
            {"C:\\", "C:"},
            {"\\", ""},
            {"   ", " "},  // index 0 is never a trailing space
            {"", ""},
            {"D:\\Tools", "D:\\Tools"},
            {"C:\\Program Files\\Microsoft Visual Studio\\Common\\MSDev98\\",
             "C:\\Program Files\\Microsoft Visual Studio\\Common\\MSDev98"},
        },
        NoLeadByte);
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

// In code page 932 the second byte of a character may be 0x5C: 表 is 95 5C,
// 表示 95 5C 8E A6. Such a byte is no backslash, and single-byte text reads
// as in any code page.
TEST(FolderText, TwoByteCodePage)
{
    ExpectFolders(
        {
            {"C:\\t\\\x95\x5c", "C:\\t\\\x95\x5c"},
            {"C:\\t\\\x95\x5c\\", "C:\\t\\\x95\x5c"},
            {"C:\\t\\\x95\x5c  ", "C:\\t\\\x95\x5c"},
            {"C:\\t\\\x95\x5c\x8e\xa6\\ ", "C:\\t\\\x95\x5c\x8e\xa6"},
            {"C:\\t\\\x95", "C:\\t\\\x95"},  // a lone lead byte stands alone
            {"D:\\Tools\\", "D:\\Tools"},
        },
        ShiftJisLeadByte);
    // The same bytes in a single-byte code page end in a backslash.
    EXPECT_EQ(Normalise("C:\\t\\\x95\x5c"), "C:\\t\\\x95");

    const std::string suggested = "C:\\t\\VS\\\x95\x5c\x8e\xa6";
    EXPECT_EQ(LastBackslash(suggested.data(), static_cast<int>(suggested.size()), ShiftJisLeadByte), 7);
    EXPECT_EQ(LastBackslash(suggested.data(), static_cast<int>(suggested.size()), NoLeadByte), 9);
    EXPECT_EQ(LastBackslash("\x95\x5c", 2, ShiftJisLeadByte), -1);
}

}  // namespace
