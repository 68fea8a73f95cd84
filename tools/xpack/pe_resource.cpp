#include "pe_resource.h"

#include "error.h"
#include "names.h"
#include "pe_image.h"
#include "resource_tree.h"

namespace xpack {

namespace {

using pe::kResourceHighBit;

class PeReader {
public:
    PeReader(const std::uint8_t *data, std::size_t size, const std::string &label)
        : image_(data, size), label_(label)
    {
    }

    [[noreturn]] void Fail(const std::string &reason) const { throw Error(label_ + ": " + reason); }

    std::uint32_t U16(std::size_t offset, const char *what) const { return image_.U16(offset, what); }
    std::uint32_t U32(std::size_t offset, const char *what) const { return image_.U32(offset, what); }

    // The file offset of length bytes at rva, which must lie within one
    // section's data in the file.
    std::size_t Map(std::uint32_t rva, std::uint32_t length, const char *what) const
    {
        return pe::RawDataOffset(image_, sections_, rva, length, what);
    }

    // Reads the headers and returns the resource tree's RVA.
    std::uint32_t ReadHeaders()
    {
        const pe::Headers headers = pe::ReadHeaders(image_);
        const std::uint32_t resourceRva = pe::ReadDataDirectory(image_, headers, pe::kResourceDirectory).rva;
        if (resourceRva == 0)
            Fail("the executable has no resources");
        sections_ = pe::ReadSections(image_, headers);
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
        return pe::NameText(NameOf(root, nameField));
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
    pe::Reader image_;
    std::string label_;
    std::vector<pe::Section> sections_;
};

// Runs read, with the reader's faults told as the packer's, its text
// starting with label.
template <typename Read>
auto Labelled(const std::string &label, Read read)
{
    try {
        return read();
    } catch (const pe::FormatError &fault) {
        throw Error(label + ": " + fault.what());
    }
}

}  // namespace

bool HasExecutableSignature(const std::uint8_t *data, std::size_t size)
{
    return size >= 2 && data[0] == 'M' && data[1] == 'Z';
}

std::vector<std::uint8_t> ReadNamedResource(const std::uint8_t *data, std::size_t size,
                                            const std::string &type, const std::string &name,
                                            const std::string &label)
{
    return Labelled(label, [&] {
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
    });
}

std::vector<Resource> ReadResources(const std::uint8_t *data, std::size_t size, const std::string &label)
{
    return Labelled(label, [&] {
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
    });
}

}  // namespace xpack
