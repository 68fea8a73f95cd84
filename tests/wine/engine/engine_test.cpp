// The install engine's extraction run and folder rules, run for real under
// Wine: each case names one situation; the test command runs one case.
// Drive X: is mapped by the test command to a fresh scratch folder.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "engine_test_ids.h"
#include "engine_test_support.h"
#include "payload.h"
#include "szdd_format.h"

HINSTANCE g_hInstance;
HWND g_dialog;

namespace {

// The shipped payload, and the product folder it was packed from.
Bytes ShippedPayload()
{
    return ReadFileBytes(ArtefactPath("shipped.bin"));
}
std::string ShippedContent(const std::string &relative)
{
    return ArtefactPath("shipped\\" + relative);
}
// One file compressed by xpack, and its expanded form.
Bytes SampleSzdd()
{
    return ReadFileBytes(ArtefactPath("sample.szdd"));
}
Bytes SamplePlain()
{
    return ReadFileBytes(ArtefactPath("sample.txt"));
}

int RunWith(HMODULE module, const std::string &folderText)
{
    g_hInstance = module;
    PrepareDialog(g_dialog, folderText);
    return ExtractPayload(g_dialog);
}

int Run(const Bytes &payload, const std::string &folderText, bool withPayload = true)
{
    return RunWith(MakePayloadModule(payload, withPayload), folderText);
}

void CheckOneBox(const char *text, IconKind icon)
{
    CHECK_EQ(Boxes().size(), 1u);
    if (Boxes().empty())
        return;
    CHECK_EQ(Boxes()[0].text, text);
    CHECK_EQ(Boxes()[0].title, SETUP_TITLE);
    CHECK_EQ(Boxes()[0].icon, icon);
    CHECK(Boxes()[0].owner == NULL);
}

void CheckRefusedUntouched()
{
    CHECK(IsShown(g_dialog, IDC_FOLDER));
    CHECK(!IsShown(g_dialog, IDC_PROGRESS));
    CHECK(GetFocus() == GetDlgItem(g_dialog, IDC_FOLDER));
    CHECK_EQ(g_progress.size(), 0u);
}

void CheckSwapped()
{
    CHECK(!IsShown(g_dialog, IDC_FOLDER));
    CHECK(IsShown(g_dialog, IDC_PROGRESS));
}

std::vector<WPARAM> Positions()
{
    std::vector<WPARAM> positions;
    for (const ProgressSeen &seen : g_progress) {
        if (seen.message == PBM_SETPOS)
            positions.push_back(seen.wParam);
    }
    return positions;
}

void CheckRange(size_t payloadSize)
{
    CHECK(!g_progress.empty() && g_progress[0].message == PBM_SETRANGE);
    if (!g_progress.empty()) {
        CHECK_EQ(g_progress[0].wParam, 0u);
        CHECK_EQ((unsigned long)g_progress[0].lParam,
                 (unsigned long)MAKELPARAM(0, payloadSize / PROGRESS_UNIT));
    }
}

void CheckSameFile(const std::string &installed, const std::string &original)
{
    CHECK(Exists(installed));
    CHECK(ReadFileBytes(installed) == ReadFileBytes(original));
}

// --- the shipped sequence, observed at every message to the bar.
struct SequenceWatch {
    std::vector<std::string> paths;
    std::string folder;
    size_t reached = 0;
    bool rangeSeenAfterFolder = false;
    bool orderHeld = true;
    bool tempLeftOver = false;
} g_watch;

void WatchSequence(const ProgressSeen &seen)
{
    if (Exists(TempFilePath()))
        g_watch.tempLeftOver = true;
    if (seen.message == PBM_SETRANGE) {
        g_watch.rangeSeenAfterFolder = IsDirectory(g_watch.folder) && !Exists(g_watch.paths[0]);
        return;
    }
    // After the k-th entry, entries up to k exist and none after it.
    size_t k = g_watch.reached++;
    for (size_t i = 0; i < g_watch.paths.size(); ++i) {
        if (Exists(g_watch.paths[i]) != (i <= k)) {
            std::printf("after entry %u: %s %s\n", (unsigned)k, g_watch.paths[i].c_str(),
                        i <= k ? "missing" : "already there");
            g_watch.orderHeld = false;
        }
    }
}

void CaseShippedSequence()
{
    Bytes payload = ShippedPayload();
    std::vector<EntrySeen> entries = ListEntries(payload);
    CHECK_EQ(entries.size(), 11u);
    g_watch = SequenceWatch();
    g_watch.folder = "X:\\Setup";
    g_watch.paths = Destinations(entries, "X:\\Setup\\");

    g_hInstance = MakePayloadModule(payload);
    PrepareDialog(g_dialog, "X:\\Setup");
    g_onProgress = WatchSequence;
    CHECK_EQ(ExtractPayload(g_dialog), 1);

    CHECK_EQ(Boxes().size(), 0u);
    CheckSwapped();
    CheckRange(payload.size());
    CHECK(g_watch.rangeSeenAfterFolder);
    CHECK(g_watch.orderHeld);
    CHECK(!g_watch.tempLeftOver);
    CHECK(!Exists(TempFilePath()));
    std::vector<WPARAM> positions = Positions();
    CHECK_EQ(positions.size(), entries.size());
    for (size_t i = 0; i < positions.size() && i < entries.size(); ++i)
        CHECK_EQ(positions[i], (WPARAM)(entries[i].end / PROGRESS_UNIT));
    CHECK(!positions.empty() && positions.back() == payload.size() / PROGRESS_UNIT);
    CHECK_EQ(std::string(g_szTopFolder), "Addins");
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].isDirectory) {
            CHECK(IsDirectory(g_watch.paths[i]));
        } else {
            std::string relative = g_watch.paths[i].substr(std::strlen("X:\\Setup\\"));
            CheckSameFile(g_watch.paths[i], ShippedContent(relative));
        }
    }
}

// A failed run, then a second run on the same text once the cause is gone:
// everything is written again, damaged files included.
void CaseSecondRunOverwrites()
{
    Bytes payload = ShippedPayload();
    CreateDirectoryA("X:\\Again", NULL);
    CreateDirectoryA("X:\\Again\\Addins", NULL);
    WriteFileBytes("X:\\Again\\Addins\\QUENBRIK", Bytes{'b', 'l', 'o', 'c', 'k'});
    CHECK_EQ(Run(payload, "X:\\Again"), 0);
    CheckOneBox(MSG_ENTRY_FAILED, IconKind::Error);
    CheckSameFile("X:\\Again\\Addins\\QUENBRIK.DLL", ShippedContent("Addins\\QUENBRIK.DLL"));
    CHECK(!Exists(TempFilePath()));

    DeleteFileA("X:\\Again\\Addins\\QUENBRIK");
    WriteFileBytes("X:\\Again\\Addins\\QUENBRIK.DLL", Bytes(70000, 'g'));
    WriteFileBytes("X:\\Again\\Addins\\QUENBRIK.HLP", Bytes());
    // The box stays hidden between runs; the run reads its text anyway.
    Boxes().clear();
    g_progress.clear();
    CHECK_EQ(ExtractPayload(g_dialog), 1);
    CHECK_EQ(Boxes().size(), 0u);
    CheckSameFile("X:\\Again\\Addins\\QUENBRIK.DLL", ShippedContent("Addins\\QUENBRIK.DLL"));
    CheckSameFile("X:\\Again\\Addins\\QUENBRIK.HLP", ShippedContent("Addins\\QUENBRIK.HLP"));
    CheckSameFile("X:\\Again\\Addins\\QUENBRIK\\README6.JPG",
                  ShippedContent("Addins\\QUENBRIK\\README6.JPG"));
    CHECK(!Exists(TempFilePath()));
}

void CaseMissingParent()
{
    Bytes payload = ShippedPayload();
    CHECK_EQ(Run(payload, "X:\\A\\B"), 0);
    CHECK(!Exists("X:\\A"));
    CheckOneBox(MSG_ENTRY_FAILED, IconKind::Error);
    CheckSwapped();
    std::vector<EntrySeen> entries = ListEntries(payload);
    std::vector<WPARAM> positions = Positions();
    CHECK_EQ(positions.size(), 2u);  // "Addins\" and the failed first file
    if (positions.size() == 2)
        CHECK_EQ(positions[1], (WPARAM)(entries[1].end / PROGRESS_UNIT));
    CHECK(!Exists(TempFilePath()));
}

void CaseExistsAsFile()
{
    Bytes original{'k', 'e', 'e', 'p'};
    WriteFileBytes("X:\\Taken", original);
    lstrcpyA(g_szTopFolder, "Before");
    CHECK_EQ(Run(ShippedPayload(), "X:\\Taken\\ "), 0);
    CheckOneBox(MSG_EXISTS_AS_FILE, IconKind::Information);
    CheckRefusedUntouched();
    CHECK(ReadFileBytes("X:\\Taken") == original);
    CHECK_EQ(std::string(g_szTopFolder), "Before");
    CHECK(!Exists(TempFilePath()));
}

// Payload: Top\ one.txt Top\Sub\ two.txt Top\ three.txt, with Top\Sub
// blocked by a file so that two.txt cannot be created.
void CaseSecondFileFails()
{
    Bytes payload;
    AddDirectory(payload, "Top\\");
    AddFile(payload, "one.txt", SampleSzdd());
    AddDirectory(payload, "Top\\Sub\\");
    AddFile(payload, "two.txt", SampleSzdd());
    AddDirectory(payload, "Top\\");
    AddFile(payload, "three.txt", SampleSzdd());
    CreateDirectoryA("X:\\Inst", NULL);
    CreateDirectoryA("X:\\Inst\\Top", NULL);
    WriteFileBytes("X:\\Inst\\Top\\Sub", Bytes{'x'});

    CHECK_EQ(Run(payload, "X:\\Inst"), 0);
    CheckOneBox(MSG_ENTRY_FAILED, IconKind::Error);
    CHECK(ReadFileBytes("X:\\Inst\\Top\\one.txt") == SamplePlain());
    CHECK(!Exists("X:\\Inst\\Top\\three.txt"));
    CHECK(!Exists(TempFilePath()));
    std::vector<EntrySeen> entries = ListEntries(payload);
    std::vector<WPARAM> positions = Positions();
    CHECK_EQ(positions.size(), 4u);
    if (positions.size() == 4)
        CHECK_EQ(positions[3], (WPARAM)(entries[3].end / PROGRESS_UNIT));
}

void CaseBareDrive()
{
    Bytes payload = ShippedPayload();
    CHECK_EQ(Run(payload, "X:\\"), 1);
    CHECK_EQ(Boxes().size(), 0u);
    CheckSameFile("X:\\Addins\\QUENBRIK.DLL", ShippedContent("Addins\\QUENBRIK.DLL"));
    CheckSameFile("X:\\Addins\\QUENBRIK\\README.HTM", ShippedContent("Addins\\QUENBRIK\\README.HTM"));
    char component[SETUP_PATH_MAX];
    CHECK_EQ(ComponentFolderPath(g_dialog, component), 1);
    CHECK_EQ(std::string(component), "X:\\Addins");
}

void CaseEmptyPayload()
{
    lstrcpyA(g_szTopFolder, "Before");
    // UpdateResource cannot store an empty resource; this module was built
    // with one.
    HMODULE module =
        LoadLibraryExA(ArtefactPath("engine_empty_payload.dll").c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    CHECK(module != NULL);
    HRSRC resource = FindResourceA(module, PAYLOAD_RESOURCE_NAME, PAYLOAD_RESOURCE_TYPE);
    CHECK(resource != NULL && SizeofResource(module, resource) == 0);
    CHECK_EQ(RunWith(module, "X:\\Empty"), 1);
    CHECK_EQ(Boxes().size(), 0u);
    CheckSwapped();
    CHECK_EQ(g_progress.size(), 1u);
    CheckRange(0);
    CHECK_EQ(std::string(g_szTopFolder), "");
    CHECK(IsDirectory("X:\\Empty"));
    CHECK_EQ(driver::ListFolder("X:\\Empty").size(), 0u);
}

void CaseNoPayloadResource()
{
    CHECK_EQ(Run(Bytes(), "X:\\NoPayload", false), 0);
    CHECK_EQ(Boxes().size(), 0u);
    CHECK(IsShown(g_dialog, IDC_FOLDER));
    CHECK(!IsShown(g_dialog, IDC_PROGRESS));
    CHECK(IsDirectory("X:\\NoPayload"));  // made before the payload was looked for
}

// The top folder is the first entry's first component, cut to 12, whatever
// the entry's kind; files before any directory land in the install root.
void CaseTopFolderRules()
{
    Bytes fileFirst;
    AddFile(fileFirst, "FIRST-OF-ALL.TXT", SampleSzdd());
    AddDirectory(fileFirst, "Dir\\");
    AddFile(fileFirst, "two.txt", SamplePlain());
    CHECK_EQ(Run(fileFirst, "X:\\Files"), 1);
    CHECK_EQ(std::string(g_szTopFolder), "FIRST-OF-ALL");
    CHECK(ReadFileBytes("X:\\Files\\FIRST-OF-ALL.TXT") == SamplePlain());
    CHECK(ReadFileBytes("X:\\Files\\Dir\\two.txt") == SamplePlain());

    Bytes longTop;
    AddDirectory(longTop, "AVeryLongTopFolder\\");
    AddDirectory(longTop, "AVeryLongTopFolder\\Inner\\");
    AddFile(longTop, "inner.txt", SampleSzdd());
    CHECK_EQ(Run(longTop, "X:\\Long"), 1);
    CHECK_EQ(std::string(g_szTopFolder), "AVeryLongTop");
    // Directory names are relative to the root, not to the previous one.
    CHECK(ReadFileBytes("X:\\Long\\AVeryLongTopFolder\\Inner\\inner.txt") == SamplePlain());
    CHECK(!Exists("X:\\Long\\AVeryLongTopFolder\\AVeryLongTopFolder"));
    char component[SETUP_PATH_MAX];
    CHECK_EQ(ComponentFolderPath(g_dialog, component), 1);
    CHECK_EQ(std::string(component), "X:\\Long\\AVeryLongTop");
}

void CaseZeroLengthFile()
{
    Bytes payload;
    AddDirectory(payload, "Top\\");
    AddFile(payload, "empty.txt", Bytes());
    AddFile(payload, "after.txt", SampleSzdd());
    CHECK_EQ(Run(payload, "X:\\Zero"), 1);
    CHECK_EQ(Boxes().size(), 0u);
    CHECK(Exists("X:\\Zero\\Top\\empty.txt"));
    CHECK_EQ(ReadFileBytes("X:\\Zero\\Top\\empty.txt").size(), 0u);
    CHECK(ReadFileBytes("X:\\Zero\\Top\\after.txt") == SamplePlain());
    CHECK(!Exists(TempFilePath()));
}

// Damaged payloads: the good entries before the damage are installed, then
// one error box and result 0, with nothing read past the end.
void CaseMalformedPayloads()
{
    struct Damage {
        const char *what;
        Bytes tail;
    };
    std::vector<Damage> damages;
    damages.push_back({"name without terminator", Bytes{'L', 'O', 'S', 'T'}});
    damages.push_back({"length field cut short", Bytes{'F', 0, 1, 0}});
    Bytes pastEnd;
    AddFile(pastEnd, "F", Bytes(30, 'd'));
    pastEnd[2] = 31;  // N one more than the data there is
    damages.push_back({"data past the end", pastEnd});
    Bytes huge{'F', 0, 0xFF, 0xFF, 0xFF, 0xFF, 'd'};
    damages.push_back({"length near 4 GB", huge});

    int index = 0;
    for (const Damage &damage : damages) {
        std::printf("damage: %s\n", damage.what);
        Bytes payload;
        AddDirectory(payload, "Top\\");
        AddFile(payload, "good.txt", SampleSzdd());
        AddRaw(payload, damage.tail);
        std::string folder = "X:\\Damaged" + std::to_string(++index);
        CHECK_EQ(Run(payload, folder), 0);
        CheckOneBox(MSG_PAYLOAD_DAMAGED, IconKind::Error);
        CHECK(ReadFileBytes(folder + "\\Top\\good.txt") == SamplePlain());
        CHECK(!Exists(folder + "\\Top\\F"));
        CHECK(!Exists(TempFilePath()));
        std::vector<WPARAM> positions = Positions();
        CHECK_EQ(positions.size(), 2u);
    }
}

// An install root over 259 characters is refused like a file name; one of
// exactly 259 is taken, and what does not fit beneath it fails.
void CaseLongFolders()
{
    std::string parent = "X:\\" + std::string(128, 'b');
    CreateDirectoryA(parent.c_str(), NULL);

    std::string tooLong = parent + "\\" + std::string(127, 'c');
    CHECK_EQ(tooLong.size(), 259u);
    CHECK_EQ(Run(ShippedPayload(), tooLong), 0);
    CheckOneBox(MSG_FOLDER_TOO_LONG, IconKind::Information);
    CheckRefusedUntouched();
    CHECK(!Exists(tooLong));

    std::string longest = parent + "\\" + std::string(126, 'c');  // root: 259
    CHECK_EQ(Run(ShippedPayload(), longest), 0);
    CheckOneBox(MSG_ENTRY_FAILED, IconKind::Error);
    CHECK(IsDirectory(longest));
    CHECK(!Exists(longest + "\\Addins"));
    CHECK(!Exists(TempFilePath()));

    // Directory entries: 259 characters are created, 260 are not, and a
    // file whose path would pass 259 fails.
    std::string first = std::string(200, 'd') + "\\";
    Bytes payload;
    AddDirectory(payload, first);
    AddDirectory(payload, first + std::string(52, 'e') + "\\");
    AddDirectory(payload, first + std::string(53, 'f') + "\\");
    AddFile(payload, "f.txt", SampleSzdd());
    CHECK_EQ(Run(payload, "X:\\L"), 0);
    CheckOneBox(MSG_ENTRY_FAILED, IconKind::Error);
    std::string fits = "X:\\L\\" + first + std::string(52, 'e');
    CHECK_EQ(fits.size() + 1, 259u);
    CHECK(IsDirectory(fits));
    CHECK(!Exists("X:\\L\\" + first + std::string(53, 'f')));
    CHECK(!Exists(fits + "\\f.txt"));
    CHECK(!Exists("X:\\L\\f.txt"));
    CHECK(!Exists("X:\\L\\" + first + "f.txt"));
    CHECK(!Exists(TempFilePath()));
}

// A file entry whose data the platform cannot expand to the promised
// length is a failed entry, not a success.
void CaseExpansionFailures()
{
    Bytes lying = SampleSzdd();
    lying[SZDD_LENGTH_OFFSET] += 1;  // the header promises one byte more than the body gives
    Bytes payload;
    AddDirectory(payload, "Top\\");
    AddFile(payload, "lying.txt", lying);
    AddFile(payload, "later.txt", SampleSzdd());
    CHECK_EQ(Run(payload, "X:\\Lying"), 0);
    CheckOneBox(MSG_ENTRY_FAILED, IconKind::Error);
    CHECK(!Exists("X:\\Lying\\Top\\lying.txt"));  // what was copied is removed again
    CHECK(!Exists("X:\\Lying\\Top\\later.txt"));
    CHECK(!Exists(TempFilePath()));

    Bytes unknownMethod = SampleSzdd();
    unknownMethod[SZDD_METHOD_OFFSET] = 'B';  // expands to other than the promised length
    Bytes second;
    AddDirectory(second, "Top\\");
    AddFile(second, "method.txt", unknownMethod);
    CHECK_EQ(Run(second, "X:\\Method"), 0);
    CheckOneBox(MSG_ENTRY_FAILED, IconKind::Error);
    CHECK(!Exists("X:\\Method\\Top\\method.txt"));
    CHECK(!Exists(TempFilePath()));
}

// The temporary file's name taken by something the run did not make (here
// a folder with a file in it): that is left alone, the file is made under
// another name beside it and removed again. Then no usable temporary
// directory: the first file entry fails, the directories before it are made.
void CaseTemporaryFile()
{
    std::string temp = TempFilePath();
    std::string tempFolder = temp.substr(0, temp.rfind('\\'));
    CHECK(CreateDirectoryA(temp.c_str(), NULL));
    WriteFileBytes(temp + "\\kept.txt", Bytes{'k'});
    Bytes payload;
    AddDirectory(payload, "Top\\");
    AddFile(payload, "one.txt", SampleSzdd());
    AddFile(payload, "two.txt", SampleSzdd());
    CHECK_EQ(Run(payload, "X:\\Taken"), 1);
    CHECK_EQ(Boxes().size(), 0u);
    CHECK(ReadFileBytes("X:\\Taken\\Top\\one.txt") == SamplePlain());
    CHECK(ReadFileBytes("X:\\Taken\\Top\\two.txt") == SamplePlain());
    CHECK(IsDirectory(temp));
    CHECK(ReadFileBytes(temp + "\\kept.txt") == Bytes{'k'});
    for (const driver::FolderItem &item : driver::ListFolder(tempFolder))
        CHECK(item.name.rfind("xpk", 0) != 0 || item.name == TEMP_FILE_NAME);
    driver::RemoveTree(temp);

    // A temporary directory that leaves no room for the file's name. The
    // modules are made first: updating resources needs the temporary
    // directory too.
    HMODULE noRoom = MakePayloadModule(payload);
    HMODULE noTemp = MakePayloadModule(payload);
    std::string longTemp = "X:\\" + std::string(120, 't') + "\\" + std::string(125, 'u');
    CreateDirectoryA(("X:\\" + std::string(120, 't')).c_str(), NULL);
    CreateDirectoryA(longTemp.c_str(), NULL);
    SetEnvironmentVariableA("TMP", longTemp.c_str());
    SetEnvironmentVariableA("TEMP", longTemp.c_str());
    char reported[MAX_PATH + 1] = "";
    DWORD length = GetTempPathA(MAX_PATH, reported);
    std::printf("temporary directory now: %lu characters\n", length);
    CHECK(length > 248 && length < MAX_PATH);
    CHECK_EQ(RunWith(noRoom, "X:\\NoTemp"), 0);
    CheckOneBox(MSG_ENTRY_FAILED, IconKind::Error);
    CHECK(IsDirectory("X:\\NoTemp\\Top"));
    CHECK(!Exists(longTemp + "\\" TEMP_FILE_NAME));

    // One the platform cannot report at all.
    std::string tooLong = longTemp + "\\" + std::string(40, 'v');
    SetEnvironmentVariableA("TMP", tooLong.c_str());
    SetEnvironmentVariableA("TEMP", tooLong.c_str());
    CHECK_EQ(RunWith(noTemp, "X:\\NoTemp2"), 0);
    CheckOneBox(MSG_ENTRY_FAILED, IconKind::Error);
    CHECK(IsDirectory("X:\\NoTemp2\\Top"));
}

void CaseFolderPaths()
{
    char buffer[SETUP_PATH_MAX + 16];
    std::memset(buffer, '#', sizeof buffer);
    lstrcpyA(g_szTopFolder, "Addins");
    struct Case {
        const char *box;
        const char *folder;
        const char *component;
    } cases[] = {
        {"C:\\", "C:", "C:\\Addins"},
        {"", "", "\\Addins"},
        {"D:\\Tools\\  ", "D:\\Tools", "D:\\Tools\\Addins"},
        {"D:\\Tools\\\\", "D:\\Tools\\", "D:\\Tools\\\\Addins"},
        {"   ", " ", " \\Addins"},
    };
    for (const Case &c : cases) {
        PrepareDialog(g_dialog, c.box);
        ReadInstallFolder(g_dialog, buffer);
        CHECK_EQ(std::string(buffer), std::string(c.folder));
        CHECK_EQ(ComponentFolderPath(g_dialog, buffer), 1);
        CHECK_EQ(std::string(buffer), std::string(c.component));
    }
    // The box is read anew on every call.
    SetDlgItemTextA(g_dialog, IDC_FOLDER, "E:\\Other");
    CHECK_EQ(ComponentFolderPath(g_dialog, buffer), 1);
    CHECK_EQ(std::string(buffer), "E:\\Other\\Addins");

    // Too long for the component folder: refused, nothing past the buffer.
    std::string longText(255, 'p');
    PrepareDialog(g_dialog, longText);
    CHECK_EQ(ComponentFolderPath(g_dialog, buffer), 0);
    CHECK_EQ(std::string(buffer), longText);
    // A box holding more than fits is read as its first 259 characters.
    PrepareDialog(g_dialog, std::string(400, 'q'));
    ReadInstallFolder(g_dialog, buffer);
    CHECK_EQ(std::string(buffer), std::string(259, 'q'));
    for (size_t i = SETUP_PATH_MAX; i < sizeof buffer; ++i)
        CHECK_EQ(buffer[i], '#');
    CHECK_EQ(Boxes().size(), 0u);
}

}  // namespace

int main(int argc, char **argv)
{
    // ctest runs each case as engine.<name>; CMake reads the names from
    // this table (wine_cases), one {"name", Function} a line.
    const std::map<std::string, void (*)()> cases = {
        {"shipped_sequence", CaseShippedSequence},
        {"second_run_overwrites", CaseSecondRunOverwrites},
        {"missing_parent", CaseMissingParent},
        {"exists_as_file", CaseExistsAsFile},
        {"second_file_fails", CaseSecondFileFails},
        {"bare_drive", CaseBareDrive},
        {"empty_payload", CaseEmptyPayload},
        {"no_payload_resource", CaseNoPayloadResource},
        {"top_folder_rules", CaseTopFolderRules},
        {"zero_length_file", CaseZeroLengthFile},
        {"malformed_payloads", CaseMalformedPayloads},
        {"long_folders", CaseLongFolders},
        {"expansion_failures", CaseExpansionFailures},
        {"temporary_file", CaseTemporaryFile},
        {"folder_paths", CaseFolderPaths},
        {"folder_texts", CaseFolderTexts},
        {"rejected_characters", CaseRejectedCharacters},
        {"replay_corpus", CaseReplayCorpus},
        {"install_folder_security", CaseInstallFolderSecurity},
    };
    auto found = check::FindCase(argc, argv, cases, "CASE");
    if (!found)
        return 2;
    if (!IsDirectory("X:\\")) {
        std::printf("drive X: is not mapped to a scratch folder\n");
        return 2;
    }
    g_dialog = OpenTestDialog();
    (*found)();
    return check::Finish();
}
