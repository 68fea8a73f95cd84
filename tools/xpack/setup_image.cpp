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

namespace xpack {

namespace {

using pe::Put16;
using pe::Put32;

// The loader takes no more sections than this.
constexpr std::size_t kMaxSections = 96;
// The resource compiler pads the block of name strings, and each resource's
// data, to this; the tree is rebuilt the same way, so that a stub rebuilt
// with its own payload comes out as the linker made it.
constexpr std::uint32_t kResourceAlignment = 8;
// Type, name and language: the levels the platform looks resources up by.
constexpr int kResourceLevels = 3;
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

std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

bool IsPowerOfTwo(std::uint32_t value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

using pe::Section;

// A directory entry's key: a name string or a number.
struct Key {
    bool named = false;
    std::uint32_t id = 0;
    std::u16string name;
};

char16_t Upper(char16_t c)
{
    return c >= u'a' && c <= u'z' ? char16_t(c - (u'a' - u'A')) : c;
}

// The order the format requires and the loader's lookup relies on: names
// before numbers, names compared without regard to case, numbers ascending.
bool Before(const Key &a, const Key &b)
{
    if (a.named != b.named)
        return a.named;
    if (!a.named)
        return a.id < b.id;
    return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                        [](char16_t x, char16_t y) { return Upper(x) < Upper(y); });
}

bool NameIs(const Key &key, const std::string &ascii)
{
    if (!key.named || key.name.size() != ascii.size())
        return false;
    for (std::size_t i = 0; i < ascii.size(); ++i)
        if (Upper(key.name[i]) != Upper(static_cast<char16_t>(ascii[i])))
            return false;
    return true;
}

std::string KeyText(const Key &key)
{
    if (!key.named)
        return "#" + std::to_string(key.id);
    std::string text;
    for (char16_t c : key.name)
        text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return Printable(text);
}

struct Directory;

struct Entry {
    Key key;
    std::unique_ptr<Directory> directory;  // null for a resource
    // A resource: its data entry's fields and its data in the stub.
    std::uint32_t codePage = 0;
    std::uint32_t reserved = 0;
    std::uint32_t dataOffset = 0;  // from the start of the section
    std::uint32_t dataSize = 0;
    bool isPayload = false;
};

struct Directory {
    std::uint8_t head[pe::kResourceNamedCountOffset] = {};  // characteristics, time stamp, version
    std::vector<Entry> entries;
};

}  // namespace

struct SetupStub::Layout {
    pe::Headers headers;
    std::uint32_t fileAlignment = 0;
    std::uint32_t sectionAlignment = 0;
    Section resources;
    bool hasRelocations = false;
    Section relocations;
    Directory tree;
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
        const pe::DataDirectory table =
            pe::ReadDataDirectory(image_, layout.headers, pe::kBaseRelocationDirectory);
        const std::uint32_t size = table.size;
        if (size == 0)
            return;
        const std::uint64_t file =
            pe::RawDataOffset(image_, sections, table.rva, size, "the base relocation table");
        for (std::uint64_t at = 0; at < size;) {
            if (size - at < pe::kRelocationBlockHeaderSize)
                Refuse("malformed base relocation table");
            const std::uint32_t page = U32(file + at);
            const std::uint32_t blockSize = U32(file + at + 4);
            if (blockSize < pe::kRelocationBlockHeaderSize || blockSize % 2 != 0 || blockSize > size - at)
                Refuse("malformed base relocation table");
            for (std::uint64_t e = pe::kRelocationBlockHeaderSize; e < blockSize; e += 2) {
                const std::uint32_t entry = U16(file + at + e);
                if ((entry >> 12) != pe::kRelocationPadding &&
                    std::uint64_t(page) + (entry & pe::kRelocationOffsetMask) + 4 >
                        layout.resources.virtualAddress)
                    Refuse("a base relocation patches the resource section or what follows it");
            }
            at += blockSize;
        }
    }

private:
    const pe::Reader image_;
    const std::string &label_;
};

// Reads the resource tree from the resource section, keeping track of the
// bytes each part takes so that overlapping parts and bytes outside the
// tree show.
class ResourceTreeReader {
public:
    ResourceTreeReader(const StubReader &stub, const Bytes &image, const Section &section)
        : stub_(stub), image_(image), section_(section), extent_(section.virtualSize)
    {
    }

    void Read(Directory &root)
    {
        ReadDirectory(root, 0, 0);
        std::sort(parts_.begin(), parts_.end());
        for (std::size_t i = 1; i < parts_.size(); ++i)
            if (std::get<1>(parts_[i - 1]) > std::get<0>(parts_[i]))
                stub_.Refuse(std::string("malformed resource tree: ") + std::get<2>(parts_[i - 1]) + " and " +
                             std::get<2>(parts_[i]) + " overlap");
        // Whatever else the section holds would not survive the rebuild.
        std::vector<bool> used(section_.rawSize, false);
        for (const auto &part : parts_)
            std::fill(used.begin() + std::get<0>(part), used.begin() + std::get<1>(part), true);
        std::size_t stray = 0;
        for (std::size_t i = 0; i < section_.rawSize; ++i)
            stray += !used[i] && image_[section_.rawPointer + i] != 0;
        if (stray != 0)
            stub_.Refuse("the resource section holds " + std::to_string(stray) +
                         " bytes outside its resource tree; they would be lost");
    }

private:
    std::uint32_t U16(std::uint32_t offset) const
    {
        return stub_.U16(section_.rawPointer + std::uint64_t(offset));
    }
    std::uint32_t U32(std::uint32_t offset) const
    {
        return stub_.U32(section_.rawPointer + std::uint64_t(offset));
    }

    // Records that length bytes at offset belong to the tree. Parts that
    // overlap are caught once all are known; more bytes than the section
    // has catch them early, which also bounds the work on a tree whose
    // entries lead to the same parts over and over.
    void Claim(std::uint64_t offset, std::uint64_t length, const char *what)
    {
        if (offset > extent_ || length > extent_ - offset)
            stub_.Refuse(std::string("malformed resource tree: ") + what +
                         " lies outside the resource section");
        if (length == 0)
            return;
        claimed_ += length;
        if (claimed_ > extent_)
            stub_.Refuse("malformed resource tree: its parts overlap");
        parts_.emplace_back(offset, offset + length, what);
    }

    void ReadDirectory(Directory &dir, std::uint32_t offset, int level)
    {
        Claim(offset, pe::kResourceTableSize, "a resource directory");
        const std::uint32_t named = U16(offset + pe::kResourceNamedCountOffset);
        const std::uint32_t count = named + U16(offset + pe::kResourceIdCountOffset);
        Claim(offset + std::uint64_t(pe::kResourceTableSize), std::uint64_t(count) * pe::kResourceEntrySize,
              "a resource directory");
        std::copy_n(&image_[section_.rawPointer + offset], sizeof dir.head, dir.head);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t at =
                offset + std::uint32_t(pe::kResourceTableSize + i * pe::kResourceEntrySize);
            const std::uint32_t nameField = U32(at);
            const std::uint32_t target = U32(at + 4);
            Entry entry;
            entry.key.named = i < named;
            if (entry.key.named != ((nameField & pe::kResourceHighBit) != 0))
                stub_.Refuse(
                    "malformed resource tree: a directory's named and numbered entries are out of place");
            if (entry.key.named) {
                const std::uint32_t string = nameField & ~pe::kResourceHighBit;
                Claim(string, 2, "a resource name");
                const std::uint32_t length = U16(string);
                Claim(string + 2ull, 2ull * length, "a resource name");
                for (std::uint32_t c = 0; c < length; ++c)
                    entry.key.name.push_back(static_cast<char16_t>(U16(string + 2 + 2 * c)));
            } else {
                entry.key.id = nameField;
            }
            const bool isDirectory = (target & pe::kResourceHighBit) != 0;
            if (isDirectory != (level + 1 < kResourceLevels))
                stub_.Refuse("malformed resource tree: not three levels of type, name and language");
            if (isDirectory) {
                entry.directory = std::make_unique<Directory>();
                ReadDirectory(*entry.directory, target & ~pe::kResourceHighBit, level + 1);
            } else {
                Claim(target, pe::kResourceDataEntrySize, "a resource data entry");
                const std::uint32_t rva = U32(target);
                entry.dataSize = U32(target + 4);
                entry.codePage = U32(target + 8);
                entry.reserved = U32(target + 12);
                if (rva < section_.virtualAddress)
                    stub_.Refuse("malformed resource tree: resource data lies outside the resource section");
                entry.dataOffset = rva - section_.virtualAddress;
                Claim(entry.dataOffset, entry.dataSize, "resource data");
            }
            dir.entries.push_back(std::move(entry));
        }
        std::stable_sort(dir.entries.begin(), dir.entries.end(),
                         [](const Entry &a, const Entry &b) { return Before(a.key, b.key); });
        for (std::size_t i = 1; i < dir.entries.size(); ++i)
            if (!Before(dir.entries[i - 1].key, dir.entries[i].key))
                stub_.Refuse("malformed resource tree: two entries for " + KeyText(dir.entries[i].key));
    }

    const StubReader &stub_;
    const Bytes &image_;
    const Section &section_;
    const std::uint64_t extent_;
    std::uint64_t claimed_ = 0;
    std::vector<std::tuple<std::uint64_t, std::uint64_t, const char *>> parts_;
};

Entry *FindNamed(Directory &dir, const std::string &name)
{
    for (Entry &entry : dir.entries)
        if (NameIs(entry.key, name))
            return &entry;
    return nullptr;
}

// What the rebuilt tree takes, part by part.
struct TreeSizes {
    std::uint64_t tables = 0;
    std::uint64_t strings = 0;
    std::uint64_t dataEntries = 0;
    std::uint64_t data = 0;
};

void Measure(const Directory &dir, std::uint64_t payloadSize, TreeSizes &sizes)
{
    sizes.tables += pe::kResourceTableSize + dir.entries.size() * pe::kResourceEntrySize;
    for (const Entry &entry : dir.entries) {
        if (entry.key.named)
            sizes.strings += 2 + 2 * entry.key.name.size();
        if (entry.directory) {
            Measure(*entry.directory, payloadSize, sizes);
        } else {
            sizes.dataEntries += pe::kResourceDataEntrySize;
            sizes.data += AlignUp(entry.isPayload ? payloadSize : entry.dataSize, kResourceAlignment);
        }
    }
}

// Writes the tree as the resource compiler does: all directory tables
// depth first, each parent before its children; then the name strings and
// the data entries, each in the order their entries were written; then the
// data, each padded to kResourceAlignment.
class ResourceTreeWriter {
public:
    ResourceTreeWriter(Bytes &out, std::uint32_t sectionRva, const TreeSizes &sizes,
                       const std::uint8_t *stubSection, const Bytes &payload)
        : out_(out), rva_(sectionRva), stubSection_(stubSection), payload_(payload),
          string_(std::uint32_t(sizes.tables)),
          entry_(std::uint32_t(sizes.tables + AlignUp(sizes.strings, kResourceAlignment))),
          data_(entry_ + std::uint32_t(sizes.dataEntries))
    {
    }

    void Write(const Directory &dir)
    {
        const std::uint32_t at = table_;
        table_ += std::uint32_t(pe::kResourceTableSize + dir.entries.size() * pe::kResourceEntrySize);
        std::copy_n(dir.head, sizeof dir.head, &out_[at]);
        const auto named =
            std::count_if(dir.entries.begin(), dir.entries.end(), [](const Entry &e) { return e.key.named; });
        Put16(out_, at + pe::kResourceNamedCountOffset, std::uint32_t(named));
        Put16(out_, at + pe::kResourceIdCountOffset, std::uint32_t(dir.entries.size() - named));
        std::uint32_t slot = at + std::uint32_t(pe::kResourceTableSize);
        for (const Entry &entry : dir.entries) {
            if (entry.key.named) {
                Put32(out_, slot, pe::kResourceHighBit | string_);
                Put16(out_, string_, std::uint32_t(entry.key.name.size()));
                for (std::size_t c = 0; c < entry.key.name.size(); ++c)
                    Put16(out_, string_ + 2 + 2 * c, entry.key.name[c]);
                string_ += std::uint32_t(2 + 2 * entry.key.name.size());
            } else {
                Put32(out_, slot, entry.key.id);
            }
            if (entry.directory) {
                Put32(out_, slot + 4, pe::kResourceHighBit | table_);
                Write(*entry.directory);
            } else {
                const std::uint8_t *data =
                    entry.isPayload ? payload_.data() : stubSection_ + entry.dataOffset;
                const std::uint32_t size = entry.isPayload ? std::uint32_t(payload_.size()) : entry.dataSize;
                Put32(out_, slot + 4, entry_);
                Put32(out_, entry_, rva_ + data_);
                Put32(out_, entry_ + 4, size);
                Put32(out_, entry_ + 8, entry.codePage);
                Put32(out_, entry_ + 12, entry.reserved);
                std::copy_n(data, size, &out_[data_]);
                entry_ += std::uint32_t(pe::kResourceDataEntrySize);
                data_ += std::uint32_t(AlignUp(size, kResourceAlignment));
            }
            slot += std::uint32_t(pe::kResourceEntrySize);
        }
    }

private:
    Bytes &out_;
    const std::uint32_t rva_;
    const std::uint8_t *stubSection_;
    const Bytes &payload_;
    std::uint32_t table_ = 0;
    std::uint32_t string_;
    std::uint32_t entry_;
    std::uint32_t data_;
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
        ResourceTreeReader(reader, image_, layout_->resources).Read(layout_->tree);
    } catch (const pe::FormatError &fault) {
        reader.Refuse(fault.what());
    }

    const std::string missing = std::string("has no ") + kPayloadResourceType + " resource named " +
                                kPayloadResourceName + " to hold the payload (not a setup stub)";
    Entry *type = FindNamed(layout_->tree, kPayloadResourceType);
    Entry *name = type ? FindNamed(*type->directory, kPayloadResourceName) : nullptr;
    if (!name)
        reader.Refuse(missing);
    if (name->directory->entries.size() != 1)
        reader.Refuse("holds its payload resource in " + std::to_string(name->directory->entries.size()) +
                      " languages; a setup stub holds it in one");
    name->directory->entries[0].isPayload = true;
}

SetupStub::~SetupStub() = default;

Bytes SetupStub::WithPayload(const Bytes &payload, const std::string &payloadLabel) const
{
    if (payload.size() >= kPayloadLimit)
        throw Error(payloadLabel + ": the payload is " + std::to_string(payload.size()) + " bytes; " +
                    PayloadLimitReason());
    const Layout &l = *layout_;
    const Section &rsrc = l.resources;
    TreeSizes sizes;
    Measure(l.tree, payload.size(), sizes);
    const std::uint64_t treeSize =
        sizes.tables + AlignUp(sizes.strings, kResourceAlignment) + sizes.dataEntries + sizes.data;
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
    Bytes treeBytes(treeSize, 0);
    ResourceTreeWriter(treeBytes, rsrc.virtualAddress, sizes, image_.data() + rsrc.rawPointer, payload)
        .Write(l.tree);
    std::copy(treeBytes.begin(), treeBytes.end(), out.begin() + rsrc.rawPointer);
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
