// What the setup program relies on in a payload beyond its format: after
// installing it, the program registers the add-in component found in the
// top folder and offers to open the readme below it. A payload that lacks
// them still installs, and then fails its users, so the packer warns.
#pragma once
#include <string>
#include <vector>

#include "file_io.h"

namespace xpack {

// A warning (without the "warning: " that printing adds, starting with
// label) for each of: no COMPONENT_TAIL in the top folder, one that is not a
// 32-bit DLL exporting COMPONENT_REGISTER_EXPORT, and no README_TAIL there.
// Names are matched as the program's file system matches them, without
// regard to case; of two entries that install at one path the later wins, as
// it does on disk. An empty payload gives none: it installs nothing, which
// the packer warns about already.
std::vector<std::string> ProductWarnings(const Bytes &payload, const std::string &label);

}  // namespace xpack
