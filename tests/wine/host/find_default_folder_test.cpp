// FindDefaultFolder against the real per-user registry of the test prefix.
#include "host.h"
#include "payload.h"
#include "host_test_support.h"
#include <cstring>
#include <string>

namespace {

const std::string kDevStudio = "Software\\Microsoft\\DevStudio";

std::string DirectoriesKey(const char *version)
{
    return kDevStudio + "\\" + version + "\\Directories";
}

void SetInstallDirs(const char *version, DWORD type, const void *data, DWORD size)
{
    SetValue(DirectoriesKey(version), "Install Dirs", type, data, size);
}

void SetInstallDirsText(const char *version, const std::string &text)
{
    SetInstallDirs(version, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

struct Outcome {
    int result;
    std::string folder;
    bool terminated;  // a zero byte lies inside the 260 bytes
    char buffer[SETUP_PATH_MAX];
};

// Runs the probe on a buffer full of 'x', so a missing terminator shows.
Outcome Probe()
{
    Outcome outcome;
    std::memset(outcome.buffer, 'x', sizeof outcome.buffer);
    outcome.result = FindDefaultFolder(outcome.buffer, sizeof outcome.buffer);
    outcome.terminated = std::memchr(outcome.buffer, 0, sizeof outcome.buffer) != nullptr;
    outcome.folder = outcome.terminated ? std::string(outcome.buffer) : std::string();
    return outcome;
}

void ExpectFolder(const std::string &expected)
{
    Outcome outcome = Probe();
    CHECK(outcome.result == 1);
    CHECK(outcome.terminated);
    CHECK_TEXT(outcome.folder, expected);
}

void Reset()
{
    DeleteTree(kDevStudio);
    CHECK(!KeyExists(kDevStudio));
}

void TestPresence()
{
    BeginCase("no DevStudio key: 0 and the buffer untouched");
    Reset();
    Outcome outcome = Probe();
    CHECK(outcome.result == 0);
    CHECK(!outcome.terminated);

    BeginCase("DevStudio key without any version key");
    Reset();
    SetValue(kDevStudio, nullptr, 0, nullptr, 0);
    SetValue(kDevStudio + "\\4.0\\Directories", "Install Dirs", REG_SZ, "C:\\Old\\Bin", 11);
    SetValue(kDevStudio + "\\6.0", nullptr, 0, nullptr, 0);
    ExpectFolder("c:\\Corvane");
}

void TestVersionOrder()
{
    BeginCase("typical value: the parent folder, backslash kept");
    Reset();
    SetInstallDirsText("6.0", "C:\\Program Files\\Microsoft Visual Studio\\Common\\MSDev98\\Bin");
    ExpectFolder("C:\\Program Files\\Microsoft Visual Studio\\Common\\MSDev98\\");

    BeginCase("5.0 and 6.0 present: 5.0 wins");
    Reset();
    SetInstallDirsText("6.0", "D:\\Six\\Bin");
    SetInstallDirsText("5.0", "D:\\Five\\Bin");
    ExpectFolder("D:\\Five\\");

    BeginCase("6.0 without the value, 7.0 with one: the fallback");
    Reset();
    SetValue(DirectoriesKey("6.0"), "Other", REG_SZ, "x", 2);
    SetInstallDirsText("7.0", "D:\\Seven\\Bin");
    ExpectFolder("c:\\Corvane");

    BeginCase("only 9.0");
    Reset();
    SetInstallDirsText("9.0", "E:\\Nine\\Bin");
    ExpectFolder("E:\\Nine\\");
}

void TestCut()
{
    BeginCase("no backslash after index 0: whole value");
    Reset();
    SetInstallDirsText("6.0", "Bin");
    ExpectFolder("Bin");
    SetInstallDirsText("6.0", "\\Bin");
    ExpectFolder("\\Bin");

    BeginCase("value ending in a backslash stays as it is");
    Reset();
    SetInstallDirsText("6.0", "C:\\Tools\\");
    ExpectFolder("C:\\Tools\\");

    BeginCase("empty value: empty folder");
    Reset();
    SetInstallDirsText("6.0", "");
    ExpectFolder("");
    SetInstallDirs("6.0", REG_BINARY, "", 0);
    ExpectFolder("");

    BeginCase("259 characters fill the buffer with their terminator");
    Reset();
    std::string longest = "C:\\" + std::string(251, 'a') + "\\Bin\\";
    CHECK(longest.size() == 259);
    SetInstallDirsText("6.0", longest);
    ExpectFolder(longest);
    std::string longestBin = "C:\\" + std::string(252, 'a') + "\\Bin";
    SetInstallDirsText("6.0", longestBin);
    ExpectFolder("C:\\" + std::string(252, 'a') + "\\");

    BeginCase("more than 260 bytes: the fallback");
    Reset();
    SetInstallDirsText("6.0", "C:\\" + std::string(300, 'a') + "\\Bin");
    ExpectFolder("c:\\Corvane");
    SetInstallDirsText("6.0", "C:\\" + std::string(257, 'a'));  // 260 characters
    ExpectFolder("c:\\Corvane");
}

// The value's type is not checked, so the data may carry no terminator.
void TestUnterminated()
{
    BeginCase("string stored without its zero");
    Reset();
    SetInstallDirs("6.0", REG_SZ, "Bin", 3);
    ExpectFolder("Bin");
    SetInstallDirs("6.0", REG_SZ, "C:\\A\\Bin", 8);
    ExpectFolder("C:\\A\\");
    SetInstallDirs("6.0", REG_SZ, "C:\\A\\", 5);
    ExpectFolder("C:\\A\\");

    BeginCase("binary data");
    Reset();
    SetInstallDirs("6.0", REG_BINARY, "D:\\Tools\\Bin", 12);
    ExpectFolder("D:\\Tools\\");
    SetInstallDirs("6.0", REG_BINARY, "abc", 3);
    ExpectFolder("abc");
    const unsigned char dword[4] = {0x2A, 0x5C, 0x01, 0x02};  // '*', '\', 1, 2
    SetInstallDirs("6.0", REG_DWORD, dword, sizeof dword);
    ExpectFolder("*\\");

    BeginCase("exactly 260 bytes without a terminator: the fallback");
    Reset();
    std::string full = "C:\\" + std::string(253, 'b') + "\\Bin";
    CHECK(full.size() == 260);
    SetInstallDirs("6.0", REG_BINARY, full.data(), 260);
    ExpectFolder("c:\\Corvane");
    SetInstallDirs("6.0", REG_SZ, full.data(), 260);
    ExpectFolder("c:\\Corvane");

    BeginCase("260 bytes whose last is the terminator");
    Reset();
    std::string withZero = full.substr(0, 259);
    SetInstallDirs("6.0", REG_BINARY, withZero.c_str(), 260);
    ExpectFolder(full.substr(0, 257));
}

} // namespace

int main()
{
    TestPresence();
    TestVersionOrder();
    TestCut();
    TestUnterminated();
    Reset();
    return FinishChecks();
}
