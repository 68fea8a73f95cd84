// FindDefaultFolder against the real per-user registry of the test prefix.
#include "setup_run.h"
#include "payload.h"
#include <cstring>
#include <string>

using namespace driver;

namespace {

const std::string kDevStudio = setup_run::kDevStudioKey;
// What the probe suggests when Developer Studio names no folder.
const char kFallback[] = FALLBACK_FOLDER;

std::string DirectoriesKey(const char *version)
{
    return kDevStudio + "\\" + version + "\\" DEVSTUDIO_DIRECTORIES_KEY;
}

void SetInstallDirs(const char *version, DWORD type, const void *data, DWORD size)
{
    SetValue(DirectoriesKey(version), DEVSTUDIO_INSTALL_DIRS, type, data, size);
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
    CHECK_EQ(outcome.folder, expected);
}

void Reset()
{
    DeleteTree(kDevStudio);
    CHECK(!KeyExists(kDevStudio));
}

void TestPresence()
{
    check::Case("no DevStudio key: 0 and the buffer untouched");
    Reset();
    Outcome outcome = Probe();
    CHECK(outcome.result == 0);
    CHECK(!outcome.terminated);

    check::Case("DevStudio key without any version key");
    Reset();
    SetValue(kDevStudio, nullptr, 0, nullptr, 0);
    SetValue(DirectoriesKey("4.0"), DEVSTUDIO_INSTALL_DIRS, REG_SZ, "C:\\Old\\Bin", 11);
    SetValue(kDevStudio + "\\6.0", nullptr, 0, nullptr, 0);
    ExpectFolder(kFallback);
}

void TestVersionOrder()
{
    check::Case("typical value: the parent folder, backslash kept");
    Reset();
    SetInstallDirsText("6.0", "C:\\Program Files\\Microsoft Visual Studio\\Common\\MSDev98\\Bin");
    ExpectFolder("C:\\Program Files\\Microsoft Visual Studio\\Common\\MSDev98\\");

    check::Case("5.0 and 6.0 present: 5.0 wins");
    Reset();
    SetInstallDirsText("6.0", "D:\\Six\\Bin");
    SetInstallDirsText("5.0", "D:\\Five\\Bin");
    ExpectFolder("D:\\Five\\");

    check::Case("6.0 without the value, 7.0 with one: the fallback");
    Reset();
    SetValue(DirectoriesKey("6.0"), "Other", REG_SZ, "x", 2);
    SetInstallDirsText("7.0", "D:\\Seven\\Bin");
    ExpectFolder(kFallback);

    check::Case("only 9.0");
    Reset();
    SetInstallDirsText("9.0", "E:\\Nine\\Bin");
    ExpectFolder("E:\\Nine\\");
}

void TestVersions()
{
    TestPresence();
    TestVersionOrder();
}

void TestCut()
{
    check::Case("no backslash after index 0: whole value");
    Reset();
    SetInstallDirsText("6.0", "Bin");
    ExpectFolder("Bin");
    SetInstallDirsText("6.0", "\\Bin");
    ExpectFolder("\\Bin");

    check::Case("value ending in a backslash stays as it is");
    Reset();
    SetInstallDirsText("6.0", "C:\\Tools\\");
    ExpectFolder("C:\\Tools\\");

    check::Case("empty value: empty folder");
    Reset();
    SetInstallDirsText("6.0", "");
    ExpectFolder("");
    SetInstallDirs("6.0", REG_BINARY, "", 0);
    ExpectFolder("");

    check::Case("259 characters fill the buffer with their terminator");
    Reset();
    std::string longest = "C:\\" + std::string(251, 'a') + "\\Bin\\";
    CHECK(longest.size() == 259);
    SetInstallDirsText("6.0", longest);
    ExpectFolder(longest);
    std::string longestBin = "C:\\" + std::string(252, 'a') + "\\Bin";
    SetInstallDirsText("6.0", longestBin);
    ExpectFolder("C:\\" + std::string(252, 'a') + "\\");

    check::Case("more than 260 bytes: the fallback");
    Reset();
    SetInstallDirsText("6.0", "C:\\" + std::string(300, 'a') + "\\Bin");
    ExpectFolder(kFallback);
    SetInstallDirsText("6.0", "C:\\" + std::string(257, 'a'));  // 260 characters
    ExpectFolder(kFallback);
}

// The value's type is not checked, so the data may carry no terminator.
void TestUnterminated()
{
    check::Case("string stored without its zero");
    Reset();
    SetInstallDirs("6.0", REG_SZ, "Bin", 3);
    ExpectFolder("Bin");
    SetInstallDirs("6.0", REG_SZ, "C:\\A\\Bin", 8);
    ExpectFolder("C:\\A\\");
    SetInstallDirs("6.0", REG_SZ, "C:\\A\\", 5);
    ExpectFolder("C:\\A\\");

    check::Case("binary data");
    Reset();
    SetInstallDirs("6.0", REG_BINARY, "D:\\Tools\\Bin", 12);
    ExpectFolder("D:\\Tools\\");
    SetInstallDirs("6.0", REG_BINARY, "abc", 3);
    ExpectFolder("abc");
    const unsigned char dword[4] = {0x2A, 0x5C, 0x01, 0x02};  // '*', '\', 1, 2
    SetInstallDirs("6.0", REG_DWORD, dword, sizeof dword);
    ExpectFolder("*\\");

    check::Case("exactly 260 bytes without a terminator: the fallback");
    Reset();
    std::string full = "C:\\" + std::string(253, 'b') + "\\Bin";
    CHECK(full.size() == 260);
    SetInstallDirs("6.0", REG_BINARY, full.data(), 260);
    ExpectFolder(kFallback);
    SetInstallDirs("6.0", REG_SZ, full.data(), 260);
    ExpectFolder(kFallback);

    check::Case("260 bytes whose last is the terminator");
    Reset();
    std::string withZero = full.substr(0, 259);
    SetInstallDirs("6.0", REG_BINARY, withZero.c_str(), 260);
    ExpectFolder(full.substr(0, 257));
}

// The expected result of a value as the probe reads it: the bytes the ANSI
// read gives, cut after the last backslash at index 1 or later.
std::string CutAsProbe(const std::string &bytes)
{
    size_t cut = bytes.find_last_of('\\');
    std::string kept = (cut == std::string::npos || cut == 0) ? bytes : bytes.substr(0, cut + 1);
    return kept.substr(0, kept.find('\0'));
}

void SetInstallDirsWide(const std::wstring &text, DWORD size)
{
    HKEY created;
    CHECK(RegCreateKeyExW(HKEY_CURRENT_USER, L"" DEVSTUDIO_KEY "\\6.0\\" DEVSTUDIO_DIRECTORIES_KEY, 0,
                          nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr) == ERROR_SUCCESS);
    CHECK(RegSetValueExW(created, L"" DEVSTUDIO_INSTALL_DIRS, 0, REG_SZ,
                         reinterpret_cast<const BYTE *>(text.c_str()), size) == ERROR_SUCCESS);
    RegCloseKey(created);
}

// Values no Developer Studio writes: whatever they hold, the result is a
// terminated string inside the buffer.
void TestHostileValues()
{
    check::Case("multi-string: one string to the cut, so the first item");
    Reset();
    const char multi[] = "C:\\A\\Bin\0D:\\B\\Bin\0";  // and the final zero
    SetInstallDirs("6.0", REG_MULTI_SZ, multi, sizeof multi);
    ExpectFolder("C:\\A\\Bin");
    const char multiCut[] = "Tools\0D:\\B\\Bin\0";
    SetInstallDirs("6.0", REG_MULTI_SZ, multiCut, sizeof multiCut);
    ExpectFolder("Tools");

    check::Case("expandable string: variables are not expanded");
    Reset();
    std::string expand = "%SystemDrive%\\Tools\\Bin";
    SetInstallDirs("6.0", REG_EXPAND_SZ, expand.c_str(), static_cast<DWORD>(expand.size() + 1));
    ExpectFolder("%SystemDrive%\\Tools\\");

    check::Case("backslashes only");
    Reset();
    SetInstallDirsText("6.0", "\\");
    ExpectFolder("\\");
    SetInstallDirs("6.0", REG_BINARY, "\\", 1);
    ExpectFolder("\\");
    SetInstallDirsText("6.0", "\\\\");
    ExpectFolder("\\\\");
    SetInstallDirsText("6.0", std::string(259, '\\'));
    ExpectFolder(std::string(259, '\\'));
    SetInstallDirsText("6.0", "\\\\\\Bin");
    ExpectFolder("\\\\\\");

    check::Case("259 unterminated bytes ending in a backslash");
    Reset();
    std::string edge = std::string(258, 'e') + "\\";
    SetInstallDirs("6.0", REG_BINARY, edge.data(), 259);
    ExpectFolder(edge);
    SetInstallDirs("6.0", REG_BINARY, (edge + "\\").data(), 260);
    ExpectFolder(kFallback);

    check::Case("embedded zero, then more text");
    Reset();
    const char embedded[] = "C:\\A\0B\\C\\Bin";
    SetInstallDirs("6.0", REG_BINARY, embedded, sizeof embedded - 1);
    ExpectFolder("C:\\A");
    const char leadingZero[] = "\0C:\\A\\Bin";
    SetInstallDirs("6.0", REG_SZ, leadingZero, sizeof leadingZero);
    ExpectFolder("");

    check::Case("bytes outside ASCII");
    Reset();
    const char high[] = "\xE9\xFF\x80\\\xA0\xC4";
    SetInstallDirs("6.0", REG_BINARY, high, sizeof high - 1);
    ExpectFolder("\xE9\xFF\x80\\");
    std::string accented = "C:\\Programme\\\xDC"
                           "bersetzer\\Bin";
    SetInstallDirsText("6.0", accented);
    std::string stored = ReadStringValue(DirectoriesKey("6.0"), DEVSTUDIO_INSTALL_DIRS);
    ExpectFolder(CutAsProbe(stored));
    CHECK(stored.size() == accented.size());

    check::Case("written through the wide interface");
    Reset();
    std::wstring wide = L"C:\\" + std::wstring(252, L'w') + L"\\Bin";  // 259
    SetInstallDirsWide(wide, static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    ExpectFolder("C:\\" + std::string(252, 'w') + "\\");
    wide += L"x";  // 260: no room for the terminator
    SetInstallDirsWide(wide, static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    ExpectFolder(kFallback);
    std::wstring odd = L"C:\\Odd\\Bin";
    SetInstallDirsWide(odd, static_cast<DWORD>(odd.size() * sizeof(wchar_t) - 1));
    Outcome outcome = Probe();
    CHECK(outcome.result == 1);
    CHECK(outcome.terminated);
}

}  // namespace

int main(int argc, char **argv)
{
    // ctest runs each case as host.find_default_folder.<name>; CMake reads
    // the names from this table (wine_cases), one {"name", Function} a line.
    const std::map<std::string, void (*)()> cases = {
        {"versions", TestVersions},
        {"cut", TestCut},
        {"unterminated", TestUnterminated},
        {"hostile_values", TestHostileValues},
    };
    auto found = check::FindCase(argc, argv, cases, "CASE");
    if (!found)
        return 2;
    (*found)();
    Reset();
    return check::Finish();
}
