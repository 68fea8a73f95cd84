// A hand-built PE, folder snapshots and a way to run the xpack program.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "native_test_support.h"

namespace xpack_test {

using namespace native_test;

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};
// Runs xpack with args, capturing its exit status and output. shellPrefix
// runs in the same shell first, e.g. a ulimit.
RunResult RunXpack(const std::vector<std::string> &args, const std::string &shellPrefix = "");
// The same for a shell command line.
RunResult RunShell(const std::string &command);

// The names in folder (not below it), sorted.
std::vector<std::string> Names(const fs::path &folder);

// Relative path -> content ("/" for folders) of every item under root.
std::vector<std::pair<std::string, Bytes>> Snapshot(const fs::path &root);

// The SZDD file that xpack compress makes of text, by way of dir/in.txt
// (left as dir/in.sz).
Bytes CompressedText(const ScratchDir &dir, const std::string &text);

// text as a payload stores a file: SZDD-compressed.
Bytes Stored(const std::string &text);

// "Addins\" with "A.DLL" (1000 x 'a') and "Addins\Sub\" with "R.HTM".
Bytes SamplePayload();

// A minimal PE32 file whose only resource section holds data as a resource
// of the string type and string name given (language 1033), after an
// unrelated resource type with a numeric id.
Bytes MakeExecutable(const Bytes &data, const std::string &type = "TEXT",
                     const std::string &name = "XPACKARCHIVE");

}  // namespace xpack_test
