// Input: one byte k, k bytes of folder box text, then the payload bytes.
// Every buffer is a heap block of its real size, so the sanitizers see any
// step outside it; the invariants the extraction run relies on are checked.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "folder_text.h"
#include "path_text.h"
#include "payload_cursor.h"
#include "payload_format.h"

namespace {

constexpr int kPathBuffer = SETUP_PATH_MAX;
constexpr int kTopFolderMax = TOP_FOLDER_MAX;

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

// Code page 932's lead bytes: the folder text is walked as a two-byte code
// page reads it, whose trail bytes include the backslash.
int ShiftJisLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The install root as the run builds it, or false when it is refused.
bool InstallRoot(const std::uint8_t *text, std::size_t count, char *path)
{
    if (count > kPathBuffer - 1)
        count = kPathBuffer - 1;
    for (std::size_t i = 0; i < count; ++i)
        path[i] = text[i] ? (char)text[i] : ' ';  // the box holds no zero bytes
    path[count] = 0;
    NormaliseFolderText(path, (int)count, ShiftJisLeadByte);
    int length = PathTextLength(path);
    Require(length <= (int)count);
    if (length + 1 > PATH_TEXT_MAX_CHARS)
        return false;
    Require(AppendPath(path, "\\") == 1);
    return true;
}

void Walk(const std::uint8_t *start, const std::uint8_t *end, char *path)
{
    const int rootEnd = PathTextLength(path);
    int dirEnd = rootEnd;
    const std::uint8_t *cursor = start;
    while (cursor < end) {
        PayloadEntry entry;
        if (!ReadPayloadEntry(cursor, end, &entry))
            return;
        Require(entry.next > cursor && entry.next <= end);
        Require(entry.nameLength > 0 && std::strlen(entry.name) == entry.nameLength);
        if (entry.isDirectory) {
            path[rootEnd] = 0;
            dirEnd = AppendPath(path, entry.name) ? PathTextLength(path) : -1;
        } else {
            Require(entry.data + entry.dataLength == entry.next);
            (void)ExpectedExpandedLength(entry.data, entry.dataLength);
            if (dirEnd >= 0) {
                path[dirEnd] = 0;
                (void)AppendPath(path, entry.name);
            }
        }
        Require(PathTextLength(path) <= PATH_TEXT_MAX_CHARS);
        cursor = entry.next;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    std::size_t textCount = data[0];
    if (textCount > size - 1)
        textCount = size - 1;
    const std::uint8_t *text = data + 1;

    // Copies of exactly their length, so reads past the end are caught.
    std::vector<std::uint8_t> payload(text + textCount, data + size);
    std::uint8_t *start = payload.empty() ? nullptr : new std::uint8_t[payload.size()];
    if (start)
        std::memcpy(start, payload.data(), payload.size());
    const std::uint8_t *end = start + payload.size();

    char *top = new char[kTopFolderMax + 1];
    CopyTopFolder(start, end, top, kTopFolderMax);
    Require(std::strlen(top) <= (std::size_t)kTopFolderMax);
    delete[] top;

    char *path = new char[kPathBuffer];
    if (InstallRoot(text, textCount, path) && start)
        Walk(start, end, path);
    delete[] path;
    delete[] start;
    return 0;
}
