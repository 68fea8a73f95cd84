// FindDefaultFolder against the real per-user registry of the test prefix.
#include "setup_run.h"
#include "payload.h"
#include <cstring>
#include <string>
#include <vector>

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

// A value's bytes exactly as stored, a literal's own zero left out.
template <size_t N>
std::string Bytes(const char (&literal)[N])
{
    return std::string(literal, N - 1);
}

std::string Text(const std::string &text)
{
    return text + '\0';
}

// One value of "6.0" and the folder the probe makes of it; a row with a
// label begins a case in a registry without Developer Studio's key.
struct ValueRow {
    const char *label;
    DWORD type;
    std::string data;
    std::string expected;
};

void ExpectValues(const std::vector<ValueRow> &rows)
{
    for (const ValueRow &row : rows) {
        if (row.label) {
            check::Case(row.label);
            Reset();
        }
        SetInstallDirs("6.0", row.type, row.data.data(), static_cast<DWORD>(row.data.size()));
        ExpectFolder(row.expected);
    }
}

const std::string kLong259 = "C:\\" + std::string(251, 'a') + "\\Bin\\";
const std::string kFull260 = "C:\\" + std::string(253, 'b') + "\\Bin";
const std::string kEdge259 = std::string(258, 'e') + "\\";

void TestCut()
{
    ExpectValues({
        {"no backslash after index 0: whole value", REG_SZ, Text("Bin"), "Bin"},
        {nullptr, REG_SZ, Text("\\Bin"), "\\Bin"},
        {"value ending in a backslash stays as it is", REG_SZ, Text("C:\\Tools\\"), "C:\\Tools\\"},
        {"empty value: empty folder", REG_SZ, Text(""), ""},
        {nullptr, REG_BINARY, "", ""},
        {"259 characters fill the buffer with their terminator", REG_SZ, Text(kLong259), kLong259},
        {nullptr, REG_SZ, Text("C:\\" + std::string(252, 'a') + "\\Bin"),
         "C:\\" + std::string(252, 'a') + "\\"},
        {"more than 260 bytes: the fallback", REG_SZ, Text("C:\\" + std::string(300, 'a') + "\\Bin"),
         kFallback},
        {nullptr, REG_SZ, Text("C:\\" + std::string(257, 'a')), kFallback},  // 260 characters
    });
}

// The value's type is not checked, so the data may carry no terminator.
void TestUnterminated()
{
    ExpectValues({
        {"string stored without its zero", REG_SZ, "Bin", "Bin"},
        {nullptr, REG_SZ, "C:\\A\\Bin", "C:\\A\\"},
        {nullptr, REG_SZ, "C:\\A\\", "C:\\A\\"},
        {"binary data", REG_BINARY, "D:\\Tools\\Bin", "D:\\Tools\\"},
        {nullptr, REG_BINARY, "abc", "abc"},
        {nullptr, REG_DWORD, Bytes("\x2A\x5C\x01\x02"), "*\\"},
        {"exactly 260 bytes without a terminator: the fallback", REG_BINARY, kFull260, kFallback},
        {nullptr, REG_SZ, kFull260, kFallback},
        {"260 bytes whose last is the terminator", REG_BINARY, Text(kFull260.substr(0, 259)),
         kFull260.substr(0, 257)},
    });
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
    ExpectValues({
        {"multi-string: one string to the cut, so the first item", REG_MULTI_SZ,
         Bytes("C:\\A\\Bin\0D:\\B\\Bin\0\0"), "C:\\A\\Bin"},
        {nullptr, REG_MULTI_SZ, Bytes("Tools\0D:\\B\\Bin\0\0"), "Tools"},
        {"expandable string: variables are not expanded", REG_EXPAND_SZ, Text("%SystemDrive%\\Tools\\Bin"),
         "%SystemDrive%\\Tools\\"},
        {"backslashes only", REG_SZ, Text("\\"), "\\"},
        {nullptr, REG_BINARY, "\\", "\\"},
        {nullptr, REG_SZ, Text("\\\\"), "\\\\"},
        {nullptr, REG_SZ, Text(std::string(259, '\\')), std::string(259, '\\')},
        {nullptr, REG_SZ, Text("\\\\\\Bin"), "\\\\\\"},
        {"259 unterminated bytes ending in a backslash", REG_BINARY, kEdge259, kEdge259},
        {nullptr, REG_BINARY, kEdge259 + "\\", kFallback},
        {"embedded zero, then more text", REG_BINARY, Bytes("C:\\A\0B\\C\\Bin"), "C:\\A"},
        {nullptr, REG_SZ, Bytes("\0C:\\A\\Bin\0"), ""},
        {"bytes outside ASCII", REG_BINARY, "\xE9\xFF\x80\\\xA0\xC4", "\xE9\xFF\x80\\"},
    });
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
