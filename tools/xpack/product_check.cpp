#include "product_check.h"

#include "names.h"
#include "payload_reader.h"
#include "pe_exports.h"
#include "szdd/szdd.h"

namespace xpack {

namespace {

// Why data, the component as installed, is not one the program can register.
std::string RegistrationProblem(const ReadEntry &entry)
{
    Bytes image;
    std::string error;
    if (!szdd::Expand(entry.data, entry.dataLength, image, error))
        return "cannot be expanded: " + error;
    try {
        const pe::Reader reader(image);
        std::string problem = pe::Dll32Problem(reader);
        if (!problem.empty())
            return "is " + problem;
        return pe::ExportsName(reader, COMPONENT_REGISTER_EXPORT)
                   ? ""
                   : "does not export " COMPONENT_REGISTER_EXPORT;
    } catch (const pe::FormatError &fault) {
        return std::string("is no DLL: ") + fault.what();
    }
}

}  // namespace

std::vector<std::string> ProductWarnings(const Bytes &payload, const std::string &label)
{
    std::vector<ReadEntry> entries = ReadPayload(payload, label);
    if (entries.empty())
        return {};
    // The component folder, relative to the install folder, is the top
    // folder; the tails start with the backslash that joins them.
    const std::string top = TopFolderOf(payload);
    const std::string componentPath = FoldCase(top + COMPONENT_TAIL);
    const std::string readmePath = FoldCase(top + README_TAIL);
    const ReadEntry *component = nullptr;
    const ReadEntry *readme = nullptr;
    std::string folder;  // the current directory entry's name, with its backslash
    for (const ReadEntry &entry : entries) {
        if (entry.isDirectory) {
            folder = entry.name;
            continue;
        }
        const std::string installed = FoldCase(folder + entry.name);
        if (installed == componentPath)
            component = &entry;
        else if (installed == readmePath)
            readme = &entry;
    }

    std::vector<std::string> warnings;
    const std::string after = "; the setup program would fail to register it";
    if (!component) {
        warnings.push_back(label + ": no " + std::string(COMPONENT_TAIL).substr(1) + " in the top folder \"" +
                           Printable(top) +
                           "\"; the setup program would find no add-in component to register");
    } else {
        std::string problem = RegistrationProblem(*component);
        if (!problem.empty())
            warnings.push_back(label + ": the add-in component " + Printable(top) + "\\" +
                               Printable(component->name) + " " + problem + after);
    }
    if (!readme)
        warnings.push_back(label + ": no " + Printable(top) + README_TAIL +
                           "; the setup program would offer to open a readme that is not there");
    return warnings;
}

}  // namespace xpack
