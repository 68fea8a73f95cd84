// file_io.h on Windows. Below a folder that is open, every name is opened
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
#include "file_io.h"

#include <windows.h>
#include <winternl.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "error.h"
#include "reparse_tag.h"

extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, PVOID apcRoutine, PVOID apcContext,
                                               PIO_STATUS_BLOCK ioStatus, PVOID buffer, ULONG length,
                                               FILE_INFORMATION_CLASS informationClass, BOOLEAN singleEntry,
                                               PUNICODE_STRING fileName, BOOLEAN restartScan);

namespace xpack {

namespace fs = std::filesystem;

const char *const kLinkName = "symbolic link or junction";

namespace {

constexpr NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035);
constexpr NTSTATUS kNameNotFound = static_cast<NTSTATUS>(0xC0000034);
constexpr NTSTATUS kPathNotFound = static_cast<NTSTATUS>(0xC000003A);
constexpr NTSTATUS kNoMoreFiles = static_cast<NTSTATUS>(0x80000006);
constexpr NTSTATUS kNoSuchFile = static_cast<NTSTATUS>(0xC000000F);
// NtQueryInformationFile's class for FILE_ATTRIBUTE_TAG_INFORMATION (from
// Windows 2000 on).
constexpr auto kAttributeTagInformation = static_cast<FILE_INFORMATION_CLASS>(35);

// A handle, closed when its owner goes.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~Handle()
    {
        if (handle_)
            ::CloseHandle(handle_);
    }
    Handle(Handle &&other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    Handle &operator=(Handle &&other) noexcept
    {
        std::swap(handle_, other.handle_);
        return *this;
    }
    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HANDLE handle_ = nullptr;
};

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

bool IsDevicePath(const fs::path &path)
{
    return StartsWith(LongPath(path), L"\\\\.\\");
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

// Whether an open reparse point is a link, by its tag.
bool IsLinkReparsePoint(HANDLE handle)
{
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
                      ULONG disposition, ULONG options, ULONG attributes, Handle &opened,
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
        opened = Handle(handle);
    return status;
}

struct Inspected {
    ItemStatus status;
    DWORD attributes = 0;
};

// What an open item is. expectedFinal, when known, is the path the item
// has if it is what its name says rather than a link shown as a plain item.
Inspected Inspect(HANDLE handle, const std::wstring &expectedFinal, const fs::path &shown)
{
    Inspected item;
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        item.status.kind = ItemKind::Other;
        return item;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle, &info))
        throw Error(Shown(shown) + ": " + SystemReason());
    item.attributes = info.dwFileAttributes;
    item.status.identity = IdentityOf(info);
    item.status.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkReparsePoint(handle))
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
    return item;
}

HANDLE FolderHandle(const Folder &folder);
std::wstring FolderFinalPath(const Folder &folder);

// name in folder opened and inspected; Missing when there is no such name.
Inspected OpenChild(const Folder &folder, const std::string &name, ACCESS_MASK access, ULONG share,
                    const fs::path &shown, Handle &opened, ULONG options = 0)
{
    std::wstring wide = Wide(name);
    NTSTATUS status = OpenRelative(FolderHandle(folder), wide, access | FILE_READ_ATTRIBUTES, share,
                                   FILE_OPEN, options, 0, opened);
    if (status == kNameNotFound || status == kPathNotFound)
        return Inspected{};
    if (!Succeeded(status))
        throw Error(Shown(shown) + ": cannot open: " + SystemReason());
    // A drive's root already ends in a backslash.
    std::wstring expected = FolderFinalPath(folder);
    if (!expected.empty() && expected.back() != L'\\')
        expected += L'\\';
    if (!expected.empty())
        expected += wide;
    Inspected item = Inspect(opened.get(), expected, shown);
    if (item.status.kind == ItemKind::Link || !(item.attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return item;
    // A plain item kept as a reparse point (compressed, deduplicated, a
    // placeholder) is read as any program reads it, through the system's
    // handling of it, and only while it is still the item checked.
    Handle again;
    if (!Succeeded(OpenRelative(FolderHandle(folder), wide, access | FILE_READ_ATTRIBUTES, share, FILE_OPEN,
                                options, 0, again, true)))
        throw Error(Shown(shown) + ": cannot open: " + SystemReason());
    Inspected now = Inspect(again.get(), expected, shown);
    if (now.status.kind != item.status.kind || now.status.identity != item.status.identity)
        throw Error(Shown(shown) + ": was replaced while it was opened; not using it");
    opened = std::move(again);
    return now;
}

void WriteAll(HANDLE handle, const Bytes &data, const fs::path &shown)
{
    std::size_t done = 0;
    while (done < data.size()) {
        DWORD wrote = 0;
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1 << 20));
        if (!::WriteFile(handle, data.data() + done, chunk, &wrote, nullptr) || wrote == 0)
            throw Error(Shown(shown) + ": write error: " + SystemReason());
        done += wrote;
    }
}

Bytes ReadAll(HANDLE handle, std::uint64_t expectedSize, const fs::path &shown)
{
    Bytes data;
    data.reserve(static_cast<std::size_t>(expectedSize));
    std::uint8_t buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(handle, buffer, sizeof buffer, &got, nullptr))
            throw Error(Shown(shown) + ": read error: " + SystemReason());
        if (got == 0)
            return data;
        data.insert(data.end(), buffer, buffer + got);
    }
}

bool SetDisposition(HANDLE handle)
{
    FILE_DISPOSITION_INFORMATION disposition;
    disposition.DoDeleteFile = TRUE;
    IO_STATUS_BLOCK io;
    return Succeeded(
        ::NtSetInformationFile(handle, &io, &disposition, sizeof disposition, FileDispositionInformation));
}

// Renames the open item to name in folder.
bool RenameHandle(HANDLE handle, HANDLE folder, const std::wstring &name, bool replace)
{
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFORMATION) + name.size() * sizeof(wchar_t));
    auto *rename = reinterpret_cast<FILE_RENAME_INFORMATION *>(buffer.data());
    rename->ReplaceIfExists = replace ? TRUE : FALSE;
    rename->RootDirectory = folder;
    rename->FileNameLength = static_cast<ULONG>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), rename->FileName);
    IO_STATUS_BLOCK io;
    return Succeeded(::NtSetInformationFile(handle, &io, rename, static_cast<ULONG>(buffer.size()),
                                            FileRenameInformation));
}

constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
// Others may read and write in a folder held open, but not move it away.
constexpr ULONG kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ULONG kAnyShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

struct Folder::Native {
    explicit Native(Handle opened) : handle(std::move(opened)) {}
    Handle handle;
    mutable bool finalKnown = false;
    mutable std::wstring final;
};

Folder::Folder() = default;
Folder::Folder(std::unique_ptr<Native> native) : native_(std::move(native)) {}
Folder::~Folder() = default;
Folder::Folder(Folder &&other) noexcept = default;
Folder &Folder::operator=(Folder &&other) noexcept = default;

namespace {

HANDLE FolderHandle(const Folder &folder)
{
    return folder.native().handle.get();
}

std::wstring FolderFinalPath(const Folder &folder)
{
    const Folder::Native &native = folder.native();
    if (!native.finalKnown) {
        native.final = FinalPath(native.handle.get());
        native.finalKnown = true;
    }
    return native.final;
}

Folder Adopt(Handle handle)
{
    return Folder(std::make_unique<Folder::Native>(std::move(handle)));
}

// A new file with a temporary name in a folder, deleted again unless kept.
class TemporaryFile {
public:
    TemporaryFile(const Folder &folder, const fs::path &target)
    {
        for (int attempt = 0;; ++attempt) {
            NTSTATUS status =
                OpenRelative(FolderHandle(folder), Wide(TemporaryName()),
                             GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, 0,
                             FILE_CREATE, FILE_NON_DIRECTORY_FILE, FILE_ATTRIBUTE_HIDDEN, handle_);
            if (NT_SUCCESS(status))
                return;
            if (status != kNameCollision || attempt == 100) {
                Succeeded(status);
                throw Error(Shown(target) + ": cannot create a temporary file beside it: " + SystemReason());
            }
        }
    }
    ~TemporaryFile()
    {
        if (handle_ && !kept_)
            SetDisposition(handle_.get());
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    HANDLE get() const { return handle_.get(); }
    void Keep() { kept_ = true; }

private:
    Handle handle_;
    bool kept_ = false;
};

void RefuseToReplace(ItemKind kind, const fs::path &shown)
{
    if (kind == ItemKind::Link)
        throw Error(Shown(shown) + ": is a " + kLinkName +
                    "; not writing through it (name the file it points to)");
    if (kind == ItemKind::Folder)
        throw Error(Shown(shown) + ": is a folder");
    if (kind == ItemKind::Other)
        throw Error(Shown(shown) + ": is not a regular file (a device, FIFO or socket); not replacing it");
}

}  // namespace

std::string SystemReason()
{
    DWORD code = ::GetLastError();
    wchar_t *text = nullptr;
    DWORD size = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::string reason = size ? Narrow(text, size) : "error " + std::to_string(code);
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
        result.push_back(Narrow(arguments[i], std::wcslen(arguments[i])));
    ::LocalFree(arguments);
    return result;
}

Bytes ReadWholeFile(const fs::path &path)
{
    std::wstring wide = LongPath(path);
    // Opening a device can have effects of its own.
    if (StartsWith(wide, L"\\\\.\\"))
        throw Error(Shown(path) + ": not a regular file");
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data))
        throw Error(Shown(path) + ": " + SystemReason());
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        throw Error(Shown(path) + ": is a directory");
    Handle file(
        ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        throw Error(Shown(path) + ": cannot open: " + SystemReason());
    Inspected item = Inspect(file.get(), std::wstring(), path);
    if (item.status.kind != ItemKind::File)
        throw Error(Shown(path) + ": not a regular file");
    return ReadAll(file.get(), item.status.size, path);
}

bool IsFolder(const fs::path &path)
{
    std::wstring wide = LongPath(path);
    DWORD attributes = ::GetFileAttributesW(wide.c_str());
    return !StartsWith(wide, L"\\\\.\\") && attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

fs::path ResolvedPath(const fs::path &path, std::error_code &ec)
{
    std::wstring wide = LongPath(path);
    Handle item(::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, kAnyShare, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!item) {
        fs::path parent = fs::path(wide).parent_path();
        if (parent == fs::path(wide) || !path.has_filename()) {
            ec = std::error_code(static_cast<int>(::GetLastError()), std::system_category());
            return fs::path();
        }
        return ResolvedPath(parent, ec) / path.filename();
    }
    std::wstring final = FinalPath(item.get());
    if (final.empty())
        final = wide;
    if (StartsWith(final, L"\\\\?\\UNC\\"))
        return fs::path(L"\\\\" + final.substr(8));
    if (StartsWith(final, L"\\\\?\\"))
        return fs::path(final.substr(4));
    return fs::path(final);
}

Folder OpenFolder(const fs::path &path, bool followLinks)
{
    std::wstring wide = LongPath(path);
    Handle handle(::CreateFileW(
        wide.c_str(), kFolderAccess | SYNCHRONIZE, kFolderShare, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr));
    if (!handle)
        throw Error(Shown(path) + ": cannot open folder: " + SystemReason());
    Inspected item = Inspect(handle.get(), std::wstring(), path);
    if (item.status.kind == ItemKind::Link)
        throw Error(Shown(path) + ": is a " + kLinkName + "; not following it");
    if (item.status.kind != ItemKind::Folder)
        throw Error(Shown(path) + ": not a folder");
    return Adopt(std::move(handle));
}

Folder OpenFolderBelow(const Folder &base, const fs::path &relative, const fs::path &baseShown)
{
    HANDLE duplicate = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), FolderHandle(base), ::GetCurrentProcess(), &duplicate, 0,
                           FALSE, DUPLICATE_SAME_ACCESS))
        throw Error(Shown(baseShown) + ": cannot open folder: " + SystemReason());
    Handle again(duplicate);
    Folder folder = Adopt(std::move(again));
    fs::path shown = baseShown;
    for (const fs::path &part : relative) {
        shown /= part;
        Handle next;
        Inspected item = OpenChild(folder, part.string(), kFolderAccess, kFolderShare, shown, next);
        if (item.status.kind == ItemKind::Missing) {
            ::SetLastError(ERROR_PATH_NOT_FOUND);
            throw Error(Shown(shown) + ": cannot open folder: " + SystemReason());
        }
        if (item.status.kind == ItemKind::Link)
            throw Error(Shown(shown) + ": is a " + kLinkName + "; not following it");
        if (item.status.kind != ItemKind::Folder)
            throw Error(Shown(shown) + ": is not a folder");
        folder = Adopt(std::move(next));
    }
    return folder;
}

FileIdentity IdentityOf(const Folder &folder, const fs::path &shown)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(FolderHandle(folder), &info))
        throw Error(Shown(shown) + ": " + SystemReason());
    return IdentityOf(info);
}

ItemStatus LookUp(const Folder &folder, const std::string &name, const fs::path &shown)
{
    Handle opened;
    return OpenChild(folder, name, 0, kAnyShare, shown, opened).status;
}

ItemStatus LookUpPath(const fs::path &path)
{
    if (IsDevicePath(path)) {
        ItemStatus device;
        device.kind = ItemKind::Other;
        return device;
    }
    fs::path item = path.has_filename() ? path : path.parent_path();
    if (!item.has_filename()) {
        // A drive's root.
        ItemStatus root;
        root.kind = ItemKind::Folder;
        root.identity = IdentityOf(OpenFolder(item), item);
        return root;
    }
    fs::path parent = item.parent_path().empty() ? fs::path(".") : item.parent_path();
    Handle handle(::CreateFileW(LongPath(parent).c_str(), kFolderAccess | SYNCHRONIZE, kAnyShare, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) {
        DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return ItemStatus{};
        throw Error(Shown(path) + ": " + SystemReason());
    }
    return LookUp(Adopt(std::move(handle)), item.filename().string(), path);
}

std::vector<std::string> ListFolder(const Folder &folder, const fs::path &shown)
{
    std::vector<std::string> names;
    std::vector<std::uint8_t> buffer(65536);
    for (bool first = true;; first = false) {
        IO_STATUS_BLOCK io;
        NTSTATUS status =
            ::NtQueryDirectoryFile(FolderHandle(folder), nullptr, nullptr, nullptr, &io, buffer.data(),
                                   static_cast<ULONG>(buffer.size()), FileDirectoryInformation, FALSE,
                                   nullptr, first ? TRUE : FALSE);
        if (status == kNoMoreFiles || status == kNoSuchFile)
            break;
        if (!Succeeded(status))
            throw Error(Shown(shown) + ": cannot read folder: " + SystemReason());
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
    std::sort(names.begin(), names.end());
    return names;
}

Bytes ReadCheckedFile(const Folder &folder, const std::string &name, const FileIdentity &identity,
                      const fs::path &shown)
{
    // Nobody may write to the file while it is read.
    Handle file;
    Inspected item = OpenChild(folder, name, GENERIC_READ, FILE_SHARE_READ, shown, file);
    if (item.status.kind == ItemKind::Missing)
        throw Error(Shown(shown) + ": disappeared after the folder was walked");
    if (item.status.kind == ItemKind::Link)
        throw Error(Shown(shown) + ": is now a " + kLinkName + "; links are not packed");
    if (item.status.kind != ItemKind::File || item.status.identity != identity)
        throw Error(Shown(shown) + ": was replaced after the folder was walked; not reading it");
    return ReadAll(file.get(), item.status.size, shown);
}

bool MakeFolderIn(const Folder &folder, const std::string &name, const fs::path &shown)
{
    Handle made;
    NTSTATUS status = OpenRelative(FolderHandle(folder), Wide(name), FILE_LIST_DIRECTORY, kAnyShare,
                                   FILE_CREATE, FILE_DIRECTORY_FILE, FILE_ATTRIBUTE_NORMAL, made);
    if (status == kNameCollision)
        return false;
    if (!Succeeded(status))
        throw Error(Shown(shown) + ": cannot create folder: " + SystemReason());
    return true;
}

FileIdentity WriteNewFile(const Folder &folder, const std::string &name, const Bytes &data,
                          const fs::path &shown)
{
    Handle file;
    if (!Succeeded(OpenRelative(FolderHandle(folder), Wide(name),
                                GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0, FILE_CREATE,
                                FILE_NON_DIRECTORY_FILE, FILE_ATTRIBUTE_ARCHIVE, file)))
        throw Error(Shown(shown) + ": cannot create: " + SystemReason());
    try {
        WriteAll(file.get(), data, shown);
        BY_HANDLE_FILE_INFORMATION info;
        if (!::GetFileInformationByHandle(file.get(), &info))
            throw Error(Shown(shown) + ": write error: " + SystemReason());
        return IdentityOf(info);
    } catch (const Error &) {
        SetDisposition(file.get());
        throw;
    }
}

bool RemoveIfSame(const Folder &folder, const std::string &name, const FileIdentity &identity, bool isFolder)
{
    try {
        Handle item;
        Inspected found = OpenChild(folder, name, DELETE, kAnyShare, name, item);
        if (found.status.kind == ItemKind::Missing)
            return true;
        if (found.status.kind != (isFolder ? ItemKind::Folder : ItemKind::File) ||
            found.status.identity != identity)
            return false;
        return SetDisposition(item.get());
    } catch (const Error &) {
        return false;
    }
}

bool RenameNoReplace(const Folder &folder, const std::string &from, const std::string &to)
{
    Handle item;
    NTSTATUS status =
        OpenRelative(FolderHandle(folder), Wide(from), DELETE, kAnyShare, FILE_OPEN, 0, 0, item);
    return Succeeded(status) && RenameHandle(item.get(), FolderHandle(folder), Wide(to), false);
}

void WriteFileAtomically(const fs::path &path, const Bytes &data, FileMode)
{
    std::string name = path.filename().string();
    if (name.empty())
        throw Error(Shown(path) + ": names a folder, not a file");
    if (IsDevicePath(path))
        RefuseToReplace(ItemKind::Other, path);
    fs::path folderPath = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    Handle opened(::CreateFileW(LongPath(folderPath).c_str(), kFolderAccess | SYNCHRONIZE, kFolderShare,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!opened)
        throw Error(Shown(path) + ": cannot open its folder: " + SystemReason());
    Folder folder = Adopt(std::move(opened));

    Handle existing;
    Inspected was = OpenChild(folder, name, 0, kAnyShare, path, existing);
    existing = Handle();
    RefuseToReplace(was.status.kind, path);
    bool exists = was.status.kind == ItemKind::File;

    TemporaryFile temp(folder, path);
    WriteAll(temp.get(), data, path);
    // The replaced file's attributes (read-only, hidden, system...) carry
    // over; a new file gets the archive bit, as any new file does.
    FILE_BASIC_INFORMATION basic = {};
    basic.FileAttributes =
        exists ? (was.attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED))
               : FILE_ATTRIBUTE_ARCHIVE;
    if (basic.FileAttributes == 0)
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    IO_STATUS_BLOCK io;
    if (!::FlushFileBuffers(temp.get()) ||
        !Succeeded(::NtSetInformationFile(temp.get(), &io, &basic, sizeof basic, FileBasicInformation)))
        throw Error(Shown(path) + ": write error: " + SystemReason());

    // The name may have changed hands while the data was written.
    Inspected now = OpenChild(folder, name, 0, kAnyShare, path, existing);
    existing = Handle();
    RefuseToReplace(now.status.kind, path);
    if (!RenameHandle(temp.get(), FolderHandle(folder), Wide(name), now.status.kind == ItemKind::File))
        throw Error(Shown(path) + ": cannot replace: " + SystemReason());
    temp.Keep();
}

void ClaimStandardOutput()
{
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (::GetFileType(out) == FILE_TYPE_CHAR && ::GetConsoleMode(out, &mode))
        throw Error("standard output is a console; not writing file data to it");
    std::cout.flush();
    ::_setmode(::_fileno(stdout), _O_BINARY);
}

}  // namespace xpack
