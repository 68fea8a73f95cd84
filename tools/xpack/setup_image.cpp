#include "setup_image.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "error.h"
#include "names.h"
#include "payload_reader.h"
#include "payload_writer.h"
#include "pe_checksum.h"
#include "pe_image.h"
#include "pe_resource.h"
#include "resource_tree.h"

namespace xpack {

namespace {

using pe::Put32;

// The loader takes no more sections than this.
constexpr std::size_t kMaxSections = 96;
constexpr const char *kRelocationSectionName = ".reloc";

const char *const kDirectoryNames[] = {"export",
                                       "import",
                                       "resource",
                                       "exception",
                                       "certificate",
                                       "base relocation",
                                       "debug",
                                       "architecture",
                                       "global pointer",
                                       "TLS",
                                       "load configuration",
                                       "bound import",
                                       "import address table",
                                       "delay import",
                                       "runtime header",
                                       "reserved"};

bool IsPowerOfTwo(std::uint32_t value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

using pe::AlignUp;
using pe::Section;

}  // namespace

struct SetupStub::Layout {
    pe::Headers headers;
    std::uint32_t fileAlignment = 0;
    std::uint32_t sectionAlignment = 0;
    Section resources;
    bool hasRelocations = false;
    Section relocations;
    pe::ResourceDirectory tree;
    const pe::ResourceEntry *payload = nullptr;
};

namespace {

// Reads the stub strictly: every field it relies on is checked, every read
// bounds-checked, and anything it could not carry over faithfully refused.
class StubReader {
public:
    StubReader(const Bytes &image, const std::string &label) : image_(image), label_(label) {}

    [[noreturn]] void Refuse(const std::string &reason) const { throw Error(label_ + ": " + reason); }

    std::uint32_t U16(std::uint64_t at) const { return image_.U16(at); }
    std::uint32_t U32(std::uint64_t at) const { return image_.U32(at); }

    void ReadHeaders(SetupStub::Layout &layout, std::vector<Section> &sections) const
    {
        layout.headers = pe::ReadHeaders(image_);
        const pe::Headers &h = layout.headers;
        if (!h.IsPe32())
            Refuse("not a 32-bit (PE32) executable, as a setup stub is");
        if (h.optionalSize < pe::kDataDirectoriesOffset)
            Refuse("malformed headers: the optional header is too short");

        // A signature covers the image's bytes, so any change breaks it.
        const pe::DataDirectory certificates = pe::ReadDataDirectory(image_, h, pe::kSecurityDirectory);
        if (certificates.rva != 0 || certificates.size != 0)
            Refuse("is signed (it has a certificate table): replacing the payload would break the signature; "
                   "make the setup from the unsigned stub and sign the result after");
        const pe::DataDirectory resources = pe::ReadDataDirectory(image_, h, pe::kResourceDirectory);
        if (resources.rva == 0 || resources.size == 0)
            Refuse("has no resource section, so no payload resource to replace");

        layout.fileAlignment = U32(h.optional + pe::kFileAlignmentOffset);
        layout.sectionAlignment = U32(h.optional + pe::kSectionAlignmentOffset);
        if (!IsPowerOfTwo(layout.fileAlignment) || layout.fileAlignment < 512 ||
            layout.fileAlignment > 65536 || !IsPowerOfTwo(layout.sectionAlignment) ||
            layout.sectionAlignment < layout.fileAlignment)
            Refuse("bad alignment: file alignment " + std::to_string(layout.fileAlignment) +
                   ", section alignment " + std::to_string(layout.sectionAlignment));

        if (h.sectionCount == 0 || h.sectionCount > kMaxSections)
            Refuse("malformed headers: " + std::to_string(h.sectionCount) + " sections");
        const std::uint64_t sizeOfHeaders = U32(h.optional + pe::kSizeOfHeadersOffset);
        if (h.sectionTable + std::uint64_t(h.sectionCount) * pe::kSectionHeaderSize > sizeOfHeaders ||
            sizeOfHeaders > image_.Size())
            Refuse("malformed headers: the section table runs past the headers");
        sections = pe::ReadSections(image_, h);
        CheckSections(layout, sections, resources.rva, sizeOfHeaders);
    }

    void CheckSections(SetupStub::Layout &layout, const std::vector<Section> &sections,
                       std::uint32_t resourceRva, std::uint64_t sizeOfHeaders) const
    {
        std::uint64_t virtualEnd = 0;
        std::size_t resourceIndex = sections.size();
        for (std::size_t i = 0; i < sections.size(); ++i) {
            const Section &s = sections[i];
            if (s.virtualAddress < virtualEnd || s.virtualAddress % layout.sectionAlignment != 0)
                Refuse("malformed section table: section " + std::to_string(i + 1) +
                       " is out of order, overlaps the one before it or is not aligned");
            virtualEnd = AlignUp(std::uint64_t(s.virtualAddress) + s.Extent(), layout.sectionAlignment);
            if (s.virtualAddress == resourceRva)
                resourceIndex = i;
        }
        if (resourceIndex == sections.size())
            Refuse("the resource tree does not open a section of its own; cannot rebuild it");
        layout.resources = sections[resourceIndex];
        const Section &rsrc = layout.resources;

        const std::size_t after = sections.size() - 1 - resourceIndex;
        if (after > 1)
            Refuse(std::to_string(after) +
                   " sections follow the resource section; only the base relocations (" +
                   kRelocationSectionName + ") may");
        if (after == 1) {
            layout.hasRelocations = true;
            layout.relocations = sections.back();
            if (layout.relocations.name != kRelocationSectionName)
                Refuse("the section after the resource section is \"" + Printable(layout.relocations.name) +
                       "\", not the base relocations (" + kRelocationSectionName + "); cannot move it");
        }

        for (const Section *s : {&layout.resources, layout.hasRelocations ? &layout.relocations : nullptr}) {
            if (!s)
                continue;
            if (s->rawSize == 0 || s->virtualSize == 0 || s->virtualSize > s->rawSize)
                Refuse("section " + Printable(s->name) +
                       " has no data in the file or more in memory than in the file");
            if (s->rawPointer % layout.fileAlignment != 0 || s->rawSize % layout.fileAlignment != 0)
                Refuse("bad alignment: section " + Printable(s->name) +
                       " is not aligned to the file alignment");
        }
        if (rsrc.rawPointer < sizeOfHeaders)
            Refuse("malformed headers: the resource section's data overlaps the headers");
        if (layout.hasRelocations && layout.relocations.rawPointer != rsrc.RawEnd())
            Refuse("the base relocations do not follow the resource section in the file");
        for (std::size_t i = 0; i < resourceIndex; ++i)
            if (sections[i].rawSize != 0 &&
                (sections[i].rawPointer < sizeOfHeaders || sections[i].RawEnd() > rsrc.rawPointer))
                Refuse("section " + Printable(sections[i].name) +
                       "'s data overlaps the headers or lies at or after the resource section's");

        const std::uint64_t end = layout.hasRelocations ? layout.relocations.RawEnd() : rsrc.RawEnd();
        if (end > image_.Size())
            Refuse("truncated executable: its sections run past the end of the file");
        if (end < image_.Size())
            Refuse("has " + std::to_string(image_.Size() - end) +
                   " bytes appended after its last section (an overlay); they would be lost");
    }

    // Only the resource and base relocation directories may lie in the
    // sections that change; everything else must lie before them.
    void CheckDirectories(const SetupStub::Layout &layout) const
    {
        const std::uint32_t start = layout.resources.virtualAddress;
        for (std::size_t i = 0; i < layout.headers.directoryCount; ++i) {
            const pe::DataDirectory d = pe::ReadDataDirectory(image_, layout.headers, i);
            if (i == pe::kResourceDirectory || d.size == 0)
                continue;
            const std::uint64_t end = std::uint64_t(d.rva) + d.size;
            if (i == pe::kBaseRelocationDirectory && layout.hasRelocations) {
                const Section &reloc = layout.relocations;
                if (d.rva < reloc.virtualAddress ||
                    end > reloc.virtualAddress + std::uint64_t(reloc.virtualSize))
                    Refuse("the base relocation table does not lie in the " +
                           std::string(kRelocationSectionName) + " section");
                continue;
            }
            if (end > start)
                Refuse(std::string("the ") + kDirectoryNames[i] +
                       " directory lies in or after the resource section; cannot move it");
        }
        if (layout.hasRelocations &&
            pe::ReadDataDirectory(image_, layout.headers, pe::kBaseRelocationDirectory).size == 0)
            Refuse("the " + std::string(kRelocationSectionName) + " section holds no base relocation table");
        if (U32(layout.headers.optional + pe::kEntryPointOffset) >= start)
            Refuse("the entry point lies in or after the resource section");
    }

    // A base relocation applied inside the resource section would change
    // bytes that are rebuilt.
    void CheckRelocations(const SetupStub::Layout &layout, const std::vector<Section> &sections) const
    {
        pe::ForEachRelocation(image_, layout.headers, sections, [&](std::uint32_t rva, unsigned type) {
            if (type != pe::kRelocationPadding && std::uint64_t(rva) + 4 > layout.resources.virtualAddress)
                Refuse("a base relocation patches the resource section or what follows it");
        });
    }

private:
    const pe::Reader image_;
    const std::string &label_;
};

using ResourceMap = std::map<std::tuple<std::string, std::string, std::string>, Bytes>;

ResourceMap ResourcesOf(const Bytes &image, const std::string &label)
{
    ResourceMap map;
    for (Resource &r : ReadResources(image.data(), image.size(), label))
        map[{r.type, r.name, r.language}] = std::move(r.data);
    return map;
}

bool IsPayloadKey(const std::tuple<std::string, std::string, std::string> &key)
{
    return FoldCase(std::get<0>(key)) == FoldCase(kPayloadResourceType) &&
           FoldCase(std::get<1>(key)) == FoldCase(kPayloadResourceName);
}

}  // namespace

SetupStub::SetupStub(Bytes image, std::string label)
    : image_(std::move(image)), label_(std::move(label)), layout_(std::make_unique<Layout>())
{
    StubReader reader(image_, label_);
    try {
        std::vector<Section> sections;
        reader.ReadHeaders(*layout_, sections);
        reader.CheckDirectories(*layout_);
        reader.CheckRelocations(*layout_, sections);
        layout_->tree = pe::ReadResourceTree(pe::Reader(image_), layout_->resources);
    } catch (const pe::FormatError &fault) {
        reader.Refuse(fault.what());
    }

    const std::string missing = std::string("has no ") + kPayloadResourceType + " resource named " +
                                kPayloadResourceName + " to hold the payload (not a setup stub)";
    pe::ResourceEntry *type = layout_->tree.FindNamed(kPayloadResourceType);
    pe::ResourceEntry *name = type ? type->directory->FindNamed(kPayloadResourceName) : nullptr;
    if (!name)
        reader.Refuse(missing);
    if (name->directory->entries.size() != 1)
        reader.Refuse("holds its payload resource in " + std::to_string(name->directory->entries.size()) +
                      " languages; a setup stub holds it in one");
    layout_->payload = &name->directory->entries[0];
}

SetupStub::~SetupStub() = default;

Bytes SetupStub::WithPayload(const Bytes &payload, const std::string &payloadLabel) const
{
    if (payload.size() >= kPayloadLimit)
        throw Error(payloadLabel + ": the payload is " + std::to_string(payload.size()) + " bytes; " +
                    PayloadLimitReason());
    const Layout &l = *layout_;
    const Section &rsrc = l.resources;
    const Bytes tree = pe::WriteResourceTree(l.tree, rsrc.virtualAddress, image_.data() + rsrc.rawPointer,
                                             l.payload, payload);
    const std::uint64_t treeSize = tree.size();
    const std::uint64_t rawSize = AlignUp(treeSize, l.fileAlignment);
    const std::uint64_t relocationRva = AlignUp(rsrc.virtualAddress + treeSize, l.sectionAlignment);
    const std::uint64_t imageEnd =
        l.hasRelocations ? relocationRva + l.relocations.virtualSize : rsrc.virtualAddress + treeSize;
    if (AlignUp(imageEnd, l.sectionAlignment) > 0xFFFFFFFFull)
        throw Error(label_ + ": with this payload the image would pass 4 GiB");

    // The headers and the sections before the resource section stay as
    // they are; the tree follows, then the base relocations.
    Bytes out(image_.begin(), image_.begin() + rsrc.rawPointer);
    out.resize(out.size() + rawSize, 0);
    std::copy(tree.begin(), tree.end(), out.begin() + rsrc.rawPointer);
    Put32(out, rsrc.header + pe::kVirtualSizeOffset, std::uint32_t(treeSize));
    Put32(out, rsrc.header + pe::kRawSizeOffset, std::uint32_t(rawSize));
    Put32(out, l.headers.directories + pe::kResourceDirectory * pe::kDataDirectorySize + 4,
          std::uint32_t(treeSize));
    if (rsrc.characteristics & pe::kSectionInitializedData) {
        const std::size_t field = l.headers.optional + pe::kSizeOfInitializedDataOffset;
        Put32(out, field, pe::Reader(out).U32(field) - rsrc.rawSize + std::uint32_t(rawSize));
    }
    if (l.hasRelocations) {
        const Section &reloc = l.relocations;
        out.insert(out.end(), image_.begin() + reloc.rawPointer, image_.begin() + reloc.RawEnd());
        Put32(out, reloc.header + pe::kVirtualAddressOffset, std::uint32_t(relocationRva));
        Put32(out, reloc.header + pe::kRawPointerOffset, std::uint32_t(rsrc.rawPointer + rawSize));
        const std::size_t field =
            l.headers.directories + pe::kBaseRelocationDirectory * pe::kDataDirectorySize;
        Put32(out, field, pe::Reader(out).U32(field) - reloc.virtualAddress + std::uint32_t(relocationRva));
    }
    Put32(out, l.headers.optional + pe::kSizeOfImageOffset,
          std::uint32_t(AlignUp(imageEnd, l.sectionAlignment)));
    pe::UpdateCheckSum(out);

    // Read back with the independent reader: every resource but the
    // payload as it was, and the payload the one given.
    ResourceMap before = ResourcesOf(image_, label_);
    ResourceMap after = ResourcesOf(out, label_);
    bool same = before.size() == after.size();
    for (auto b = before.begin(), a = after.begin(); same && b != before.end(); ++b, ++a)
        same = b->first == a->first && a->second == (IsPayloadKey(a->first) ? payload : b->second);
    if (!same)
        throw Error(label_ + ": internal error: the rebuilt resources do not read back as they should");
    return out;
}

}  // namespace xpack
