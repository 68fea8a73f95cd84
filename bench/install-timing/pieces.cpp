#include "pieces.h"

#include "payload_cursor.h"
#include "timed_runs.h"

#include <windows.h>

#include <vector>

namespace pieces {

namespace {

struct Stopwatch {
    double *total;
    double start;
    explicit Stopwatch(double *t) : total(t), start(timed::NowMs()) {}
    ~Stopwatch() { *total += timed::NowMs() - start; }
};

bool ReadBack(const std::string &path, std::vector<char> *bytes)
{
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD size = GetFileSize(file, nullptr);
    bytes->resize(size);
    DWORD got = 0;
    bool ok = size == 0 || (ReadFile(file, bytes->data(), size, &got, nullptr) && got == size);
    CloseHandle(file);
    return ok;
}

PieceTimes Fail(PieceTimes times, const std::string &error)
{
    times.ok = false;
    times.error = error;
    return times;
}

}  // namespace

PieceTimes TimePieces(const unsigned char *payload, unsigned long size, const std::string &destination)
{
    PieceTimes times;
    char tempDir[MAX_PATH];
    GetTempPathA(MAX_PATH, tempDir);
    const std::string temp = std::string(tempDir) + "xpkbench.$$$";
    const std::string written = destination + ".write";
    const std::string copied = destination + ".copy";
    for (const std::string *root : {&destination, &written, &copied})
        if (!CreateDirectoryA(root->c_str(), nullptr))
            return Fail(times, "cannot create " + *root);

    std::string directory;  // relative, with its trailing backslash
    const unsigned char *end = payload + size;
    for (const unsigned char *cursor = payload; cursor < end;) {
        PayloadEntry entry;
        if (!ReadPayloadEntry(cursor, end, &entry))
            return Fail(times, "damaged payload");
        cursor = entry.next;
        if (entry.isDirectory) {
            directory = entry.name;
            Stopwatch watch(&times.directoriesMs);
            CreateDirectoryA((destination + "\\" + directory).c_str(), nullptr);
            continue;
        }
        const std::string target = destination + "\\" + directory + entry.name;
        {
            Stopwatch watch(&times.tempWriteMs);
            HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_TEMPORARY, nullptr);
            if (file == INVALID_HANDLE_VALUE)
                return Fail(times, "cannot create " + temp);
            DWORD done = 0;
            WriteFile(file, entry.data, entry.dataLength, &done, nullptr);
            CloseHandle(file);
        }
        {
            Stopwatch watch(&times.expandMs);
            // As the program does it: the destination is the run's own
            // handle, created new or opened, checked and emptied.
            OFSTRUCT sourceInfo;
            INT source = LZOpenFileA(const_cast<char *>(temp.c_str()), &sourceInfo, OF_READ);
            HANDLE sink = source < 0
                              ? INVALID_HANDLE_VALUE
                              : CreateFileA(target.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                            nullptr, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
            if (sink != INVALID_HANDLE_VALUE) {
                BY_HANDLE_FILE_INFORMATION info;
                GetFileInformationByHandle(sink, &info);
                SetEndOfFile(sink);
                LZCopy(source, static_cast<INT>(reinterpret_cast<INT_PTR>(sink)));
                CloseHandle(sink);
            }
            if (source >= 0)
                LZClose(source);
            if (source < 0 || sink == INVALID_HANDLE_VALUE)
                return Fail(times, "cannot expand into " + target);
        }
        {
            Stopwatch watch(&times.tempDeleteMs);
            DeleteFileA(temp.c_str());
        }

        // The comparison: the same expanded bytes written directly, and
        // copied with CopyFileA, each into its own tree.
        std::vector<char> bytes;
        if (!ReadBack(target, &bytes))
            return Fail(times, "cannot read back " + target);
        {
            CreateDirectoryA((written + "\\" + directory).c_str(), nullptr);
            Stopwatch watch(&times.writeExpandedMs);
            HANDLE file = CreateFileA((written + "\\" + directory + entry.name).c_str(), GENERIC_WRITE, 0,
                                      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE)
                return Fail(times, "cannot write beside " + target);
            DWORD done = 0;
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
            CloseHandle(file);
        }
        {
            CreateDirectoryA((copied + "\\" + directory).c_str(), nullptr);
            Stopwatch watch(&times.copyFileMs);
            if (!CopyFileA(target.c_str(), (copied + "\\" + directory + entry.name).c_str(), FALSE))
                return Fail(times, "cannot copy " + target);
        }
    }
    times.ok = true;
    return times;
}

}  // namespace pieces
