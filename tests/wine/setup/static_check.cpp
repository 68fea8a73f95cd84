// The built programs read as files, without running them.
//   setup_static program SETUP-EXE PAYLOAD-FILE MANIFEST-OUT
//     what CorvaneSetup.exe imports, its PE flags, and its resources (dialog
//     templates, strings, icon, payload, the application manifest, which it
//     writes to MANIFEST-OUT for check-manifest to read).
//   setup_static stub STUB-EXE SETUP-EXE COMPONENT-DLL
//     the stub (the program with an empty payload) within its size limit;
//     exploit mitigations of both programs, and their resource sections
//     holding nothing but resources; and what makes the shipped images
//     release builds: each one's checksum is the platform's, and the
//     executables lay out their bytes so that a signature covers all of them.
//   setup_static xp_imports LIST IMAGE...
//     every function each image imports is in LIST, those Windows XP SP3 has.
//   setup_static xpack_version XPACK-EXE
//     xpack.exe's version resource.
#include <windows.h>
#include <imagehlp.h>

#include "check.h"
#include "expected_texts.h"
#include "folders.h"
#include "payload_format.h"
#include "version_resource.h"
#include "winnt_image.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <set>
#include <string>
#include <vector>

namespace {

using driver::WindowsPath;
using driver::WinntImage;

// The program without its payload: 32 file blocks of 512 bytes (headers,
// code with its import tables, resources with the manifest and the version
// resource, relocations).
const size_t STUB_LIMIT = 32 * 512;

std::string Upper(std::string s)
{
    for (char &c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// --- The PE file as bytes on disk -------------------------------------------

// Walks the base relocation blocks: each is a page address, its size, and
// 2-byte entries. Returns the number of 32-bit (HIGHLOW) fixups, or -1 when
// the table is malformed.
long CountFixups(const WinntImage &image)
{
    const IMAGE_DATA_DIRECTORY &dir = image.Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC);
    const unsigned char *p = image.At(dir.VirtualAddress, dir.Size);
    if (!p || dir.Size == 0)
        return -1;
    long fixups = 0;
    DWORD offset = 0;
    while (offset < dir.Size) {
        if (dir.Size - offset < sizeof(IMAGE_BASE_RELOCATION))
            return -1;
        IMAGE_BASE_RELOCATION block;
        std::memcpy(&block, p + offset, sizeof block);
        if (block.SizeOfBlock < sizeof block || block.SizeOfBlock % 2 ||
            block.SizeOfBlock > dir.Size - offset)
            return -1;
        for (DWORD e = sizeof block; e < block.SizeOfBlock; e += 2) {
            WORD entry;
            std::memcpy(&entry, p + offset + e, 2);
            int type = entry >> 12;
            if (type == IMAGE_REL_BASED_HIGHLOW)
                fixups++;
            else if (type != IMAGE_REL_BASED_ABSOLUTE)
                return -1;
        }
        offset += block.SizeOfBlock;
    }
    return fixups;
}

void CheckMitigations(const WinntImage &image)
{
    const std::string name = image.path + ": ";
    const IMAGE_OPTIONAL_HEADER32 &o = image.nt->OptionalHeader;
    CHECK(o.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT, name + "NX compatible");
    CHECK(o.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE, name + "dynamic base");
    CHECK(!(image.nt->FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED),
          name + "relocations not stripped");
    long fixups = CountFixups(image);
    CHECK(fixups > 0,
          name + "a well-formed, non-empty base relocation table (" + std::to_string(fixups) + ")");
    for (int i = 0; i < image.SectionCount(); i++) {
        DWORD flags = image.sections[i].Characteristics;
        CHECK(!((flags & IMAGE_SCN_MEM_WRITE) && (flags & IMAGE_SCN_MEM_EXECUTE)),
              name + "section " + image.SectionName(i) + " is not both writable and executable");
    }
    // The imports, resources and entry point still lie where the loader
    // will look for them.
    CHECK(image.At(image.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress,
                   sizeof(IMAGE_IMPORT_DESCRIPTOR)),
          name + "import directory inside a section");
    CHECK(image.At(image.Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE).VirtualAddress,
                   sizeof(IMAGE_RESOURCE_DIRECTORY)),
          name + "resource directory inside a section");
    CHECK(image.At(o.AddressOfEntryPoint, 1), name + "entry point inside a section");
}

void CheckHeaders(const WinntImage &image)
{
    const IMAGE_OPTIONAL_HEADER32 &o = image.nt->OptionalHeader;
    CHECK(image.nt->FileHeader.Machine == IMAGE_FILE_MACHINE_I386, "32-bit x86 executable");
    CHECK(o.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI, "GUI subsystem");
    CHECK(image.Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC).Size > 0, "relocations kept");
    CHECK(image.Directory(IMAGE_DIRECTORY_ENTRY_TLS).Size == 0, "no TLS (no C runtime start-up)");
    CheckMitigations(image);
}

bool Load(WinntImage &image, const char *path);

// Every function the image imports, as DLL!name with the DLL's name in upper
// case, or DLL!#ordinal; "?" for a name outside the file.
std::vector<std::string> ImportedFunctions(const WinntImage &image)
{
    std::vector<std::string> functions;
    auto *descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(image.At(
        image.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress, sizeof(IMAGE_IMPORT_DESCRIPTOR)));
    for (; descriptor && descriptor->Name; descriptor++) {
        auto *dllName = reinterpret_cast<const char *>(image.At(descriptor->Name, 1));
        std::string dll = dllName ? Upper(dllName) : "?";
        DWORD thunks =
            descriptor->OriginalFirstThunk ? descriptor->OriginalFirstThunk : descriptor->FirstThunk;
        for (auto *t = reinterpret_cast<const DWORD *>(image.At(thunks, 4)); t && *t; t++) {
            if (*t & IMAGE_ORDINAL_FLAG32) {
                functions.push_back(dll + "!#" + std::to_string(IMAGE_ORDINAL32(*t)));
                continue;
            }
            auto *name = reinterpret_cast<const char *>(image.At(*t + 2, 1));
            functions.push_back(dll + "!" + (name ? name : "?"));
        }
    }
    return functions;
}

void CheckImports(const WinntImage &image)
{
    // KnownDLLs only: the platform never takes those from the program's folder.
    const std::set<std::string> allowed = {"KERNEL32.DLL", "USER32.DLL", "ADVAPI32.DLL", "OLE32.DLL",
                                           "SHELL32.DLL"};
    CHECK(image.At(image.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress,
                   sizeof(IMAGE_IMPORT_DESCRIPTOR)) != nullptr,
          "import directory present");
    std::set<std::string> found;
    for (const std::string &function : ImportedFunctions(image)) {
        const std::string dll = function.substr(0, function.find('!'));
        const std::string name = function.substr(dll.size() + 1);
        if (found.insert(dll).second)
            CHECK(allowed.count(dll) == 1, "unexpected import of " + dll);
        if (name.rfind("LZ", 0) == 0)
            CHECK(dll == "KERNEL32.DLL", name + " is imported from KERNEL32, not " + dll);
        CHECK(name != "HeapAlloc" && name != "LocalAlloc" && name != "GlobalAlloc" && name != "VirtualAlloc",
              "no heap allocation, but " + name + " is imported");
    }
    CHECK(found == allowed,
          "imports exactly the five KnownDLLs (found " + std::to_string(found.size()) + ")");
}

// Every function that each image imports is in the list of those that
// Windows XP SP3 has (one DLL!function a line, # for comments).
int CheckXpImports(int argc, char **argv)
{
    const driver::Bytes text = driver::ReadFileBytes(WindowsPath(argv[2]));
    std::set<std::string> listed;
    std::string line;
    for (size_t i = 0; i <= text.size(); i++) {
        if (i < text.size() && text[i] != '\n') {
            if (text[i] != '\r')
                line.push_back(static_cast<char>(text[i]));
            continue;
        }
        size_t bang = line.find('!');
        if (!line.empty() && line[0] != '#' &&
            CHECK(bang != std::string::npos, "a DLL!function line: " + line))
            listed.insert(Upper(line.substr(0, bang)) + line.substr(bang));
        line.clear();
    }
    CHECK(!listed.empty(), std::string(argv[2]) + " lists functions");
    for (int i = 3; i < argc; i++) {
        WinntImage image;
        if (!Load(image, argv[i]))
            continue;
        std::vector<std::string> functions = ImportedFunctions(image);
        CHECK(!functions.empty(), image.path + " imports functions");
        for (const std::string &function : functions)
            CHECK(listed.count(function) == 1,
                  image.path + " imports " + function + ", which is not among those that Windows XP SP3 has");
    }
    return check::Finish();
}

// The furthest byte, as an offset into the resource section, that the
// resource tree below directory (an offset too) takes: its tables, names,
// data entries and data.
DWORD ResourceTreeEnd(const WinntImage &image, DWORD sectionRva, DWORD directory, int depth)
{
    auto *dir = reinterpret_cast<const IMAGE_RESOURCE_DIRECTORY *>(
        image.At(sectionRva + directory, sizeof(IMAGE_RESOURCE_DIRECTORY)));
    if (!dir || depth > 3)
        return 0;
    DWORD count = dir->NumberOfNamedEntries + dir->NumberOfIdEntries;
    auto *entries = reinterpret_cast<const IMAGE_RESOURCE_DIRECTORY_ENTRY *>(
        image.At(sectionRva + directory + sizeof(*dir), count * sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY)));
    if (!entries)
        return 0;
    DWORD end = directory + sizeof(*dir) + count * sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY);
    for (DWORD i = 0; i < count; i++) {
        if (entries[i].NameIsString) {
            auto *length = reinterpret_cast<const WORD *>(image.At(sectionRva + entries[i].NameOffset, 2));
            if (length)
                end = std::max<DWORD>(end, entries[i].NameOffset + 2 + 2 * *length);
        }
        if (entries[i].DataIsDirectory) {
            end = std::max(end, ResourceTreeEnd(image, sectionRva, entries[i].OffsetToDirectory, depth + 1));
            continue;
        }
        auto *data = reinterpret_cast<const IMAGE_RESOURCE_DATA_ENTRY *>(
            image.At(sectionRva + entries[i].OffsetToData, sizeof(IMAGE_RESOURCE_DATA_ENTRY)));
        if (!data)
            continue;
        end = std::max<DWORD>(end, entries[i].OffsetToData + sizeof(*data));
        end = std::max<DWORD>(end, data->OffsetToData + data->Size - sectionRva);
    }
    return end;
}

// Resource editors (UpdateResource) rewrite the resource section whole, so
// it must hold the resource tree and nothing else: a variable placed after
// the tree would be written over the rewritten resources at run time.
void CheckResourceSectionHoldsOnlyResources(const WinntImage &image)
{
    DWORD rva = image.Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE).VirtualAddress;
    for (int i = 0; i < image.SectionCount(); i++) {
        const IMAGE_SECTION_HEADER &s = image.sections[i];
        if (rva < s.VirtualAddress || rva >= s.VirtualAddress + s.Misc.VirtualSize)
            continue;
        CHECK(rva == s.VirtualAddress, image.path + ": the resource tree opens its section");
        // The resource compiler pads each resource's data to 8 bytes.
        DWORD end = ResourceTreeEnd(image, s.VirtualAddress, 0, 0);
        CHECK(((end + 7) & ~7u) >= s.Misc.VirtualSize,
              image.path + ": the resource section holds only the resource tree (tree ends at " +
                  std::to_string(end) + ", section at " + std::to_string(s.Misc.VirtualSize) + ")");
        return;
    }
    CHECK(false, image.path + ": a section holds the resource directory");
}

// The CheckSum field holds what imagehlp computes for the file.
void CheckChecksum(const std::string &path)
{
    DWORD stored = 0, computed = 0;
    DWORD status = MapFileAndCheckSumA(path.c_str(), &stored, &computed);
    CHECK(status == CHECKSUM_SUCCESS && stored != 0 && stored == computed,
          path + ": checksum " + std::to_string(stored) + " is the platform's " + std::to_string(computed));
}

// An Authenticode signature hashes the headers, the sections' raw data and
// what follows the last section; a gap between them would be covered by no
// signature. So the first section starts where the headers end, and every
// other where the one before it ends.
void CheckSignableLayout(const WinntImage &image)
{
    std::vector<const IMAGE_SECTION_HEADER *> order;
    for (int i = 0; i < image.SectionCount(); i++)
        if (image.sections[i].SizeOfRawData != 0)
            order.push_back(&image.sections[i]);
    std::sort(order.begin(), order.end(),
              [](auto *a, auto *b) { return a->PointerToRawData < b->PointerToRawData; });
    DWORD end = image.nt->OptionalHeader.SizeOfHeaders;
    for (const IMAGE_SECTION_HEADER *s : order) {
        CHECK(s->PointerToRawData == end, image.path + ": section data at " +
                                              std::to_string(s->PointerToRawData) +
                                              " follows the bytes before it (" + std::to_string(end) + ")");
        end = s->PointerToRawData + s->SizeOfRawData;
    }
}

// --- Resources, read through the loader -------------------------------------

struct Reader {
    const unsigned char *p;
    const unsigned char *end;

    bool Ok(size_t n) const { return p + n <= end; }
    WORD Word()
    {
        WORD w = 0;
        if (Ok(2)) {
            std::memcpy(&w, p, 2);
            p += 2;
        } else
            p = end;
        return w;
    }
    DWORD Dword()
    {
        DWORD lo = Word();
        return lo | (static_cast<DWORD>(Word()) << 16);
    }
    short Short() { return static_cast<short>(Word()); }
    void Align(const unsigned char *base)
    {
        while ((p - base) % 4 && p < end)
            p++;
    }
    std::string Text()
    {
        std::string narrow;  // the templates are plain ASCII
        for (WORD c = Word(); c && p < end; c = Word())
            narrow.push_back(static_cast<char>(c));
        return narrow;
    }
    // A name or ordinal field: ordinals come back as "#n".
    std::string NameOrOrdinal()
    {
        if (Ok(2) && p[0] == 0xFF && p[1] == 0xFF) {
            Word();
            return "#" + std::to_string(Word());
        }
        return Text();
    }
};

struct Control {
    int id;
    std::string className, text;
    int x, y, cx, cy;
    DWORD style, exStyle;
};

struct Dialog {
    std::string caption, font;
    int points, cx, cy;
    DWORD style;
    std::vector<Control> controls;
};

std::string ClassOf(const std::string &field)
{
    static const char *const atoms[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};
    if (field.size() > 1 && field[0] == '#') {
        int atom = std::stoi(field.substr(1)) - 0x80;
        if (atom >= 0 && atom < 6)
            return atoms[atom];
    }
    return field;
}

bool ReadDialog(HMODULE module, int id, Dialog *dialog)
{
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), RT_DIALOG);
    if (!found)
        return false;
    auto *base = static_cast<const unsigned char *>(LockResource(LoadResource(module, found)));
    Reader r{base, base + SizeofResource(module, found)};
    if (r.Word() != 1 || r.Word() != 0xFFFF)
        return false;  // not a DIALOGEX
    r.Dword();         // help id
    r.Dword();         // extended style
    dialog->style = r.Dword();
    int count = r.Word();
    r.Short();
    r.Short();
    dialog->cx = r.Short();
    dialog->cy = r.Short();
    r.NameOrOrdinal();  // menu
    r.NameOrOrdinal();  // class
    dialog->caption = r.Text();
    if (dialog->style & DS_SETFONT) {
        dialog->points = r.Word();
        r.Word();
        r.Word();
        dialog->font = r.Text();
    }
    for (int i = 0; i < count && r.p < r.end; i++) {
        r.Align(base);
        Control c;
        r.Dword();  // help id
        c.exStyle = r.Dword();
        c.style = r.Dword();
        c.x = r.Short();
        c.y = r.Short();
        c.cx = r.Short();
        c.cy = r.Short();
        c.id = static_cast<int>(static_cast<LONG>(r.Dword()));
        c.className = ClassOf(r.NameOrOrdinal());
        c.text = r.NameOrOrdinal();
        r.p += r.Word();  // creation data
        dialog->controls.push_back(c);
    }
    return static_cast<int>(dialog->controls.size()) == count;
}

void CheckDialog(HMODULE module, int id, const char *caption, int cx, int cy, DWORD style,
                 const std::vector<Control> &expected)
{
    Dialog d{};
    std::string name = "dialog " + std::to_string(id);
    if (!CHECK(ReadDialog(module, id, &d), name + " is a readable DIALOGEX"))
        return;
    CHECK_EQ(d.caption, caption, name + " caption");
    CHECK(d.cx == cx && d.cy == cy, name + " size");
    CHECK(d.style == style, name + " style");
    CHECK(d.font == "MS Sans Serif" && d.points == 8, name + " font: " + d.font);
    CHECK(d.controls.size() == expected.size(), name + " control count");
    for (size_t i = 0; i < d.controls.size() && i < expected.size(); i++) {
        const Control &a = d.controls[i], &e = expected[i];
        std::string which = name + " control " + std::to_string(i) + " (" + e.text.substr(0, 20) + ")";
        CHECK(a.id == e.id, which + " id " + std::to_string(a.id));
        CHECK(Upper(a.className) == Upper(e.className), which + " class " + a.className);
        CHECK_EQ(a.text, e.text, which + " text");
        CHECK(a.x == e.x && a.y == e.y && a.cx == e.cx && a.cy == e.cy, which + " rectangle");
        CHECK(a.style == e.style, which + " style");
        CHECK(a.exStyle == e.exStyle, which + " extended style");
    }
}

const DWORD CV = WS_CHILD | WS_VISIBLE;
const DWORD EDGES = WS_EX_CLIENTEDGE | WS_EX_STATICEDGE;

void CheckDialogs(HMODULE module)
{
    const std::string icon = "#" + std::to_string(IDI_SETUP);
    CheckDialog(module, IDD_SETUP, SETUP_TITLE, 235, 85,
                WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_CENTER | DS_MODALFRAME | DS_SETFONT,
                {
                    {-1, "Static", icon, 7, 7, 20, 20, CV | SS_ICON, EDGES},
                    {-1, "Static",
                     "Copies the Torvik Add-in files (250K) to the location given below.\n"
                     "____________________________",
                     40, 7, 110, 28, CV | WS_GROUP, 0},
                    {-1, "Static", "Revise the suggested folder if desired, then click Install to continue.",
                     7, 36, 146, 17, CV | WS_GROUP, 0},
                    {IDC_FOLDER, "Edit", "", 7, 62, 142, 14, CV | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 0},
                    {IDOK, "Button", "Install", 178, 7, 50, 14, CV | BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
                    {IDC_HELP, "Button", "Help", 178, 25, 50, 14, CV | WS_TABSTOP, 0},
                    {IDC_ABOUT, "Button", "About", 178, 43, 50, 14, CV | WS_TABSTOP, 0},
                    {IDCANCEL, "Button", "Cancel", 178, 61, 50, 14, CV | WS_TABSTOP, 0},
                    {IDC_PROGRESS, "msctls_progress32", "Progress1", 7, 62, 142, 14, CV | WS_BORDER, 0},
                });
    CheckDialog(module, IDD_ABOUT, EXPECTED_ABOUT_TITLE, 186, 94,
                WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_MODALFRAME | DS_SETFONT,
                {
                    {IDOK, "Button", "OK", 68, 73, 50, 14, CV | BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
                    {-1, "Static", icon, 7, 7, 21, 20, CV | SS_ICON, EDGES},
                    {-1, "Static",
                     "Self-extracting setup program that creates the Corvane Torvik Add-in.\n\n"
                     "email:\tsupport@corvane.example\nphone:\t+1 555 0100",
                     42, 7, 137, 43, CV | WS_GROUP, 0},
                    {-1, "Static", "(C) 1998 Corvane Software", 42, 58, 120, 10, CV | WS_GROUP, 0},
                });
}

void CheckStrings(HMODULE module)
{
    char text[MESSAGE_MAX];
    LoadStringA(module, IDS_FINISHED, text, MESSAGE_MAX);
    CHECK_EQ(std::string(text), EXPECTED_FINISHED_TEXT, "IDS_FINISHED text");
    LoadStringA(module, IDS_HELP, text, MESSAGE_MAX);
    CHECK_EQ(std::string(text), EXPECTED_HELP_TEXT, "IDS_HELP text");
}

#pragma pack(push, 2)
struct GroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

void CheckIcon(HMODULE module)
{
    HRSRC group = FindResourceA(module, MAKEINTRESOURCEA(IDI_SETUP), RT_GROUP_ICON);
    if (!CHECK(group != nullptr, "icon group IDI_SETUP"))
        return;
    auto *header = static_cast<const WORD *>(LockResource(LoadResource(module, group)));
    CHECK(header[1] == 1 && header[2] == 3, "the icon group holds three images");
    auto *entries = reinterpret_cast<const GroupEntry *>(header + 3);
    const int sizes[] = {32, 16, 48};
    for (int i = 0; i < 3 && i < header[2]; i++) {
        const GroupEntry &e = entries[i];
        std::string which = "icon image " + std::to_string(i);
        CHECK(e.width == sizes[i] && e.height == sizes[i], which + " size " + std::to_string(e.width));
        CHECK(e.colours == 16 && e.bitCount == 4, which + " is 16-colour");
        HRSRC image = FindResourceA(module, MAKEINTRESOURCEA(e.id), RT_ICON);
        if (!CHECK(image != nullptr, which + " present"))
            continue;
        auto *bitmap = static_cast<const BITMAPINFOHEADER *>(LockResource(LoadResource(module, image)));
        CHECK(bitmap->biBitCount == 4 && bitmap->biWidth == sizes[i] && bitmap->biHeight == 2 * sizes[i],
              which + " bitmap is " + std::to_string(sizes[i]) + " square at 4 bits per pixel");
    }
}

// The application manifest: the one resource the loader reads for a
// program, and one the platform makes an activation context from, as it
// does when the program starts.
void CheckManifest(HMODULE module, const std::string &exe, const std::string &out)
{
    CHECK(FindResourceA(module, MAKEINTRESOURCEA(2), RT_MANIFEST) == nullptr, "no second manifest");
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), RT_MANIFEST);
    if (!CHECK(found != nullptr, "application manifest (type 24, id 1)"))
        return;
    auto *data = static_cast<const unsigned char *>(LockResource(LoadResource(module, found)));
    CHECK(driver::WriteFileBytes(out, driver::Bytes(data, data + SizeofResource(module, found))),
          "write " + out);
    ACTCTXA context = {};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = exe.c_str();
    context.lpResourceName = MAKEINTRESOURCEA(1);
    HANDLE made = CreateActCtxA(&context);
    if (CHECK(made != INVALID_HANDLE_VALUE,
              "an activation context from the manifest (error " + std::to_string(GetLastError()) + ")"))
        ReleaseActCtx(made);
}

// The payload resource is the packed payload file (expected), or present
// and empty (expected null).
void CheckPayload(HMODULE module, const std::string &exe, const driver::Bytes *expected)
{
    HRSRC found = FindResourceA(module, PAYLOAD_RESOURCE_NAME, PAYLOAD_RESOURCE_TYPE);
    if (!CHECK(found != nullptr, exe + ": payload resource TEXT/XPackArchive"))
        return;
    auto *data = static_cast<const unsigned char *>(LockResource(LoadResource(module, found)));
    driver::Bytes embedded(data, data + SizeofResource(module, found));
    if (expected)
        CHECK(!expected->empty() && embedded == *expected, "the embedded payload is the packed payload file");
    else
        CHECK(embedded.empty(), exe + ": the payload resource is empty");
}

// The version resource, read as Windows reads it for the UAC prompt, the
// file's Properties and Task Manager: the names, the publisher and the
// project's version, in US English and Unicode.
void CheckVersionResource(const std::string &exe, const std::string &description, const std::string &product)
{
    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeA(exe.c_str(), &ignored));
    if (!CHECK(!info.empty() && GetFileVersionInfoA(exe.c_str(), 0, info.size(), info.data()),
               exe + ": a version resource"))
        return;
    auto value = [&](const std::string &name) -> std::string {
        char *text = nullptr;
        UINT length = 0;
        std::string path = "\\StringFileInfo\\040904B0\\" + name;
        if (!VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void **>(&text), &length) || !text)
            return "(none)";
        return text;
    };
    CHECK_EQ(value("FileDescription"), description, exe + ": FileDescription");
    CHECK_EQ(value("ProductName"), product, exe + ": ProductName");
    CHECK_EQ(value("CompanyName"), PROJECT_PUBLISHER, exe + ": CompanyName");
    CHECK_EQ(value("FileVersion"), PROJECT_VERSION_TEXT, exe + ": FileVersion");
    CHECK_EQ(value("ProductVersion"), PROJECT_VERSION_TEXT, exe + ": ProductVersion");
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    const WORD numbers[] = {PROJECT_VERSION_NUMBERS};
    if (CHECK(VerQueryValueA(info.data(), "\\", reinterpret_cast<void **>(&fixed), &length) &&
                  length == sizeof *fixed,
              exe + ": fixed version information"))
        CHECK(fixed->dwFileVersionMS == MAKELONG(numbers[1], numbers[0]) &&
                  fixed->dwFileVersionLS == MAKELONG(numbers[3], numbers[2]) &&
                  fixed->dwProductVersionMS == fixed->dwFileVersionMS &&
                  fixed->dwProductVersionLS == fixed->dwFileVersionLS && fixed->dwFileType == VFT_APP,
              exe + ": file and product version " + PROJECT_VERSION_TEXT + ", an application");
    WORD *translation = nullptr;
    CHECK(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void **>(&translation),
                         &length) &&
              length == 4 && translation[0] == 0x409 && translation[1] == 1200,
          exe + ": one translation, US English in Unicode");
}

// The resources of exe, loaded as data: the payload (as CheckPayload) and,
// for the program with its payload, the manifest, dialogs, strings and icon.
void CheckResources(const std::string &exe, const driver::Bytes *payload, const std::string &manifestOut = "")
{
    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!CHECK(module != nullptr, exe + ": loadable as data"))
        return;
    CheckPayload(module, exe, payload);
    if (payload) {
        CheckManifest(module, exe, manifestOut);
        CheckDialogs(module);
        CheckStrings(module);
        CheckIcon(module);
    }
    FreeLibrary(module);
}

bool Load(WinntImage &image, const char *path)
{
    return CHECK(image.Load(WindowsPath(path)), std::string(path) + " is a readable PE file");
}

int CheckProgram(char **argv)
{
    WinntImage setup;
    if (!Load(setup, argv[2]))
        return check::Finish();
    CheckHeaders(setup);
    CheckImports(setup);
    driver::Bytes payload = driver::ReadFileBytes(WindowsPath(argv[3]));
    CheckResources(setup.path, &payload, WindowsPath(argv[4]));
    CheckVersionResource(setup.path, SETUP_TITLE, SETUP_PRODUCT_NAME);
    return check::Finish();
}

int CheckStub(char **argv)
{
    WinntImage stub, setup;
    if (!Load(stub, argv[2]) || !Load(setup, argv[3]))
        return check::Finish();
    std::cout << stub.path << ": " << stub.bytes.size() << " bytes" << std::endl;
    CHECK(stub.bytes.size() <= STUB_LIMIT,
          "stub is " + std::to_string(stub.bytes.size()) + " bytes, over " + std::to_string(STUB_LIMIT));
    for (const WinntImage *image : {&stub, &setup}) {
        CheckMitigations(*image);
        CheckResourceSectionHoldsOnlyResources(*image);
        CheckSignableLayout(*image);
    }
    CheckResources(stub.path, nullptr);
    for (const std::string &path : {stub.path, setup.path, WindowsPath(argv[4])})
        CheckChecksum(path);
    return check::Finish();
}

}  // namespace

int main(int argc, char **argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "program" && argc == 5)
        return CheckProgram(argv);
    if (mode == "stub" && argc == 5)
        return CheckStub(argv);
    if (mode == "xp_imports" && argc >= 4)
        return CheckXpImports(argc, argv);
    if (mode == "xpack_version" && argc == 3) {
        CheckVersionResource(WindowsPath(argv[2]), XPACK_DESCRIPTION, XPACK_PRODUCT_NAME);
        return check::Finish();
    }
    std::cerr << "usage: setup_static program SETUP-EXE PAYLOAD-FILE MANIFEST-OUT\n"
                 "       setup_static stub STUB-EXE SETUP-EXE COMPONENT-DLL\n"
                 "       setup_static xp_imports LIST IMAGE...\n"
                 "       setup_static xpack_version XPACK-EXE"
              << std::endl;
    return 2;
}
