// Checks the built CorvaneSetup.exe without running it: what it imports,
// its PE flags, and its resources (dialog templates, strings, icon, payload).
// Usage: setup_static SETUP-EXE PAYLOAD-FILE
#include "setup.h"

#include "folders.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

using driver::WindowsPath;

int g_failures = 0;

void Check(bool ok, const std::string &what)
{
    if (!ok) {
        g_failures++;
        std::cerr << "FAILED: " << what << std::endl;
    }
}

std::vector<unsigned char> ReadAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Upper(std::string s)
{
    for (char &c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// --- The PE file as bytes on disk -------------------------------------------

struct Image {
    std::vector<unsigned char> bytes;
    const IMAGE_NT_HEADERS32 *nt = nullptr;
    const IMAGE_SECTION_HEADER *sections = nullptr;

    bool Load(const std::string &path)
    {
        bytes = ReadAll(path);
        if (bytes.size() < sizeof(IMAGE_DOS_HEADER))
            return false;
        auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(bytes.data());
        if (dos->e_magic != IMAGE_DOS_SIGNATURE || static_cast<size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS32) > bytes.size())
            return false;
        nt = reinterpret_cast<const IMAGE_NT_HEADERS32 *>(bytes.data() + dos->e_lfanew);
        sections = IMAGE_FIRST_SECTION(nt);
        return nt->Signature == IMAGE_NT_SIGNATURE;
    }

    // File bytes at a relative virtual address, or null outside every section.
    const unsigned char *At(DWORD rva) const
    {
        for (int i = 0; i < nt->FileHeader.NumberOfSections; i++) {
            const IMAGE_SECTION_HEADER &s = sections[i];
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData)
                return bytes.data() + s.PointerToRawData + (rva - s.VirtualAddress);
        }
        return nullptr;
    }
};

void CheckHeaders(const Image &image)
{
    const IMAGE_OPTIONAL_HEADER32 &o = image.nt->OptionalHeader;
    Check(image.nt->FileHeader.Machine == IMAGE_FILE_MACHINE_I386, "32-bit x86 executable");
    Check(o.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI, "GUI subsystem");
    Check(o.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT, "NX compatible");
    Check(o.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE, "dynamic base");
    Check(o.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size > 0, "relocations kept");
    Check(!(image.nt->FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED), "relocations not stripped");
    Check(o.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS].Size == 0, "no TLS (no C runtime start-up)");
}

void CheckImports(const Image &image)
{
    // KnownDLLs only: the platform never takes those from the program's folder.
    const std::set<std::string> allowed = {"KERNEL32.DLL", "USER32.DLL", "ADVAPI32.DLL", "OLE32.DLL",
                                           "SHELL32.DLL"};
    std::set<std::string> found;
    DWORD rva = image.nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    auto *descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(image.At(rva));
    Check(descriptor != nullptr, "import directory present");
    for (; descriptor && descriptor->Name; descriptor++) {
        std::string dll = Upper(reinterpret_cast<const char *>(image.At(descriptor->Name)));
        found.insert(dll);
        Check(allowed.count(dll) == 1, "unexpected import of " + dll);
        DWORD thunks = descriptor->OriginalFirstThunk ? descriptor->OriginalFirstThunk : descriptor->FirstThunk;
        for (auto *t = reinterpret_cast<const DWORD *>(image.At(thunks)); t && *t; t++) {
            if (*t & IMAGE_ORDINAL_FLAG32)
                continue;
            std::string name = reinterpret_cast<const char *>(image.At(*t + 2));
            if (name.rfind("LZ", 0) == 0)
                Check(dll == "KERNEL32.DLL", name + " is imported from KERNEL32, not " + dll);
            Check(name != "HeapAlloc" && name != "LocalAlloc" && name != "GlobalAlloc" && name != "VirtualAlloc",
                  "no heap allocation, but " + name + " is imported");
        }
    }
    Check(found == allowed, "imports exactly the five KnownDLLs (found " + std::to_string(found.size()) + ")");
}

// --- Resources, read through the loader -------------------------------------

struct Reader {
    const unsigned char *p;
    const unsigned char *end;

    bool Ok(size_t n) const { return p + n <= end; }
    WORD Word() { WORD w = 0; if (Ok(2)) { std::memcpy(&w, p, 2); p += 2; } else p = end; return w; }
    DWORD Dword() { DWORD lo = Word(); return lo | (static_cast<DWORD>(Word()) << 16); }
    short Short() { return static_cast<short>(Word()); }
    void Align(const unsigned char *base) { while ((p - base) % 4 && p < end) p++; }
    std::string Text()
    {
        std::wstring wide;
        for (WORD c = Word(); c && p < end; c = Word())
            wide.push_back(static_cast<wchar_t>(c));
        std::string narrow;
        for (wchar_t c : wide)
            narrow.push_back(static_cast<char>(c));   // the templates are plain ASCII
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
        return false;   // not a DIALOGEX
    r.Dword();          // help id
    r.Dword();          // extended style
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
        r.Dword();      // help id
        c.exStyle = r.Dword();
        c.style = r.Dword();
        c.x = r.Short();
        c.y = r.Short();
        c.cx = r.Short();
        c.cy = r.Short();
        c.id = static_cast<int>(static_cast<LONG>(r.Dword()));
        c.className = ClassOf(r.NameOrOrdinal());
        c.text = r.NameOrOrdinal();
        r.p += r.Word();   // creation data
        dialog->controls.push_back(c);
    }
    return static_cast<int>(dialog->controls.size()) == count;
}

void CheckDialog(HMODULE module, int id, const char *caption, int cx, int cy, DWORD style,
                 const std::vector<Control> &expected)
{
    Dialog d{};
    std::string name = "dialog " + std::to_string(id);
    if (!ReadDialog(module, id, &d)) {
        Check(false, name + " is a readable DIALOGEX");
        return;
    }
    Check(d.caption == caption, name + " caption: " + d.caption);
    Check(d.cx == cx && d.cy == cy, name + " size");
    Check(d.style == style, name + " style");
    Check(d.font == "MS Sans Serif" && d.points == 8, name + " font: " + d.font);
    Check(d.controls.size() == expected.size(), name + " control count");
    for (size_t i = 0; i < d.controls.size() && i < expected.size(); i++) {
        const Control &a = d.controls[i], &e = expected[i];
        std::string which = name + " control " + std::to_string(i) + " (" + e.text.substr(0, 20) + ")";
        Check(a.id == e.id, which + " id " + std::to_string(a.id));
        Check(Upper(a.className) == Upper(e.className), which + " class " + a.className);
        Check(a.text == e.text, which + " text \"" + a.text + "\"");
        Check(a.x == e.x && a.y == e.y && a.cx == e.cx && a.cy == e.cy, which + " rectangle");
        Check(a.style == e.style, which + " style");
        Check(a.exStyle == e.exStyle, which + " extended style");
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
    CheckDialog(module, IDD_ABOUT, "About Corvane Setup", 186, 94,
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
    Check(std::string(text) ==
              "All done!  The Readme.htm file located in the Addins\\Quenbrik folder contains more   \n"
              "information about the Corvane Torvik Add-in.  \n\n"
              "Would you like to read the Readme.htm file now? (Highly recommended.)",
          "IDS_FINISHED text");
    LoadStringA(module, IDS_HELP, text, MESSAGE_MAX);
    Check(std::string(text) ==
              "This setup program contains in compressed form the several files that make up the "
              "Corvane Torvik Add-in package.\n\nClicking the Install button in the main dialog causes "
              "the program to write the files to the folder you specify. If the folder does not already "
              "exist, this program creates it.\n\nAccept the suggested folder to install the Torvik "
              "Add-in to Visual Studio's Addins folder. This allows Visual Studio to automatically "
              "locate the Torvik Add-in at startup.",
          "IDS_HELP text");
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
    Check(group != nullptr, "icon group IDI_SETUP");
    if (!group)
        return;
    auto *header = static_cast<const WORD *>(LockResource(LoadResource(module, group)));
    Check(header[1] == 1 && header[2] == 3, "the icon group holds three images");
    auto *entries = reinterpret_cast<const GroupEntry *>(header + 3);
    const int sizes[] = {32, 16, 48};
    for (int i = 0; i < 3 && i < header[2]; i++) {
        const GroupEntry &e = entries[i];
        std::string which = "icon image " + std::to_string(i);
        Check(e.width == sizes[i] && e.height == sizes[i], which + " size " + std::to_string(e.width));
        Check(e.colours == 16 && e.bitCount == 4, which + " is 16-colour");
        HRSRC image = FindResourceA(module, MAKEINTRESOURCEA(e.id), RT_ICON);
        Check(image != nullptr, which + " present");
        if (!image)
            continue;
        auto *bitmap = static_cast<const BITMAPINFOHEADER *>(LockResource(LoadResource(module, image)));
        Check(bitmap->biBitCount == 4 && bitmap->biWidth == sizes[i] && bitmap->biHeight == 2 * sizes[i],
              which + " bitmap is " + std::to_string(sizes[i]) + " square at 4 bits per pixel");
    }
}

void CheckPayload(HMODULE module, const std::string &payloadFile)
{
    HRSRC found = FindResourceA(module, "XPackArchive", "TEXT");
    Check(found != nullptr, "payload resource TEXT/XPackArchive");
    if (!found)
        return;
    auto *data = static_cast<const unsigned char *>(LockResource(LoadResource(module, found)));
    std::vector<unsigned char> embedded(data, data + SizeofResource(module, found));
    std::vector<unsigned char> expected = ReadAll(payloadFile);
    Check(!expected.empty() && embedded == expected, "the embedded payload is the packed payload file");
    Check(FindResourceA(module, MAKEINTRESOURCEA(1), RT_MANIFEST) == nullptr &&
              FindResourceA(module, MAKEINTRESOURCEA(2), RT_MANIFEST) == nullptr,
          "no manifest");
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::cerr << "usage: setup_static SETUP-EXE PAYLOAD-FILE" << std::endl;
        return 2;
    }
    std::string exe = WindowsPath(argv[1]);
    Image image;
    if (!image.Load(exe)) {
        std::cerr << exe << ": not a readable PE file" << std::endl;
        return 1;
    }
    CheckHeaders(image);
    CheckImports(image);
    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
        std::cerr << exe << ": cannot be loaded as data" << std::endl;
        return 1;
    }
    CheckDialogs(module);
    CheckStrings(module);
    CheckIcon(module);
    CheckPayload(module, WindowsPath(argv[2]));
    FreeLibrary(module);
    std::cout << (g_failures ? "FAILED" : "passed") << std::endl;
    return g_failures ? 1 : 0;
}
