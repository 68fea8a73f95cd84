// file_io_platform.h on Windows. Below a folder that is open, every name is opened
// relative to the folder's handle (NtCreateFile with a root directory, the
// platform's openat), listed through that handle, and renamed or deleted
// through the handle of the very item checked, so that a folder moved or
// replaced meanwhile is never entered by its old path. Nothing is opened
// through a reparse point (FILE_OPEN_REPARSE_POINT) that is a link (its
// tag, reparse_tag.h; other reparse points are plain items that the
// system keeps so, opened again through the system's handling of them and
// held to the identity just checked), and an item whose file
// is found under another path than its own is taken for a link too: that
// is how a symbolic link looks where the file system cannot show it as a
// reparse point (Wine shows Unix links so). These calls are all present
// from Windows XP on; GetFinalPathNameByHandleW, where the system lacks it
// (XP, which has no file symbolic links either), is simply not asked.
#include <windows.h>
#include <winternl.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "file_io_platform.h"
#include "reparse_tag.h"

extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, PVOID apcRoutine, PVOID apcContext,
                                               PIO_STATUS_BLOCK ioStatus, PVOID buffer, ULONG length,
                                               FILE_INFORMATION_CLASS informationClass, BOOLEAN singleEntry,
                                               PUNICODE_STRING fileName, BOOLEAN restartScan);

namespace xpack {

namespace fs = std::filesystem;

const char *const kLinkName = "symbolic link or junction";

namespace platform {

const char *const kTerminalName = "console";

namespace {

constexpr NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035);
constexpr NTSTATUS kNameNotFound = static_cast<NTSTATUS>(0xC0000034);
constexpr NTSTATUS kPathNotFound = static_cast<NTSTATUS>(0xC000003A);
constexpr NTSTATUS kNoMoreFiles = static_cast<NTSTATUS>(0x80000006);
constexpr NTSTATUS kNoSuchFile = static_cast<NTSTATUS>(0xC000000F);
// NtQueryInformationFile's class for FILE_ATTRIBUTE_TAG_INFORMATION (from
// Windows 2000 on).
constexpr auto kAttributeTagInformation = static_cast<FILE_INFORMATION_CLASS>(35);

HANDLE Get(const File &file)
{
    return reinterpret_cast<HANDLE>(file.native());
}

// Takes over handle, when the call that gave it succeeded.
File Own(HANDLE handle)
{
    return handle && handle != INVALID_HANDLE_VALUE ? File(reinterpret_cast<std::intptr_t>(handle)) : File();
}

// Keeps an NT status where SystemReason finds it.
bool Succeeded(NTSTATUS status)
{
    if (NT_SUCCESS(status))
        return true;
    ::SetLastError(::RtlNtStatusToDosError(status));
    return false;
}

std::wstring Wide(const std::string &text)
{
    if (text.empty())
        return std::wstring();
    int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string Narrow(const wchar_t *text, std::size_t size)
{
    if (size == 0)
        return std::string();
    int length =
        ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), narrow.data(), length, nullptr, nullptr);
    return narrow;
}

bool StartsWith(const std::wstring &text, const wchar_t *prefix)
{
    return text.compare(0, std::wcslen(prefix), prefix) == 0;
}

std::wstring FullPath(const std::wstring &path)
{
    DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    size = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    full.resize(size);
    return full;
}

// A path as the platform's calls take it at any length: absolute, with the
// \\?\ prefix. A device (\\.\ after GetFullPathNameW, as NUL or COM1 in any
// folder become) is returned in that form.
std::wstring LongPath(const fs::path &path)
{
    std::wstring wide = path.wstring();
    if (StartsWith(wide, L"\\\\?\\") || StartsWith(wide, L"\\\\.\\"))
        return wide;
    std::wstring full = FullPath(wide);
    if (StartsWith(full, L"\\\\.\\") || StartsWith(full, L"\\\\?\\"))
        return full;
    if (StartsWith(full, L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// The path the system reaches an open item by, links resolved; empty where
// the system cannot tell (Windows XP).
std::wstring FinalPath(HANDLE handle)
{
    using Function = DWORD(WINAPI *)(HANDLE, LPWSTR, DWORD, DWORD);
    static const Function finalPath = reinterpret_cast<Function>(reinterpret_cast<void *>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetFinalPathNameByHandleW")));
    if (!finalPath)
        return std::wstring();
    DWORD size = finalPath(handle, nullptr, 0, 0);
    if (size == 0)
        return std::wstring();
    std::wstring path(size, L'\0');
    size = finalPath(handle, path.data(), size, 0);
    path.resize(size);
    return path;
}

bool SameText(const std::wstring &a, const std::wstring &b)
{
    return ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()),
                            b.c_str(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION &info)
{
    return FileIdentity{info.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

// The one decision of which items are links, from the attributes of the
// item open as handle: a reparse point whose tag is a link's, or cannot be
// read.
bool IsLinkReparsePoint(HANDLE handle, DWORD attributes)
{
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    struct {
        ULONG attributes;
        ULONG tag;
    } tag = {};
    IO_STATUS_BLOCK io;
    bool known =
        NT_SUCCESS(::NtQueryInformationFile(handle, &io, &tag, sizeof tag, kAttributeTagInformation));
    return IsLinkReparseTag(tag.tag, known) != 0;
}

// name opened in folder, not through a link, with access and share; with
// throughReparse, through the system's handling of a reparse point.
NTSTATUS OpenRelative(HANDLE folder, const std::wstring &name, ACCESS_MASK access, ULONG share,
                      ULONG disposition, ULONG options, ULONG attributes, File &opened,
                      bool throughReparse = false)
{
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name.c_str());
    text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK io;
    HANDLE handle = nullptr;
    NTSTATUS status = ::NtCreateFile(
        &handle, access | SYNCHRONIZE, &object, &io, nullptr, attributes, share, disposition,
        options | FILE_SYNCHRONOUS_IO_NONALERT | (throughReparse ? 0 : FILE_OPEN_REPARSE_POINT), nullptr, 0);
    if (NT_SUCCESS(status))
        opened = Own(handle);
    return status;
}

// What an open item is. expectedFinal, when known, is the path the item
// has if it is what its name says rather than a link shown as a plain item.
bool Inspect(HANDLE handle, const std::wstring &expectedFinal, Item &item)
{
    item = Item{};
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        item.status.kind = ItemKind::Other;
        return true;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle, &info))
        return false;
    item.attributes = info.dwFileAttributes;
    item.status.identity = IdentityOf(info);
    item.status.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (IsLinkReparsePoint(handle, info.dwFileAttributes))
        item.status.kind = ItemKind::Link;
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        item.status.kind = ItemKind::Folder;
    else
        item.status.kind = ItemKind::File;
    if (item.status.kind != ItemKind::Link && !expectedFinal.empty()) {
        std::wstring final = FinalPath(handle);
        if (!final.empty() && !SameText(final, expectedFinal))
            item.status.kind = ItemKind::Link;
    }
    return true;
}

bool SetDisposition(HANDLE handle)
{
    FILE_DISPOSITION_INFORMATION disposition;
    disposition.DoDeleteFile = TRUE;
    IO_STATUS_BLOCK io;
    return Succeeded(
        ::NtSetInformationFile(handle, &io, &disposition, sizeof disposition, FileDispositionInformation));
}

constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
// Others may read and write in a folder held open, but not move it away.
constexpr ULONG kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ULONG kAnyShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

bool File::Close()
{
    HANDLE handle = Get(*this);
    native_ = kNone;
    return !handle || handle == INVALID_HANDLE_VALUE || ::CloseHandle(handle);
}

}  // namespace platform

struct Folder::Native {
    explicit Native(platform::File opened) : file(std::move(opened)) {}
    platform::File file;
    mutable bool finalKnown = false;
    mutable std::wstring final;
};

Folder::Folder() = default;
Folder::Folder(std::unique_ptr<Native> native) : native_(std::move(native)) {}
Folder::~Folder() = default;
Folder::Folder(Folder &&other) noexcept = default;
Folder &Folder::operator=(Folder &&other) noexcept = default;

namespace platform {

namespace {

HANDLE Get(const Folder &folder)
{
    return Get(folder.native().file);
}

// Takes over what a call opened, when it succeeded.
bool Adopt(File opened, File &file)
{
    if (!opened)
        return false;
    file = std::move(opened);
    return true;
}

bool Adopt(File opened, Folder &folder)
{
    if (!opened)
        return false;
    folder = Folder(std::make_unique<Folder::Native>(std::move(opened)));
    return true;
}

std::wstring FolderFinalPath(const Folder &folder)
{
    const Folder::Native &native = folder.native();
    if (!native.finalKnown) {
        native.final = FinalPath(Get(native.file));
        native.finalKnown = true;
    }
    return native.final;
}

// name in folder opened and inspected; Missing when there is no such name.
bool OpenChild(const Folder &folder, const std::string &name, ACCESS_MASK access, ULONG share, File &opened,
               Item &item)
{
    std::wstring wide = Wide(name);
    NTSTATUS status =
        OpenRelative(Get(folder), wide, access | FILE_READ_ATTRIBUTES, share, FILE_OPEN, 0, 0, opened);
    if (status == kNameNotFound || status == kPathNotFound) {
        Succeeded(status);
        item = Item{};
        return true;
    }
    if (!Succeeded(status))
        return false;
    // A drive's root already ends in a backslash.
    std::wstring expected = FolderFinalPath(folder);
    if (!expected.empty() && expected.back() != L'\\')
        expected += L'\\';
    if (!expected.empty())
        expected += wide;
    if (!Inspect(Get(opened), expected, item))
        return false;
    if (item.status.kind == ItemKind::Link || !(item.attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return true;
    // A plain item kept as a reparse point (compressed, deduplicated, a
    // placeholder) is read as any program reads it, through the system's
    // handling of it, and only while it is still the item checked: one
    // replaced in between is taken for a link, and refused as one.
    File again;
    if (!Succeeded(OpenRelative(Get(folder), wide, access | FILE_READ_ATTRIBUTES, share, FILE_OPEN, 0, 0,
                                again, true)))
        return false;
    Item now;
    if (!Inspect(Get(again), expected, now))
        return false;
    if (now.status.kind != item.status.kind || now.status.identity != item.status.identity)
        now.status.kind = ItemKind::Link;
    opened = std::move(again);
    item = now;
    return true;
}

// The folder path, links followed unless followLinks is false.
File OpenFolderHandle(const fs::path &path, bool followLinks, ULONG share)
{
    return Own(::CreateFileW(
        LongPath(path).c_str(), kFolderAccess | SYNCHRONIZE, share, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr));
}

}  // namespace

bool StatusOfPath(const fs::path &path, bool followLinks, Item &item)
{
    item = Item{};
    if (IsDevicePath(path)) {
        item.status.kind = ItemKind::Other;
        return true;
    }
    if (followLinks) {
        File opened = Own(::CreateFileW(LongPath(path).c_str(), FILE_READ_ATTRIBUTES, kAnyShare, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (opened)
            return Inspect(Get(opened), std::wstring(), item);
        DWORD code = ::GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
    }
    fs::path named = path.has_filename() ? path : path.parent_path();
    Folder folder;
    if (!named.has_filename()) {
        // A drive's root.
        ItemStatus root;
        if (!OpenFolderPath(named, true, folder) || !StatusOf(folder, root))
            return false;
        item.status = root;
        item.status.kind = ItemKind::Folder;
        return true;
    }
    fs::path parent = named.parent_path().empty() ? fs::path(".") : named.parent_path();
    if (!Adopt(OpenFolderHandle(parent, true, kAnyShare), folder)) {
        DWORD code = ::GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
    }
    File unused;
    return OpenIn(folder, named.filename().string(), Access::Look, unused, item);
}

bool IsDevicePath(const fs::path &path)
{
    return StartsWith(LongPath(path), L"\\\\.\\");
}

bool OpenPathToRead(const fs::path &path, File &file)
{
    return Adopt(Own(::CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr)),
                 file);
}

bool OpenFolderPath(const fs::path &path, bool followLinks, Folder &folder)
{
    return Adopt(OpenFolderHandle(path, followLinks, kFolderShare), folder);
}

bool StatusOf(const File &file, Item &item)
{
    return Inspect(Get(file), std::wstring(), item);
}

bool StatusOf(const Folder &folder, ItemStatus &status)
{
    Item item;
    if (!Inspect(Get(folder), std::wstring(), item))
        return false;
    status = item.status;
    return true;
}

bool Reopen(const Folder &folder, Folder &again)
{
    HANDLE duplicate = nullptr;
    return ::DuplicateHandle(::GetCurrentProcess(), Get(folder), ::GetCurrentProcess(), &duplicate, 0, FALSE,
                             DUPLICATE_SAME_ACCESS) &&
           Adopt(Own(duplicate), again);
}

bool OpenFolderIn(const Folder &folder, const std::string &name, Folder &opened, ItemKind &found)
{
    File next;
    Item item;
    found = ItemKind::Missing;
    if (!OpenChild(folder, name, kFolderAccess, kFolderShare, next, item))
        return false;
    found = item.status.kind;
    if (found == ItemKind::Missing)
        ::SetLastError(ERROR_PATH_NOT_FOUND);
    return found == ItemKind::Folder && Adopt(std::move(next), opened);
}

bool OpenIn(const Folder &folder, const std::string &name, Access access, File &file, Item &item,
            const FileIdentity *)
{
    // Nobody may write to a file while it is read. Below an open folder a
    // name cannot reach a device, so what is opened is checked after.
    const bool read = access == Access::Read;
    const ACCESS_MASK rights = read ? GENERIC_READ : access == Access::Remove ? DELETE : 0;
    File opened;
    if (!OpenChild(folder, name, rights, read ? FILE_SHARE_READ : kAnyShare, opened, item))
        return false;
    file = std::move(opened);
    return true;
}

bool ListNames(const Folder &folder, std::vector<std::string> &names)
{
    std::vector<std::uint8_t> buffer(65536);
    for (bool first = true;; first = false) {
        IO_STATUS_BLOCK io;
        NTSTATUS status = ::NtQueryDirectoryFile(Get(folder), nullptr, nullptr, nullptr, &io, buffer.data(),
                                                 static_cast<ULONG>(buffer.size()), FileDirectoryInformation,
                                                 FALSE, nullptr, first ? TRUE : FALSE);
        if (status == kNoMoreFiles || status == kNoSuchFile)
            return true;
        if (!Succeeded(status))
            return false;
        for (std::size_t at = 0;;) {
            const auto *entry = reinterpret_cast<const FILE_DIRECTORY_INFORMATION *>(buffer.data() + at);
            std::string name = Narrow(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != "." && name != "..")
                names.push_back(std::move(name));
            if (entry->NextEntryOffset == 0)
                break;
            at += entry->NextEntryOffset;
        }
    }
}

Outcome MakeFolderAt(const Folder &folder, const std::string &name)
{
    File made;
    NTSTATUS status = OpenRelative(Get(folder), Wide(name), FILE_LIST_DIRECTORY, kAnyShare, FILE_CREATE,
                                   FILE_DIRECTORY_FILE, FILE_ATTRIBUTE_NORMAL, made);
    if (status == kNameCollision)
        return Outcome::NameTaken;
    return Succeeded(status) ? Outcome::Done : Outcome::Failed;
}

Outcome CreateFileIn(const Folder &folder, const std::string &name, bool temporary, File &file)
{
    File created;
    NTSTATUS status = OpenRelative(Get(folder), Wide(name),
                                   GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, 0,
                                   FILE_CREATE, FILE_NON_DIRECTORY_FILE,
                                   temporary ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_ARCHIVE, created);
    if (status == kNameCollision) {
        Succeeded(status);
        return Outcome::NameTaken;
    }
    return Succeeded(status) && Adopt(std::move(created), file) ? Outcome::Done : Outcome::Failed;
}

bool ReadSome(const File &file, std::uint8_t *buffer, std::size_t size, std::size_t &got)
{
    DWORD read = 0;
    bool done = ::ReadFile(Get(file), buffer, static_cast<DWORD>(std::min<std::size_t>(size, 1 << 20)), &read,
                           nullptr);
    got = read;
    return done;
}

bool WriteSome(const File &file, const std::uint8_t *data, std::size_t size, std::size_t &wrote)
{
    DWORD written = 0;
    bool done = ::WriteFile(Get(file), data, static_cast<DWORD>(std::min<std::size_t>(size, 1 << 20)),
                            &written, nullptr);
    wrote = written;
    return done;
}

bool KeepOwner(const File &, const Item &)
{
    return true;
}

bool SetAttributes(const File &file, const Item *replaced, FileMode)
{
    // A replaced file's read-only, hidden and system bits carry over; a
    // new file gets the archive bit, as any new file does.
    FILE_BASIC_INFORMATION basic = {};
    basic.FileAttributes = replaced
                               ? (replaced->attributes &
                                  (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                   FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED))
                               : FILE_ATTRIBUTE_ARCHIVE;
    if (basic.FileAttributes == 0)
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    IO_STATUS_BLOCK io;
    return Succeeded(::NtSetInformationFile(Get(file), &io, &basic, sizeof basic, FileBasicInformation));
}

bool Flush(File &file)
{
    return ::FlushFileBuffers(Get(file));
}

bool RenameOver(const Folder &folder, const File &file, const std::string &, const std::string &to,
                bool replace)
{
    std::wstring name = Wide(to);
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFORMATION) + name.size() * sizeof(wchar_t));
    auto *rename = reinterpret_cast<FILE_RENAME_INFORMATION *>(buffer.data());
    rename->ReplaceIfExists = replace ? TRUE : FALSE;
    rename->RootDirectory = Get(folder);
    rename->FileNameLength = static_cast<ULONG>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), rename->FileName);
    IO_STATUS_BLOCK io;
    return Succeeded(::NtSetInformationFile(Get(file), &io, rename, static_cast<ULONG>(buffer.size()),
                                            FileRenameInformation));
}

bool Delete(const Folder &, const File &file, const std::string &, bool)
{
    return file && SetDisposition(Get(file));
}

bool StandardOutputIsTerminal()
{
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return ::GetFileType(out) == FILE_TYPE_CHAR && ::GetConsoleMode(out, &mode);
}

void StandardOutputToBinary()
{
    std::cout.flush();
    ::_setmode(::_fileno(stdout), _O_BINARY);
}

}  // namespace platform

std::string SystemReason()
{
    DWORD code = ::GetLastError();
    wchar_t *text = nullptr;
    DWORD size = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::string reason = size ? platform::Narrow(text, size) : "error " + std::to_string(code);
    if (text)
        ::LocalFree(text);
    while (!reason.empty() &&
           (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ' || reason.back() == '.'))
        reason.pop_back();
    return reason;
}

std::vector<std::string> CommandLineArguments(int, char **)
{
    int count = 0;
    wchar_t **arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> result;
    for (int i = 1; i < count; ++i)
        result.push_back(platform::Narrow(arguments[i], std::wcslen(arguments[i])));
    ::LocalFree(arguments);
    return result;
}

fs::path ResolvedPath(const fs::path &path, std::error_code &ec)
{
    std::wstring wide = platform::LongPath(path);
    platform::File item =
        platform::Own(::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, platform::kAnyShare, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!item) {
        fs::path parent = fs::path(wide).parent_path();
        if (parent == fs::path(wide) || !path.has_filename()) {
            ec = std::error_code(static_cast<int>(::GetLastError()), std::system_category());
            return fs::path();
        }
        return ResolvedPath(parent, ec) / path.filename();
    }
    std::wstring final = platform::FinalPath(platform::Get(item));
    if (final.empty())
        final = wide;
    if (platform::StartsWith(final, L"\\\\?\\UNC\\"))
        return fs::path(L"\\\\" + final.substr(8));
    if (platform::StartsWith(final, L"\\\\?\\"))
        return fs::path(final.substr(4));
    return fs::path(final);
}

}  // namespace xpack
