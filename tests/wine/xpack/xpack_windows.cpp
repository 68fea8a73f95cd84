// xpack.exe where only Windows can show it: its links (junctions, symbolic
// links), device names, file attributes, the console, long and wide paths,
// and reading only what the walk checked. Everything the Linux build does
// as well is compared with it by compare-hosts.
// Usage: xpack_windows XPACK-EXE
#include <windows.h>
#include <winioctl.h>

#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "check.h"
#include "error.h"
#include "folders.h"
#include "payload_writer.h"
#include "szdd/szdd.h"
#include "tree_walk.h"

using namespace driver;

namespace {

std::string g_xpack;

std::wstring Wide(const std::string &text)
{
    int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length) - 1);
    return wide;
}

// Whether text begins with an SZDD header.
bool IsSzdd(const std::string &text)
{
    return text.size() >= szdd::kHeaderSize &&
           text.compare(0, sizeof szdd::kMagic, reinterpret_cast<const char *>(szdd::kMagic),
                        sizeof szdd::kMagic) == 0;
}

struct Run {
    DWORD status = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

// Runs xpack.exe with args (UTF-8) in folder, its output and messages
// captured; creationFlags CREATE_NEW_CONSOLE leaves its standard handles to
// that console.
Run RunXpack(const std::string &folder, const std::vector<std::string> &args, DWORD creationFlags = 0)
{
    std::wstring line = L"\"" + Wide(g_xpack) + L"\"";
    for (const std::string &arg : args)
        line += L" \"" + Wide(arg) + L"\"";
    std::string outPath = folder + "\\..\\xpack-out.txt", errPath = folder + "\\..\\xpack-err.txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out =
        CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE err =
        CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (!(creationFlags & CREATE_NEW_CONSOLE)) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out;
        startup.hStdError = err;
    }
    PROCESS_INFORMATION process = {};
    Run run;
    // A process given a console of its own inherits nothing: Wine's console
    // host would otherwise keep the capture files open after it ends, and
    // the next run could not open them again.
    BOOL inheritHandles = !(creationFlags & CREATE_NEW_CONSOLE);
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, inheritHandles, creationFlags, nullptr,
                       Wide(folder).c_str(), &startup, &process)) {
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &run.status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    CloseHandle(err);
    run.out = ReadFileText(outPath);
    run.err = ReadFileText(errPath);
    return run;
}

bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// The names in folder, sorted as ListFolder gives them.
std::string Names(const std::string &folder)
{
    std::string names;
    for (const FolderItem &item : ListFolder(folder))
        names += item.name + " ";
    return names;
}

bool IsReparsePoint(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A junction at link to the folder target, as the platform's own tools make
// one; false where the file system does not take it (Wine 8 answers
// FSCTL_SET_REPARSE_POINT with ERROR_NOT_SUPPORTED).
bool MakeJunction(const std::string &link, const std::string &target)
{
    if (!CreateDirectoryA(link.c_str(), nullptr))
        return false;
    HANDLE folder = CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    std::wstring substitute = L"\\??\\" + Wide(target), print = Wide(target);
    std::vector<BYTE> buffer(16 + (substitute.size() + print.size() + 2) * 2, 0);
    auto put16 = [&](std::size_t at, std::size_t value) {
        buffer[at] = static_cast<BYTE>(value);
        buffer[at + 1] = static_cast<BYTE>(value >> 8);
    };
    *reinterpret_cast<DWORD *>(buffer.data()) = IO_REPARSE_TAG_MOUNT_POINT;
    put16(4, buffer.size() - 8);
    put16(8, 0);
    put16(10, substitute.size() * 2);
    put16(12, substitute.size() * 2 + 2);
    put16(14, print.size() * 2);
    std::copy(substitute.begin(), substitute.end(), reinterpret_cast<wchar_t *>(&buffer[16]));
    std::copy(print.begin(), print.end(),
              reinterpret_cast<wchar_t *>(&buffer[16 + substitute.size() * 2 + 2]));
    DWORD returned = 0;
    BOOL made = DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, buffer.data(),
                                static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
    CloseHandle(folder);
    if (!made)
        RemoveDirectoryA(link.c_str());
    return made && IsReparsePoint(link);
}

// A symbolic link; false where none can be made (Wine 8's
// CreateSymbolicLinkW reports success and makes nothing).
bool MakeSymbolicLink(const std::string &link, const std::string &target, bool folder)
{
    using Function = BOOLEAN(WINAPI *)(LPCWSTR, LPCWSTR, DWORD);
    auto create = reinterpret_cast<Function>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkW")));
    return create && create(Wide(link).c_str(), Wide(target).c_str(), folder ? 1 : 0) && IsReparsePoint(link);
}

// The platform's own links in a tree, as an output and as unpack's target:
// refused, and what they point to left alone.
void PlatformLinks(const std::string &work)
{
    MakeDirectories(work + "\\tree\\Addins");
    MakeDirectories(work + "\\outside");
    WriteFileText(work + "\\outside\\secret.txt", "secret");
    WriteFileText(work + "\\tree\\Addins\\a.txt", "a");
    struct Link {
        std::string kind;
        std::function<bool(const std::string &)> make;
    };
    std::vector<Link> links = {
        {"junction", [&](const std::string &at) { return MakeJunction(at, work + "\\outside"); }},
        {"folder symbolic link",
         [&](const std::string &at) { return MakeSymbolicLink(at, work + "\\outside", true); }},
        {"file symbolic link",
         [&](const std::string &at) { return MakeSymbolicLink(at, work + "\\outside\\secret.txt", false); }},
    };
    for (const Link &link : links) {
        std::string at = work + "\\tree\\Addins\\link";
        if (!link.make(at)) {
            std::cout << "not supported here: a " << link.kind << " (error " << GetLastError()
                      << "); compare-hosts packs Wine's view of Unix links instead\n";
            continue;
        }
        Run pack = RunXpack(work, {"pack", "tree", "-o", "p.bin"});
        CHECK_EQ(pack.status, 1u, link.kind + " in the tree");
        CHECK(Contains(pack.err, "tree\\Addins\\link: is a symbolic link or junction; links are not packed"),
              link.kind + ": " + pack.err);
        Run write = RunXpack(work, {"compress", "tree\\Addins\\a.txt", "tree\\Addins\\link"});
        CHECK(write.status == 1 && Contains(write.err, "not writing through it"),
              link.kind + ": " + write.err);
        Run unpack = RunXpack(work, {"unpack", "p.bin", "tree\\Addins\\link"});
        CHECK_EQ(unpack.status, 1u, link.kind + " as unpack's folder");
        CHECK_EQ(ReadFileText(work + "\\outside\\secret.txt"), std::string("secret"));
        CHECK_EQ(Names(work + "\\outside"), std::string("secret.txt "), link.kind);
        RemoveDirectoryA(at.c_str()) || DeleteFileA(at.c_str());
    }
}

std::string PackError(const std::string &tree, const std::function<void()> &afterWalk)
{
    try {
        xpack::TreeWalk walk = xpack::WalkTree(std::filesystem::u8path(tree));
        afterWalk();
        xpack::BuildPayload(walk, "p.bin");
    } catch (const xpack::Error &error) {
        return error.what();
    }
    return "";
}

// A file or folder swapped after the walk, by another of the same name,
// is refused rather than read: its volume and file index are not the ones
// the walk saw. The folder is moved away while a handle to its parent is
// held, and the reader still finds only the name's new owner.
void ReadsOnlyWhatTheWalkChecked(const std::string &work)
{
    std::string tree = work + "\\tree", file = tree + "\\Addins\\a.txt", folder = tree + "\\Addins\\Sub";
    auto fresh = [&] {
        RemoveTree(tree);
        MakeDirectories(folder);
        WriteFileText(file, "a");
        WriteFileText(folder + "\\b.txt", "b");
    };
    fresh();
    CHECK_EQ(PackError(tree, [] {}), std::string());
    fresh();
    CHECK_EQ(PackError(tree,
                       [&] {
                           WriteFileText(work + "\\other.txt", "other");
                           MoveFileExA((work + "\\other.txt").c_str(), file.c_str(),
                                       MOVEFILE_REPLACE_EXISTING);
                       }),
             file + ": was replaced after the folder was walked; not reading it");
    fresh();
    CHECK_EQ(PackError(tree,
                       [&] {
                           MoveFileA(folder.c_str(), (work + "\\walked").c_str());
                           MakeDirectories(folder);
                           WriteFileText(folder + "\\b.txt", "b");
                       }),
             folder + ": was replaced after the folder was walked; not reading it");
    fresh();
    CHECK_EQ(PackError(tree, [&] { DeleteFileA(file.c_str()); }),
             file + ": disappeared after the folder was walked");
}

// A device is neither read nor replaced, whatever folder names it.
void Devices(const std::string &work)
{
    WriteFileText(work + "\\in.txt", "data");
    for (const char *device :
         {"NUL", "nul.txt", "COM1", "CON", "LPT1.log", "CONOUT$", "sub\\AUX", "\\\\.\\NUL"}) {
        Run run = RunXpack(work, {"compress", "in.txt", device});
        CHECK_EQ(run.status, 1u, std::string("output ") + device);
        CHECK(Contains(run.err, ": is not a regular file (a device, FIFO or socket); not replacing it"),
              std::string(device) + ": " + run.err);
        run = RunXpack(work, {"compress", device, "out.sz"});
        CHECK(run.status == 1 && Contains(run.err, ": is not a regular file"),
              std::string(device) + ": " + run.err);
    }
    CHECK_EQ(Names(work), std::string("in.txt "));
}

// A replaced file keeps its attributes; a new one gets the archive bit,
// as any new file does; no temporary file stays behind.
void Attributes(const std::string &work)
{
    WriteFileText(work + "\\in.txt", "new data");
    WriteFileText(work + "\\out.sz", "old");
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    SetFileAttributesA((work + "\\out.sz").c_str(), kept);
    Run run = RunXpack(work, {"compress", "in.txt", "out.sz"});
    CHECK_EQ(run.status, 0u, run.err);
    CHECK(IsSzdd(ReadFileText(work + "\\out.sz")), "out.sz is SZDD");
    DWORD attributes = GetFileAttributesA((work + "\\out.sz").c_str());
    CHECK_EQ(attributes & (kept | FILE_ATTRIBUTE_READONLY), kept);
    run = RunXpack(work, {"expand", "out.sz", "new.txt"});
    CHECK_EQ(ReadFileText(work + "\\new.txt"), std::string("new data"));
    attributes = GetFileAttributesA((work + "\\new.txt").c_str());
    CHECK_EQ(attributes & (kept | FILE_ATTRIBUTE_ARCHIVE), DWORD(FILE_ATTRIBUTE_ARCHIVE));
    CHECK_EQ(Names(work), std::string("in.txt new.txt out.sz "));

    // Made and replaced in a drive's root, whose path ends in a backslash.
    std::string root = "C:\\xpack-root-" + std::to_string(GetCurrentProcessId()) + ".sz";
    for (int time = 0; time < 2; ++time) {
        run = RunXpack(work, {"compress", "in.txt", root});
        CHECK(run.status == 0 && IsSzdd(ReadFileText(root)), root + ": " + run.err);
    }
    DeleteFileA(root.c_str());
}

// "-" is standard output, unless that is a console.
void ConsoleOutput(const std::string &work)
{
    WriteFileText(work + "\\in.txt", "data");
    Run run = RunXpack(work, {"compress", "in.txt", "-"}, CREATE_NEW_CONSOLE);
    CHECK_EQ(run.status, 1u, "compress to a console");
    run = RunXpack(work, {"compress", "in.txt", "-"});
    CHECK(run.status == 0 && IsSzdd(run.out), "the same to a file: " + run.err);
    CHECK_EQ(Names(work), std::string("in.txt "));
}

// Paths past MAX_PATH, and names outside the ANSI code page, as typed.
void LongAndWidePaths(const std::string &work)
{
    // A tree whose file lies past MAX_PATH, packed into and unpacked in a
    // folder as deep.
    std::string levels;
    for (int level = 0; level < 6; ++level)
        levels += "\\" + std::string(50, 'd');
    std::string deepTree = work + "\\tree\\Addins" + levels, deep = work + "\\out" + levels;
    for (const std::string &folder : {deepTree, deep}) {
        std::wstring wide = L"\\\\?\\" + Wide(folder);
        for (std::size_t at = wide.find(L'\\', 7); at != std::wstring::npos; at = wide.find(L'\\', at + 1))
            CreateDirectoryW(wide.substr(0, at).c_str(), nullptr);
        CreateDirectoryW(wide.c_str(), nullptr);
    }
    HANDLE file = CreateFileW((L"\\\\?\\" + Wide(deepTree) + L"\\f.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, 0, nullptr);
    DWORD wrote = 0;
    WriteFile(file, "deep", 4, &wrote, nullptr);
    CloseHandle(file);
    CHECK(deep.size() > MAX_PATH, "the folders go past MAX_PATH");

    Run run = RunXpack(work, {"pack", work + "\\tree", "-o", deep + "\\p.bin"});
    CHECK_EQ(run.status, 0u, run.err);
    run = RunXpack(work, {"unpack", deep + "\\p.bin", deep + "\\unpacked"});
    CHECK_EQ(run.status, 0u, run.err);
    std::wstring unpacked = L"\\\\?\\" + Wide(deep + "\\unpacked\\Addins" + levels + "\\f.txt");
    CHECK(GetFileAttributesW(unpacked.c_str()) != INVALID_FILE_ATTRIBUTES, "the deep file unpacked");

    // Omega is in no ANSI code page of Western Europe.
    std::string omega = work + "\\\xce\xa9";
    CreateDirectoryW(Wide(omega).c_str(), nullptr);
    run = RunXpack(work, {"pack", work + "\\tree", "-o", omega + "\\p.bin"});
    CHECK_EQ(run.status, 0u, run.err);
    run = RunXpack(work, {"list", omega + "\\p.bin"});
    CHECK(run.status == 0 && Contains(run.out, "top folder: Addins"), run.out + run.err);
    run = RunXpack(work, {"list", omega + "\\missing.bin"});
    CHECK(Contains(run.err, "\\xce\\xa9\\missing.bin: "), "shown as the Linux build shows it: " + run.err);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::cerr << "usage: xpack_windows XPACK-EXE\n";
        return 2;
    }
    g_xpack = WindowsPath(argv[1]);
    const std::pair<const char *, void (*)(const std::string &)> cases[] = {
        {"platform_links", PlatformLinks},
        {"reads_only_what_the_walk_checked", ReadsOnlyWhatTheWalkChecked},
        {"devices", Devices},
        {"attributes", Attributes},
        {"console_output", ConsoleOutput},
        {"long_and_wide_paths", LongAndWidePaths},
    };
    for (const auto &[name, run] : cases) {
        check::Case(name);
        ScratchFolder work(std::string("xpack-") + name);
        run(work.path());
    }
    return check::Finish();
}
