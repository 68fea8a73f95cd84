#include "pe_resource.h"

#include "error.h"
#include "names.h"
#include "pe_image.h"

namespace xpack {

namespace {

using pe::kResourceHighBit;

struct Section {
    std::uint32_t virtualAddress;
    std::uint32_t virtualSize;
    std::uint32_t rawSize;
    std::uint32_t rawOffset;
};

class PeReader {
public:
    PeReader(const std::uint8_t *data, std::size_t size, const std::string &label)
        : data_(data), size_(size), label_(label)
    {
    }

    [[noreturn]] void Fail(const std::string &reason) const { throw Error(label_ + ": " + reason); }

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

    // Reads the headers and returns the resource tree's RVA.
    std::uint32_t ReadHeaders()
    {
        if (U16(0, "the DOS header") != 0x5A4D)
            Fail("not an executable (no MZ signature)");
        std::uint32_t pe = U32(pe::kLfanewOffset, "the DOS header");
        if (U32(pe, "the PE signature") != pe::kPeSignature)
            Fail("not a PE executable (no PE signature)");
        std::size_t coff = static_cast<std::size_t>(pe) + 4;
        std::uint32_t sectionCount = U16(coff + pe::kSectionCountOffset, "the file header");
        std::uint32_t optionalSize = U16(coff + pe::kOptionalSizeOffset, "the file header");
        std::size_t optional = coff + pe::kFileHeaderSize;
        std::uint32_t magic = U16(optional, "the optional header");
        std::size_t directories;
        std::size_t countField;
        if (magic == pe::kPe32Magic) {
            countField = optional + pe::kDirectoryCountOffset;
            directories = optional + pe::kDataDirectoriesOffset;
        } else if (magic == pe::kPe32PlusMagic) {
            countField = optional + pe::kDirectoryCountOffsetPlus;
            directories = optional + pe::kDataDirectoriesOffsetPlus;
        } else {
            Fail("corrupt executable: unknown optional header kind");
        }
        Need(optional, optionalSize, "the optional header");
        std::uint32_t directoryCount = U32(countField, "the optional header");
        std::size_t resourceEntry = directories + pe::kDataDirectorySize * pe::kResourceDirectory;
        if (directoryCount <= pe::kResourceDirectory ||
            resourceEntry + pe::kDataDirectorySize > optional + optionalSize)
            Fail("the executable has no resources");
        std::uint32_t resourceRva = U32(resourceEntry, "the optional header");
        if (resourceRva == 0)
            Fail("the executable has no resources");

        std::size_t table = optional + optionalSize;
        Need(table, static_cast<std::size_t>(sectionCount) * pe::kSectionHeaderSize, "the section table");
        for (std::uint32_t i = 0; i < sectionCount; ++i) {
            std::size_t at = table + pe::kSectionHeaderSize * static_cast<std::size_t>(i);
            sections_.push_back(Section{U32(at + pe::kVirtualAddressOffset, "the section table"),
                                        U32(at + pe::kVirtualSizeOffset, "the section table"),
                                        U32(at + pe::kRawSizeOffset, "the section table"),
                                        U32(at + pe::kRawPointerOffset, "the section table")});
        }
        return resourceRva;
    }

    // The UTF-16 characters of the name string that a name field points to.
    std::u16string NameOf(std::uint32_t root, std::uint32_t nameField) const
    {
        std::uint32_t rva = root + (nameField & ~kResourceHighBit);
        std::uint32_t length = U16(Map(rva, 2, "a resource name"), "a resource name");
        std::size_t chars = Map(rva + 2, 2 * length, "a resource name");
        std::u16string name;
        for (std::uint32_t i = 0; i < length; ++i)
            name.push_back(static_cast<char16_t>(U16(chars + 2 * i, "a resource name")));
        return name;
    }

    // Whether the directory entry's name is a string equal to name, ignoring
    // ASCII case.
    bool NameMatches(std::uint32_t root, std::uint32_t nameField, const std::string &name) const
    {
        if (!(nameField & kResourceHighBit))
            return false;
        std::uint32_t rva = root + (nameField & ~kResourceHighBit);
        if (U16(Map(rva, 2, "a resource name"), "a resource name") != name.size())
            return false;
        std::u16string stored = NameOf(root, nameField);
        std::string folded = FoldCase(name);
        for (std::size_t i = 0; i < stored.size(); ++i)
            if (stored[i] >= 0x80 || FoldCase(std::string(1, static_cast<char>(stored[i])))[0] != folded[i])
                return false;
        return true;
    }

    std::string KeyText(std::uint32_t root, std::uint32_t nameField) const
    {
        if (!(nameField & kResourceHighBit))
            return "#" + std::to_string(nameField);
        static const char kHex[] = "0123456789abcdef";
        std::string text;
        for (char16_t c : NameOf(root, nameField)) {
            if (c < 0x80) {
                text.push_back(static_cast<char>(c));
                continue;
            }
            text += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4)
                text.push_back(kHex[(c >> shift) & 15]);
        }
        return text;
    }

    struct Entry {
        std::uint32_t nameField;
        std::uint32_t target;
    };

    // The entries of the directory at offset dir from the resource root.
    std::vector<Entry> Entries(std::uint32_t root, std::uint32_t dir) const
    {
        std::size_t header = Map(root + dir, pe::kResourceTableSize, "a resource directory");
        std::uint32_t count = U16(header + pe::kResourceNamedCountOffset, "a resource directory") +
                              U16(header + pe::kResourceIdCountOffset, "a resource directory");
        std::uint32_t first = root + dir + static_cast<std::uint32_t>(pe::kResourceTableSize);
        std::size_t at =
            Map(first, static_cast<std::uint32_t>(pe::kResourceEntrySize) * count, "a resource directory");
        std::vector<Entry> entries;
        for (std::uint32_t i = 0; i < count; ++i, at += pe::kResourceEntrySize)
            entries.push_back(Entry{U32(at, "a resource directory"), U32(at + 4, "a resource directory")});
        return entries;
    }

    // The OffsetToData field of the entry matching name in the directory at
    // offset dir (from the resource root), or of the first entry when name
    // is empty; 0 with found false when there is none.
    std::uint32_t FindEntry(std::uint32_t root, std::uint32_t dir, const std::string &name, bool &found) const
    {
        for (const Entry &entry : Entries(root, dir)) {
            if (name.empty() || NameMatches(root, entry.nameField, name)) {
                found = true;
                return entry.target;
            }
        }
        found = false;
        return 0;
    }

    // The file offset and size of the data that the data entry at offset
    // target (from the resource root) describes.
    std::size_t DataOf(std::uint32_t root, std::uint32_t target, std::uint32_t &dataSize) const
    {
        std::size_t entry = Map(root + target, pe::kResourceDataEntrySize, "a resource data entry");
        std::uint32_t dataRva = U32(entry, "a resource data entry");
        dataSize = U32(entry + 4, "a resource data entry");
        return Map(dataRva, dataSize, "the resource data");
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
        target = pe.FindEntry(root, target & ~kResourceHighBit, keys[level], found);
        if (!found)
            pe.Fail(missing);
        bool isDirectory = (target & kResourceHighBit) != 0;
        if (isDirectory != (level < 2))
            pe.Fail("corrupt executable: malformed resource directory");
    }
    std::uint32_t dataSize = 0;
    std::size_t offset = pe.DataOf(root, target, dataSize);
    return std::vector<std::uint8_t>(data + offset, data + offset + dataSize);
}

std::vector<Resource> ReadResources(const std::uint8_t *data, std::size_t size, const std::string &label)
{
    PeReader pe(data, size, label);
    std::uint32_t root = pe.ReadHeaders();
    std::vector<Resource> resources;
    std::size_t copied = 0;
    auto subdirectory = [&](std::uint32_t target) {
        if (!(target & kResourceHighBit))
            pe.Fail("corrupt executable: malformed resource directory");
        return target & ~kResourceHighBit;
    };
    for (const auto &type : pe.Entries(root, 0)) {
        for (const auto &name : pe.Entries(root, subdirectory(type.target))) {
            for (const auto &language : pe.Entries(root, subdirectory(name.target))) {
                if (language.target & kResourceHighBit)
                    pe.Fail("corrupt executable: malformed resource directory");
                std::uint32_t dataSize = 0;
                std::size_t offset = pe.DataOf(root, language.target, dataSize);
                copied += dataSize;
                if (copied > size || resources.size() >= size / pe::kResourceDataEntrySize)
                    pe.Fail("corrupt executable: the resource entries share their data");
                resources.push_back(
                    Resource{pe.KeyText(root, type.nameField), pe.KeyText(root, name.nameField),
                             pe.KeyText(root, language.nameField),
                             std::vector<std::uint8_t>(data + offset, data + offset + dataSize)});
            }
        }
    }
    return resources;
}

}  // namespace xpack
