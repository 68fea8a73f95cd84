// Bad input through the real extraction run: folder box texts at and past
// the path limits or with characters the file system refuses, and every
// payload the fuzz targets kept, replayed against a scratch folder.
#include "engine_test_support.h"

#include <commctrl.h>

#include <cctype>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "payload.h"
#include "szdd/szdd.h"

namespace {

Bytes SmallPayload()
{
    Bytes payload;
    AddDirectory(payload, "Top\\");
    AddFile(payload, "one.txt", ReadFileBytes(ArtefactPath("sample.szdd")));
    return payload;
}

std::string BoxText()
{
    return Boxes().empty() ? std::string("(none)") : Boxes()[0].text;
}

// Names directly under folder (a path ending in '\').
std::vector<std::string> Listing(const std::string &folder)
{
    std::vector<std::string> names;
    for (const driver::FolderItem &item : driver::ListFolder(folder.substr(0, folder.size() - 1)))
        names.push_back(item.name);
    return names;
}

bool StartsWith(const std::string &text, const std::string &prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

struct FolderCase {
    std::string box;
    int result;
    const char *message;    // the one box expected, or nullptr for none
    std::string installed;  // where one.txt must land, or "" for nowhere
};

void RunFolderCase(HWND dialog, HMODULE module, const FolderCase &c)
{
    std::printf("folder text of %u characters: [%s]\n", (unsigned)c.box.size(),
                c.box.size() > 40 ? (c.box.substr(0, 40) + "...").c_str() : c.box.c_str());
    g_hInstance = module;
    PrepareDialog(dialog, c.box);
    CHECK_EQ(ExtractPayload(dialog), c.result);
    if (c.message) {
        CHECK_EQ(Boxes().size(), 1u);
        CHECK_EQ(BoxText(), c.message);
        CHECK(!Boxes().empty() && Boxes()[0].icon == IconKind::Error);
    } else {
        CHECK_EQ(BoxText(), "(none)");
    }
    if (!c.installed.empty())
        CHECK(ReadFileBytes(c.installed) == ReadFileBytes(ArtefactPath("sample.txt")));
    CHECK(!Exists(TempFilePath()));
}

// The scratch drive's top level holds only the payload modules and what the
// listed names allow.
void CheckDriveHolds(const std::vector<std::string> &allowed)
{
    for (const std::string &name : Listing("X:\\")) {
        bool known = StartsWith(name, "payload-");
        for (const std::string &prefix : allowed)
            known = known || StartsWith(name, prefix);
        CHECK(known, "unexpected item on the scratch drive: " + name);
    }
}

}  // namespace

// Empty, one-character and limit-length texts; trailing spaces and
// backslashes. The current directory is on the scratch drive, so that the
// relative folders an empty or short text gives stay inside it.
void CaseFolderTexts()
{
    CreateDirectoryA("X:\\Cwd", NULL);
    CHECK(SetCurrentDirectoryA("X:\\Cwd"));
    HMODULE module = MakePayloadModule(SmallPayload());

    std::string parent = "X:\\" + std::string(128, 'b');
    CreateDirectoryA(parent.c_str(), NULL);
    // 259 characters whose last is a backslash: that backslash goes before
    // the length is judged, so the folder is taken and made, and the
    // entries beneath it do not fit.
    std::string slashed = parent + "\\" + std::string(126, 'c') + "\\";
    CHECK_EQ(slashed.size(), 259u);
    std::string padded = "X:\\Pad\\" + std::string(252, ' ');
    CHECK_EQ(padded.size(), 259u);

    const FolderCase cases[] = {
        {"", 1, nullptr, "X:\\Top\\one.txt"},
        {"\\", 1, nullptr, "X:\\Top\\one.txt"},
        {"a", 1, nullptr, "X:\\Cwd\\a\\Top\\one.txt"},
        // One space stays (index 0 is never trimmed) and names nothing
        // that can be made.
        {" ", 0, MSG_ENTRY_FAILED, ""},
        {slashed, 0, MSG_ENTRY_FAILED, ""},
        {padded, 1, nullptr, "X:\\Pad\\Top\\one.txt"},
        {"X:\\Spaces   ", 1, nullptr, "X:\\Spaces\\Top\\one.txt"},
        {"X:\\Twice\\\\", 1, nullptr, "X:\\Twice\\Top\\one.txt"},
    };
    for (const FolderCase &c : cases)
        RunFolderCase(g_dialog, module, c);
    CHECK(IsDirectory(slashed.substr(0, 258)));
    CHECK(!Exists(slashed + "Top"));
    CheckDriveHolds({"Cwd", "Top", "b", "Pad", "Spaces", "Twice"});
}

// Characters the file system refuses: the folder is not made, nothing is
// written anywhere, and the first file entry reports the failure.
void CaseRejectedCharacters()
{
    CHECK(SetCurrentDirectoryA("X:\\"));
    HMODULE module = MakePayloadModule(SmallPayload());
    const char *const names[] = {"X:\\Bad<Name", "X:\\Bad>Name", "X:\\Bad|Name",  "X:\\Bad\"Name",
                                 "X:\\Bad*Name", "X:\\Bad?Name", "X:\\Bad\tName", "X:\\Bad:"};
    for (const char *name : names)
        RunFolderCase(g_dialog, module, {name, 0, MSG_ENTRY_FAILED, ""});
    CheckDriveHolds({});

    // Wildcards: the search would find other items, and a file found that
    // way must not be reported as the chosen name.
    WriteFileBytes("X:\\Filed", Bytes{'f'});
    CreateDirectoryA("X:\\Dired", NULL);
    for (const char *name : {"X:\\File?", "X:\\Dire?", "X:\\*"})
        RunFolderCase(g_dialog, module, {name, 0, MSG_ENTRY_FAILED, ""});
    CHECK(ReadFileBytes("X:\\Filed") == Bytes{'f'});
    CHECK(Listing("X:\\Dired\\").empty());

    // A trailing dot is dropped by the platform, as on Windows.
    RunFolderCase(g_dialog, module, {"X:\\Dot.", 1, nullptr, "X:\\Dot\\Top\\one.txt"});
}

namespace {

// The length a file entry's data expands to, read with the codec: its SZDD
// header's, or the data's own when it has none.
size_t ExpandedLength(const Bytes &payload, const EntrySeen &entry)
{
    szdd::Header header;
    std::string error;
    size_t n = entry.end - entry.data;
    return szdd::ReadHeader(payload.data() + entry.data, n, header, error) ? header.expandedLength : n;
}

// A plain file's length, or -1 when there is no plain file.
long long FileLength(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return (long long)data.nFileSizeHigh << 32 | data.nFileSizeLow;
}

// A path as the platform compares it: case and repeated backslashes aside.
std::string Key(const std::string &path)
{
    std::string key;
    for (char c : path) {
        if (c != '\\' || key.empty() || key.back() != '\\')
            key += (char)std::tolower((unsigned char)c);
    }
    return key;
}

// What the run left, read from the disk alone. The run writes the file
// entries in order and stops at the first it cannot write, so the entries
// in place (a plain file of the expanded length where the run composes the
// path; a later entry of the same path may have replaced it) are those
// before that stop, and no file of an entry after it exists unless an entry
// before it had the same path. Returns the stop: the first file entry not in
// place, or the number of entries.
size_t CheckStop(const std::string &root, const Bytes &payload, const std::vector<EntrySeen> &entries)
{
    std::vector<std::string> paths = Destinations(entries, root);
    size_t stop = entries.size();
    for (size_t i = 0; i < entries.size() && stop == entries.size(); ++i) {
        if (entries[i].isDirectory)
            continue;
        long long length = FileLength(paths[i]);
        bool inPlace = false;
        for (size_t k = i; k < entries.size(); ++k)
            inPlace = inPlace || (!entries[k].isDirectory && Key(paths[k]) == Key(paths[i]) &&
                                  length == (long long)ExpandedLength(payload, entries[k]));
        if (!inPlace)
            stop = i;
    }
    std::set<std::string> reached;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].isDirectory)
            continue;
        if (i > stop && !reached.count(Key(paths[i])))
            CHECK(FileLength(paths[i]) < 0, "written after the run stopped: " + paths[i]);
        reached.insert(Key(paths[i]));
    }
    return stop;
}

// Only the payload modules and the install folders X:\R<n> on the drive.
void CheckReplayDrive()
{
    for (const std::string &name : Listing("X:\\")) {
        bool install =
            name.size() > 1 && name[0] == 'R' && name.find_first_not_of("0123456789", 1) == std::string::npos;
        CHECK(install || StartsWith(name, "payload-"), "unexpected item on the scratch drive: " + name);
    }
}

struct ReplayTally {
    int succeeded = 0;
    int entryFailed = 0;
    int damaged = 0;
};

// What an independent reading of the payload allows, checked against what
// the run did: damage is reported only for a damaged payload and a damaged
// payload never succeeds; at most one box, and a box exactly when the run
// fails; the files on disk agree with the result (CheckStop); the bar within
// its range; nothing left in the temporary directory and nothing written
// outside the install folder.
void ReplayOne(HWND dialog, const std::string &what, const Bytes &payload, int index, ReplayTally &tally)
{
    std::string copy;
    HMODULE module = MakePayloadModule(payload, true, &copy);
    if (!module)
        return;
    std::string folder = "X:\\R" + std::to_string(index);
    g_hInstance = module;
    PrepareDialog(dialog, folder);
    int result = ExtractPayload(dialog);

    std::vector<EntrySeen> entries = ListEntries(payload);
    bool wellFormed = !entries.empty() && entries.back().end == payload.size();
    int failures = check::Failures();
    size_t stop = CheckStop(folder + "\\", payload, entries);
    CHECK(Boxes().size() <= 1);
    CHECK_EQ(Boxes().empty(), result == 1);
    if (!wellFormed)
        CHECK_EQ(result, 0);
    if (!Boxes().empty()) {
        const std::string &text = Boxes()[0].text;
        // A name the platform changes on the way (a leading backslash, a
        // trailing dot) lands elsewhere than the run composed: refused.
        const std::string notPlain = MSG_NOT_PLAIN_FILE MSG_NOTHING_WRITTEN;
        bool refused = text.size() > notPlain.size() && text.compare(0, folder.size(), folder) == 0 &&
                       text.compare(text.size() - notPlain.size(), notPlain.size(), notPlain) == 0;
        CHECK(text == MSG_ENTRY_FAILED || (text == MSG_PAYLOAD_DAMAGED && !wellFormed) || refused);
        CHECK_EQ(Boxes()[0].icon, IconKind::Error);
        // Damage is found after every sound entry was written; a failed
        // entry is one whose file is not in place.
        if (text == MSG_ENTRY_FAILED)
            CHECK(stop < entries.size(), "a failed entry reported with every file in place");
        if (text == MSG_PAYLOAD_DAMAGED) {
            CHECK_EQ(stop, entries.size(), "a file before the damage is not in place");
            ++tally.damaged;
        } else {
            ++tally.entryFailed;
        }
    } else {
        ++tally.succeeded;
    }
    CHECK(lstrlenA(g_szTopFolder) <= TOP_FOLDER_MAX);
    WPARAM last = 0;
    for (const ProgressSeen &seen : g_progress) {
        if (seen.message == PBM_SETRANGE) {
            CHECK_EQ((unsigned long)seen.lParam,
                     (unsigned long)MAKELPARAM(0, payload.size() / PROGRESS_UNIT));
        } else {
            CHECK(seen.wParam >= last && seen.wParam <= payload.size() / PROGRESS_UNIT);
            last = seen.wParam;
        }
    }
    CHECK(!Exists(TempFilePath()));
    if (result == 1)
        CHECK_EQ(stop, entries.size(), "success with a file not in place");
    CheckReplayDrive();
    if (check::Failures() != failures)
        std::printf("  after replaying %s (%u bytes) into %s: result %d, box %s\n", what.c_str(),
                    (unsigned)payload.size(), folder.c_str(), result, BoxText().c_str());
    FreeLibrary(module);
    DeleteFileA(copy.c_str());
}

// Inputs of the folder-and-payload fuzz target begin with a count k and k
// bytes of folder text; only the payload after them is replayed, as a folder
// text from a fuzzer could name any place on the machine.
Bytes PayloadOfInput(const std::string &corpus, const Bytes &input)
{
    if (corpus != "payload_walk" || input.empty())
        return input;
    size_t skip = 1 + (size_t)input[0];
    if (skip > input.size())
        skip = input.size();
    return Bytes(input.begin() + (long)skip, input.end());
}

}  // namespace

void CaseReplayCorpus()
{
    CHECK(SetCurrentDirectoryA("X:\\"));
    ReplayTally tally;
    int index = 0;
    for (const char *corpus : {"payload_walk", "payload_reader"}) {
        std::string folder = ArtefactPath(std::string("replay\\") + corpus + "\\");
        std::vector<std::string> names = Listing(folder);
        CHECK(!names.empty());
        for (const std::string &name : names) {
            Bytes payload = PayloadOfInput(corpus, ReadFileBytes(folder + name));
            // A resource cannot be empty; the empty payload has a case.
            if (!payload.empty())
                ReplayOne(g_dialog, std::string(corpus) + "/" + name, payload, ++index, tally);
        }
    }
    std::printf("replayed %d payloads: %d succeeded, %d failed at an entry, %d damaged\n", index,
                tally.succeeded, tally.entryFailed, tally.damaged);
    CHECK(tally.damaged > 0 && tally.entryFailed > 0 && tally.succeeded > 0);
}
