#include "resource_tree.h"

#include <algorithm>
#include <tuple>

namespace pe {

namespace {

char16_t Upper(char16_t c)
{
    return c >= u'a' && c <= u'z' ? char16_t(c - (u'a' - u'A')) : c;
}

[[noreturn]] void Malformed(const std::string &what)
{
    throw FormatError("malformed resource tree: " + what);
}

// Reads the tree from the section, keeping track of the bytes each part
// takes so that overlapping parts and bytes outside the tree show.
class TreeReader {
public:
    TreeReader(const Reader &image, const Section &section)
        : image_(image), section_(section), extent_(section.virtualSize)
    {
    }

    void Read(ResourceDirectory &root)
    {
        ReadDirectory(root, 0, 0);
        std::sort(parts_.begin(), parts_.end());
        for (std::size_t i = 1; i < parts_.size(); ++i)
            if (std::get<1>(parts_[i - 1]) > std::get<0>(parts_[i]))
                Malformed(std::string(std::get<2>(parts_[i - 1])) + " and " + std::get<2>(parts_[i]) +
                          " overlap");
        // Whatever else the section holds would not survive a rewrite.
        std::vector<bool> used(section_.rawSize, false);
        for (const auto &part : parts_)
            std::fill(used.begin() + std::get<0>(part), used.begin() + std::get<1>(part), true);
        std::size_t stray = 0;
        for (std::size_t i = 0; i < section_.rawSize; ++i)
            stray += !used[i] && image_.Data()[section_.rawPointer + i] != 0;
        if (stray != 0)
            throw FormatError("the resource section holds " + std::to_string(stray) +
                              " bytes outside its resource tree; they would be lost");
    }

private:
    std::uint32_t U16(std::uint32_t offset) const
    {
        return image_.U16(section_.rawPointer + std::uint64_t(offset));
    }
    std::uint32_t U32(std::uint32_t offset) const
    {
        return image_.U32(section_.rawPointer + std::uint64_t(offset));
    }

    // Records that length bytes at offset belong to the tree. Parts that
    // overlap are caught once all are known; more bytes than the section
    // has catch them early, which also bounds the work on a tree whose
    // entries lead to the same parts over and over.
    void Claim(std::uint64_t offset, std::uint64_t length, const char *what)
    {
        if (offset > extent_ || length > extent_ - offset)
            Malformed(std::string(what) + " lies outside the resource section");
        if (length == 0)
            return;
        claimed_ += length;
        if (claimed_ > extent_)
            Malformed("its parts overlap");
        parts_.emplace_back(offset, offset + length, what);
    }

    void ReadDirectory(ResourceDirectory &dir, std::uint32_t offset, int level)
    {
        Claim(offset, kResourceTableSize, "a resource directory");
        const std::uint32_t named = U16(offset + kResourceNamedCountOffset);
        const std::uint32_t count = named + U16(offset + kResourceIdCountOffset);
        Claim(offset + std::uint64_t(kResourceTableSize), std::uint64_t(count) * kResourceEntrySize,
              "a resource directory");
        std::copy_n(image_.Data() + section_.rawPointer + offset, sizeof dir.head, dir.head);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t at = offset + std::uint32_t(kResourceTableSize + i * kResourceEntrySize);
            const std::uint32_t nameField = U32(at);
            const std::uint32_t target = U32(at + 4);
            ResourceEntry entry;
            entry.key.named = i < named;
            if (entry.key.named != ((nameField & kResourceHighBit) != 0))
                Malformed("a directory's named and numbered entries are out of place");
            if (entry.key.named) {
                const std::uint32_t string = nameField & ~kResourceHighBit;
                Claim(string, 2, "a resource name");
                const std::uint32_t length = U16(string);
                Claim(string + 2ull, 2ull * length, "a resource name");
                for (std::uint32_t c = 0; c < length; ++c)
                    entry.key.name.push_back(static_cast<char16_t>(U16(string + 2 + 2 * c)));
            } else {
                entry.key.id = nameField;
            }
            const bool isDirectory = (target & kResourceHighBit) != 0;
            if (isDirectory != (level + 1 < kResourceLevels))
                Malformed("not three levels of type, name and language");
            if (isDirectory) {
                entry.directory = std::make_unique<ResourceDirectory>();
                ReadDirectory(*entry.directory, target & ~kResourceHighBit, level + 1);
            } else {
                Claim(target, kResourceDataEntrySize, "a resource data entry");
                const std::uint32_t rva = U32(target);
                entry.dataSize = U32(target + 4);
                entry.codePage = U32(target + 8);
                entry.reserved = U32(target + 12);
                if (rva < section_.virtualAddress)
                    Malformed("resource data lies outside the resource section");
                entry.dataOffset = rva - section_.virtualAddress;
                Claim(entry.dataOffset, entry.dataSize, "resource data");
            }
            dir.entries.push_back(std::move(entry));
        }
        std::stable_sort(dir.entries.begin(), dir.entries.end(),
                         [](const ResourceEntry &a, const ResourceEntry &b) { return Before(a.key, b.key); });
        for (std::size_t i = 1; i < dir.entries.size(); ++i)
            if (!Before(dir.entries[i - 1].key, dir.entries[i].key))
                Malformed("two entries for " + KeyText(dir.entries[i].key));
    }

    const Reader &image_;
    const Section &section_;
    const std::uint64_t extent_;
    std::uint64_t claimed_ = 0;
    std::vector<std::tuple<std::uint64_t, std::uint64_t, const char *>> parts_;
};

// What the written tree takes, part by part.
struct TreeSizes {
    std::uint64_t tables = 0;
    std::uint64_t strings = 0;
    std::uint64_t dataEntries = 0;
    std::uint64_t data = 0;
};

class TreeWriter {
public:
    TreeWriter(std::uint32_t rva, const std::uint8_t *oldSection, const ResourceEntry *replaced,
               const Bytes &replacement)
        : rva_(rva), oldSection_(oldSection), replaced_(replaced), replacement_(replacement)
    {
    }

    Bytes Write(const ResourceDirectory &root)
    {
        TreeSizes sizes;
        Measure(root, sizes);
        string_ = std::uint32_t(sizes.tables);
        entry_ = std::uint32_t(sizes.tables + AlignUp(sizes.strings, kResourceAlignment));
        data_ = entry_ + std::uint32_t(sizes.dataEntries);
        out_.assign(data_ + sizes.data, 0);
        WriteDirectory(root);
        return std::move(out_);
    }

private:
    std::uint32_t SizeOf(const ResourceEntry &entry) const
    {
        return &entry == replaced_ ? std::uint32_t(replacement_.size()) : entry.dataSize;
    }

    void Measure(const ResourceDirectory &dir, TreeSizes &sizes) const
    {
        sizes.tables += kResourceTableSize + dir.entries.size() * kResourceEntrySize;
        for (const ResourceEntry &entry : dir.entries) {
            if (entry.key.named)
                sizes.strings += 2 + 2 * entry.key.name.size();
            if (entry.directory) {
                Measure(*entry.directory, sizes);
            } else {
                sizes.dataEntries += kResourceDataEntrySize;
                sizes.data += AlignUp(SizeOf(entry), kResourceAlignment);
            }
        }
    }

    void WriteDirectory(const ResourceDirectory &dir)
    {
        const std::uint32_t at = table_;
        table_ += std::uint32_t(kResourceTableSize + dir.entries.size() * kResourceEntrySize);
        std::copy_n(dir.head, sizeof dir.head, &out_[at]);
        const auto named = std::count_if(dir.entries.begin(), dir.entries.end(),
                                         [](const ResourceEntry &e) { return e.key.named; });
        Put16(out_, at + kResourceNamedCountOffset, std::uint32_t(named));
        Put16(out_, at + kResourceIdCountOffset, std::uint32_t(dir.entries.size() - named));
        std::uint32_t slot = at + std::uint32_t(kResourceTableSize);
        for (const ResourceEntry &entry : dir.entries) {
            if (entry.key.named) {
                Put32(out_, slot, kResourceHighBit | string_);
                Put16(out_, string_, std::uint32_t(entry.key.name.size()));
                for (std::size_t c = 0; c < entry.key.name.size(); ++c)
                    Put16(out_, string_ + 2 + 2 * c, entry.key.name[c]);
                string_ += std::uint32_t(2 + 2 * entry.key.name.size());
            } else {
                Put32(out_, slot, entry.key.id);
            }
            if (entry.directory) {
                Put32(out_, slot + 4, kResourceHighBit | table_);
                WriteDirectory(*entry.directory);
            } else {
                const std::uint8_t *data =
                    &entry == replaced_ ? replacement_.data() : oldSection_ + entry.dataOffset;
                const std::uint32_t size = SizeOf(entry);
                Put32(out_, slot + 4, entry_);
                Put32(out_, entry_, rva_ + data_);
                Put32(out_, entry_ + 4, size);
                Put32(out_, entry_ + 8, entry.codePage);
                Put32(out_, entry_ + 12, entry.reserved);
                std::copy_n(data, size, &out_[data_]);
                entry_ += std::uint32_t(kResourceDataEntrySize);
                data_ += std::uint32_t(AlignUp(size, kResourceAlignment));
            }
            slot += std::uint32_t(kResourceEntrySize);
        }
    }

    const std::uint32_t rva_;
    const std::uint8_t *oldSection_;
    const ResourceEntry *replaced_;
    const Bytes &replacement_;
    Bytes out_;
    std::uint32_t table_ = 0;
    std::uint32_t string_ = 0;
    std::uint32_t entry_ = 0;
    std::uint32_t data_ = 0;
};

}  // namespace

bool Before(const ResourceKey &a, const ResourceKey &b)
{
    if (a.named != b.named)
        return a.named;
    if (!a.named)
        return a.id < b.id;
    return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                        [](char16_t x, char16_t y) { return Upper(x) < Upper(y); });
}

std::string NameText(const std::u16string &name)
{
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (char16_t c : name) {
        if (c >= 0x20 && c < 0x7F && c != u'\\') {
            text.push_back(static_cast<char>(c));
            continue;
        }
        text += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4)
            text.push_back(kHex[(c >> shift) & 15]);
    }
    return text;
}

std::string KeyText(const ResourceKey &key)
{
    return key.named ? NameText(key.name) : "#" + std::to_string(key.id);
}

ResourceEntry *ResourceDirectory::FindNamed(const std::string &ascii)
{
    for (ResourceEntry &entry : entries) {
        const std::u16string &name = entry.key.name;
        if (entry.key.named && name.size() == ascii.size() &&
            std::equal(name.begin(), name.end(), ascii.begin(),
                       [](char16_t c, char a) { return Upper(c) == Upper(static_cast<char16_t>(a)); }))
            return &entry;
    }
    return nullptr;
}

ResourceDirectory ReadResourceTree(const Reader &image, const Section &section)
{
    ResourceDirectory root;
    TreeReader(image, section).Read(root);
    return root;
}

Bytes WriteResourceTree(const ResourceDirectory &root, std::uint32_t rva, const std::uint8_t *oldSection,
                        const ResourceEntry *replaced, const Bytes &replacement)
{
    return TreeWriter(rva, oldSection, replaced, replacement).Write(root);
}

}  // namespace pe
