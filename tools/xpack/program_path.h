// The packer's own place, and the files it finds from there.
#pragma once
#include <filesystem>
#include <vector>

namespace xpack {

// The running program's executable as the system knows it: /proc/self/exe
// on Linux, GetModuleFileNameW on Windows. Never argv[0] or the PATH, which
// whoever starts the program chooses. Throws Error when it cannot be told.
std::filesystem::path ProgramPath();

// Where setup takes its stub from when given none, in order: beside the
// program (the Windows zip's layout), then in the data folder of the
// installed layout (bin/../share/...), as the package installs it.
std::vector<std::filesystem::path> DefaultStubPlaces();

}  // namespace xpack
