// A setup program made from a stub on any system: a built setup executable
// whose payload resource is replaced, with the rest of the image kept.
#pragma once
#include <memory>
#include <string>

#include "file_io.h"

namespace xpack {

// A setup executable checked for what replacing its payload needs. The
// image must be laid out as the build links the setup program: a 32-bit PE
// whose resource tree opens its own section, followed at most by the base
// relocations (.reloc), nothing appended and no signature, a resource tree
// of type, name and language levels whose parts neither overlap nor leave
// the section, nothing else in that section, and one TEXT/XPACKARCHIVE
// resource. Anything else is refused, since the rewritten image could not
// be trusted to load or to hold what the stub held.
class SetupStub {
public:
    // Throws Error, its text starting with label, naming what is refused.
    SetupStub(Bytes image, std::string label);
    ~SetupStub();
    SetupStub(const SetupStub &) = delete;
    SetupStub &operator=(const SetupStub &) = delete;

    // The stub's image with payload as its payload resource: the resource
    // section rebuilt in the resource compiler's layout with every other
    // resource as it was, the base relocations moved after it, the headers
    // and the checksum updated. The same stub and payload always give the
    // same bytes. Throws Error for a payload of kPayloadLimit bytes or more,
    // its text starting with payloadLabel.
    Bytes WithPayload(const Bytes &payload, const std::string &payloadLabel) const;

    // What the constructor found in the image; known only where it is read.
    struct Layout;

private:
    Bytes image_;
    std::string label_;
    std::unique_ptr<Layout> layout_;
};

}  // namespace xpack
