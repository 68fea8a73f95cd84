// Where an install's time goes: the engine's per-entry calls on a payload,
// timed one kind at a time in this process, beside the calls that a plain
// copy of the same files makes.
#pragma once

#include <string>

namespace pieces {

struct PieceTimes {
    bool ok = false;
    std::string error;
    double directoriesMs = 0;    // CreateDirectoryA of the directory entries
    double tempWriteMs = 0;      // CreateFileA, WriteFile, CloseHandle of the temporary file
    double expandMs = 0;         // LZOpenFileA twice, LZCopy, LZClose twice
    double tempDeleteMs = 0;     // DeleteFileA of the temporary file
    double writeExpandedMs = 0;  // writing the expanded bytes directly instead
    double copyFileMs = 0;       // CopyFileA of each expanded file, as the floor does
};

// Runs the engine's calls for the payload into destination (created, must
// not exist), then the comparison calls into sibling folders.
PieceTimes TimePieces(const unsigned char *payload, unsigned long size, const std::string &destination);

}  // namespace pieces
