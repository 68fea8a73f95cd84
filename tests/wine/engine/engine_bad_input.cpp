// Bad input through the real extraction run: folder box texts at and past
// the path limits or with characters the file system refuses, and every
// payload the fuzz targets kept, replayed against a scratch folder.
#include "engine_test_support.h"

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "payload.h"

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
void CaseFolderTexts(HWND dialog)
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
        RunFolderCase(dialog, module, c);
    CHECK(IsDirectory(slashed.substr(0, 258)));
    CHECK(!Exists(slashed + "Top"));
    CheckDriveHolds({"Cwd", "Top", "b", "Pad", "Spaces", "Twice"});
}

// Characters the file system refuses: the folder is not made, nothing is
// written anywhere, and the first file entry reports the failure.
void CaseRejectedCharacters(HWND dialog)
{
    CHECK(SetCurrentDirectoryA("X:\\"));
    HMODULE module = MakePayloadModule(SmallPayload());
    const char *const names[] = {"X:\\Bad<Name", "X:\\Bad>Name", "X:\\Bad|Name",  "X:\\Bad\"Name",
                                 "X:\\Bad*Name", "X:\\Bad?Name", "X:\\Bad\tName", "X:\\Bad:"};
    for (const char *name : names)
        RunFolderCase(dialog, module, {name, 0, MSG_ENTRY_FAILED, ""});
    CheckDriveHolds({});

    // Wildcards: the search would find other items, and a file found that
    // way must not be reported as the chosen name.
    WriteFileBytes("X:\\Filed", Bytes{'f'});
    CreateDirectoryA("X:\\Dired", NULL);
    for (const char *name : {"X:\\File?", "X:\\Dire?", "X:\\*"})
        RunFolderCase(dialog, module, {name, 0, MSG_ENTRY_FAILED, ""});
    CHECK(ReadFileBytes("X:\\Filed") == Bytes{'f'});
    CHECK(Listing("X:\\Dired\\").empty());

    // A trailing dot is dropped by the platform, as on Windows.
    RunFolderCase(dialog, module, {"X:\\Dot.", 1, nullptr, "X:\\Dot\\Top\\one.txt"});
}

namespace {

// After a successful run every file entry exists where the run was to put
// it. Directory entries may fail quietly (a name the file system refuses, a
// missing parent) as long as no file is meant for them.
void CheckFilesInPlace(const std::string &root, const std::vector<EntrySeen> &entries)
{
    std::string directory = root;
    for (const EntrySeen &entry : entries) {
        if (entry.isDirectory)
            directory = root + entry.name;
        else
            CHECK(Exists(directory + entry.name), "missing after success: " + directory + entry.name);
    }
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
// fails; the bar within its range; nothing left in the temporary directory
// and nothing written outside the install folder.
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
    CHECK(result == 0 || result == 1);
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
        if (text == MSG_PAYLOAD_DAMAGED)
            ++tally.damaged;
        else
            ++tally.entryFailed;
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
        CheckFilesInPlace(folder + "\\", entries);
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

void CaseReplayCorpus(HWND dialog)
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
                ReplayOne(dialog, std::string(corpus) + "/" + name, payload, ++index, tally);
        }
    }
    std::printf("replayed %d payloads: %d succeeded, %d failed at an entry, %d damaged\n", index,
                tally.succeeded, tally.entryFailed, tally.damaged);
    CHECK(tally.damaged > 0 && tally.entryFailed > 0 && tally.succeeded > 0);
}
