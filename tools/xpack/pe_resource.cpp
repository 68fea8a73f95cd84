#include "pe_resource.h"

#include "error.h"
#include "names.h"

namespace xpack {

namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::size_t kResourceDirectoryIndex = 2;

struct Section {
    std::uint32_t virtualAddress;
    std::uint32_t virtualSize;
    std::uint32_t rawSize;
    std::uint32_t rawOffset;
};

class PeReader {
public:
    PeReader(const std::uint8_t *data, std::size_t size, const std::string &label)
        : data_(data), size_(size), label_(label) {}

    [[noreturn]] void Fail(const std::string &reason) const
    {
        throw Error(label_ + ": " + reason);
    }

    std::uint32_t U16(std::size_t offset, const char *what) const
    {
        Need(offset, 2, what);
        return data_[offset] | (data_[offset + 1] << 8);
    }

    std::uint32_t U32(std::size_t offset, const char *what) const
    {
        Need(offset, 4, what);
        return static_cast<std::uint32_t>(data_[offset]) | (data_[offset + 1] << 8) |
               (data_[offset + 2] << 16) | (static_cast<std::uint32_t>(data_[offset + 3]) << 24);
    }

    void Need(std::size_t offset, std::size_t length, const char *what) const
    {
        if (offset > size_ || length > size_ - offset)
            Fail(std::string("truncated executable: ") + what + " lies past the end of the file");
    }

    // The file offset of length bytes at rva, which must lie within one
    // section's data in the file.
    std::size_t Map(std::uint32_t rva, std::uint32_t length, const char *what) const
    {
        for (const Section &s : sections_) {
            if (rva < s.virtualAddress)
                continue;
            std::uint32_t into = rva - s.virtualAddress;
            if (into >= s.rawSize || length > s.rawSize - into)
                continue;
            std::size_t offset = static_cast<std::size_t>(s.rawOffset) + into;
            Need(offset, length, what);
            return offset;
        }
        Fail(std::string("corrupt executable: ") + what + " lies outside the file's sections");
    }

    std::uint32_t ReadHeaders()
    {
        if (U16(0, "the DOS header") != 0x5A4D)
            Fail("not an executable (no MZ signature)");
        std::uint32_t pe = U32(0x3C, "the DOS header");
        if (U32(pe, "the PE signature") != 0x00004550)
            Fail("not a PE executable (no PE signature)");
        std::size_t coff = static_cast<std::size_t>(pe) + 4;
        std::uint32_t sectionCount = U16(coff + 2, "the file header");
        std::uint32_t optionalSize = U16(coff + 16, "the file header");
        std::size_t optional = coff + 20;
        std::uint32_t magic = U16(optional, "the optional header");
        std::size_t directories;
        std::size_t countField;
        if (magic == 0x10B) {
            countField = optional + 92;
            directories = optional + 96;
        } else if (magic == 0x20B) {
            countField = optional + 108;
            directories = optional + 112;
        } else {
            Fail("corrupt executable: unknown optional header kind");
        }
        Need(optional, optionalSize, "the optional header");
        std::uint32_t directoryCount = U32(countField, "the optional header");
        std::size_t resourceEntry = directories + 8 * kResourceDirectoryIndex;
        if (directoryCount <= kResourceDirectoryIndex || resourceEntry + 8 > optional + optionalSize)
            Fail("the executable has no resources");
        std::uint32_t resourceRva = U32(resourceEntry, "the optional header");
        if (resourceRva == 0)
            Fail("the executable has no resources");

        std::size_t table = optional + optionalSize;
        Need(table, static_cast<std::size_t>(sectionCount) * 40, "the section table");
        for (std::uint32_t i = 0; i < sectionCount; ++i) {
            std::size_t at = table + 40 * static_cast<std::size_t>(i);
            sections_.push_back(Section{U32(at + 12, "the section table"), U32(at + 8, "the section table"),
                                        U32(at + 16, "the section table"), U32(at + 20, "the section table")});
        }
        return resourceRva;
    }

    // Whether the directory entry's name is a string equal to name, ignoring
    // ASCII case. Names are UTF-16 counted strings inside the resources.
    bool NameMatches(std::uint32_t root, std::uint32_t nameField, const std::string &name) const
    {
        if (!(nameField & kHighBit))
            return false;
        std::uint32_t rva = root + (nameField & ~kHighBit);
        std::uint32_t length = U16(Map(rva, 2, "a resource name"), "a resource name");
        if (length != name.size())
            return false;
        std::size_t chars = Map(rva + 2, 2 * length, "a resource name");
        std::string folded = FoldCase(name);
        for (std::uint32_t i = 0; i < length; ++i) {
            std::uint32_t c = U16(chars + 2 * i, "a resource name");
            if (c >= 0x80 || FoldCase(std::string(1, static_cast<char>(c)))[0] != folded[i])
                return false;
        }
        return true;
    }

    // The OffsetToData field of the entry matching name in the directory at
    // offset dir (from the resource root), or of the first entry when name
    // is empty; 0 with found false when there is none.
    std::uint32_t FindEntry(std::uint32_t root, std::uint32_t dir, const std::string &name, bool &found) const
    {
        std::size_t header = Map(root + dir, 16, "a resource directory");
        std::uint32_t count = U16(header + 12, "a resource directory") + U16(header + 14, "a resource directory");
        std::size_t entries = Map(root + dir + 16, 8 * count, "a resource directory");
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint32_t nameField = U32(entries + 8 * i, "a resource directory");
            std::uint32_t target = U32(entries + 8 * i + 4, "a resource directory");
            if (name.empty() || NameMatches(root, nameField, name)) {
                found = true;
                return target;
            }
        }
        found = false;
        return 0;
    }

private:
    const std::uint8_t *data_;
    std::size_t size_;
    std::string label_;
    std::vector<Section> sections_;
};

}  // namespace

bool HasExecutableSignature(const std::uint8_t *data, std::size_t size)
{
    return size >= 2 && data[0] == 'M' && data[1] == 'Z';
}

std::vector<std::uint8_t> ReadNamedResource(const std::uint8_t *data, std::size_t size,
                                            const std::string &type, const std::string &name,
                                            const std::string &label)
{
    PeReader pe(data, size, label);
    std::uint32_t root = pe.ReadHeaders();
    const std::string missing = "the executable has no " + type + " resource named " + name;

    // Three levels: type, name, language; the first two must be
    // subdirectories and the language entry a data entry.
    const std::string keys[] = {type, name, ""};
    std::uint32_t target = 0;
    for (int level = 0; level < 3; ++level) {
        bool found = false;
        target = pe.FindEntry(root, target & ~kHighBit, keys[level], found);
        if (!found)
            pe.Fail(missing);
        bool isDirectory = (target & kHighBit) != 0;
        if (isDirectory != (level < 2))
            pe.Fail("corrupt executable: malformed resource directory");
    }
    std::size_t entry = pe.Map(root + target, 16, "a resource data entry");
    std::uint32_t dataRva = pe.U32(entry, "a resource data entry");
    std::uint32_t dataSize = pe.U32(entry + 4, "a resource data entry");
    std::size_t offset = pe.Map(dataRva, dataSize, "the resource data");
    return std::vector<std::uint8_t>(data + offset, data + offset + dataSize);
}

}  // namespace xpack
