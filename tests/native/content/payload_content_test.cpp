// The product payload as the build packed it: what the setup program will
// install, read back through the payload cursor and the SZDD codec.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "payload_cursor.h"
#include "pe_image.h"
#include "szdd/szdd.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Entry {
    std::string name;
    bool isDirectory = false;
    Bytes stored;
};

std::vector<Entry> ReadPackedPayload(std::string &error)
{
    std::ifstream in(PRODUCT_PAYLOAD_PATH, std::ios::binary);
    if (!in) {
        error = std::string(PRODUCT_PAYLOAD_PATH) + ": cannot open (is the win32 tree built?)";
        return {};
    }
    Bytes payload((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<Entry> entries;
    const unsigned char *cursor = payload.data();
    const unsigned char *end = payload.data() + payload.size();
    while (cursor < end) {
        PayloadEntry e;
        if (!ReadPayloadEntry(cursor, end, &e)) {
            error = "malformed entry at offset " + std::to_string(cursor - payload.data());
            return {};
        }
        Entry entry;
        entry.name.assign(e.name, e.nameLength);
        entry.isDirectory = e.isDirectory != 0;
        if (!entry.isDirectory)
            entry.stored.assign(e.data, e.data + e.dataLength);
        entries.push_back(std::move(entry));
        cursor = e.next;
    }
    return entries;
}

class ProductPayload : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        entries_ = ReadPackedPayload(error_);
        for (const Entry &e : entries_) {
            if (e.isDirectory)
                continue;
            Bytes out;
            std::string why;
            if (szdd::Expand(e.stored.data(), e.stored.size(), out, why))
                expanded_[e.name] = std::move(out);
            else
                expandErrors_[e.name] = why;
        }
    }
    void SetUp() override { ASSERT_TRUE(error_.empty()) << error_; }

    const Bytes &File(const std::string &name)
    {
        auto it = expanded_.find(name);
        if (it == expanded_.end()) {
            ADD_FAILURE() << name << " is not an expandable file of the payload";
            static const Bytes empty;
            return empty;
        }
        return it->second;
    }

    static std::vector<Entry> entries_;
    static std::string error_;
    static std::map<std::string, Bytes> expanded_;
    static std::map<std::string, std::string> expandErrors_;
};
std::vector<Entry> ProductPayload::entries_;
std::string ProductPayload::error_;
std::map<std::string, Bytes> ProductPayload::expanded_;
std::map<std::string, std::string> ProductPayload::expandErrors_;

TEST_F(ProductPayload, ListsTheShippedEntriesInOrderWithSzddData)
{
    const std::vector<std::string> expected = {
        "Addins\\",    "QUENBRIK.DLL", "QUENBRIK.HLP", "Addins\\QUENBRIK\\", "README.HTM", "README1.JPG",
        "README2.JPG", "README3.JPG",  "README4.JPG",  "README5.JPG",        "README6.JPG"};
    std::vector<std::string> names;
    for (const Entry &e : entries_)
        names.push_back(e.name);
    EXPECT_EQ(names, expected);
    for (const auto &[name, why] : expandErrors_)
        ADD_FAILURE() << name << ": " << why;

    std::size_t total = 0;
    for (const auto &[name, data] : expanded_) {
        EXPECT_FALSE(data.empty()) << name;
        total += data.size();
    }
    // The setup dialog promises "(250K)".
    EXPECT_GE(total, 200u * 1024);
    EXPECT_LE(total, 300u * 1024);
}

TEST_F(ProductPayload, FilesAreWhatTheirNamesSay)
{
    const Bytes &dll = File("QUENBRIK.DLL");
    EXPECT_NO_THROW(pe::ReadHeaders(pe::Reader(dll.data(), dll.size()))) << "the component is not a PE image";

    for (int i = 1; i <= 6; ++i) {
        const std::string name = "README" + std::to_string(i) + ".JPG";
        const Bytes &jpg = File(name);
        ASSERT_GE(jpg.size(), 4u) << name;
        EXPECT_TRUE(jpg[0] == 0xFF && jpg[1] == 0xD8 && jpg[2] == 0xFF) << name << " is no JPEG";
        EXPECT_TRUE(jpg[jpg.size() - 2] == 0xFF && jpg[jpg.size() - 1] == 0xD9) << name << " is cut short";
    }
}

TEST_F(ProductPayload, ReadmeShowsExactlyTheSixPicturesAndTheAboutBoxContacts)
{
    const Bytes &html = File("README.HTM");
    const std::string text(html.begin(), html.end());
    // The src of every <img> tag; tags and attribute names in any case.
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::multiset<std::string> shown;
    for (std::size_t at = lower.find("<img"); at != std::string::npos; at = lower.find("<img", at + 1)) {
        const std::size_t close = lower.find('>', at);
        const std::size_t src = lower.find("src=\"", at);
        ASSERT_TRUE(src < close && close != std::string::npos) << "an <img> without src";
        const std::size_t value = src + 5;
        shown.insert(text.substr(value, text.find('"', value) - value));
    }
    const std::multiset<std::string> expected = {"README1.JPG", "README2.JPG", "README3.JPG",
                                                 "README4.JPG", "README5.JPG", "README6.JPG"};
    EXPECT_EQ(shown, expected);

    for (const char *needle : {"support@corvane.example", "+1 555 0100",
                               "Copyright (C) 1998 Corvane Software", "Add-ins and Macro Files", "</HTML>"})
        EXPECT_NE(text.find(needle), std::string::npos) << needle;
}

// Little-endian reads that fail the test instead of running off the end.
struct Reader {
    const Bytes &b;
    bool ok = true;
    std::uint32_t U16(std::size_t at)
    {
        if (at + 2 > b.size())
            return ok = false, 0;
        return b[at] | b[at + 1] << 8;
    }
    std::uint32_t U32(std::size_t at) { return U16(at) | U16(at + 2) << 16; }
};

TEST_F(ProductPayload, HelpFileIsAWellFormedWinHelpFile)
{
    const Bytes &hlp = File("QUENBRIK.HLP");
    Reader r{hlp};
    ASSERT_EQ(r.U32(0), 0x00035F3Fu);
    ASSERT_EQ(r.U32(12), hlp.size());

    // The directory: one B+ tree leaf of file names and offsets.
    const std::size_t dir = r.U32(4);
    ASSERT_EQ(r.U16(dir + 9), 0x293Bu);
    ASSERT_EQ(r.U16(dir + 9 + 32), 1u) << "expected a one-level directory";
    const std::size_t page = dir + 9 + 38 + r.U16(dir + 9 + 26) * r.U16(dir + 9 + 4);
    const unsigned count = r.U16(page + 2);
    std::map<std::string, std::size_t> files;
    std::size_t at = page + 8;
    for (unsigned i = 0; i < count && at < hlp.size(); ++i) {
        std::string name(reinterpret_cast<const char *>(&hlp[at]));
        at += name.size() + 1;
        files[name] = r.U32(at);
        at += 4;
        ASSERT_LE(files[name] + r.U32(files[name]), hlp.size()) << name << " runs past the file";
    }
    for (const char *needed : {"|SYSTEM", "|TOPIC", "|FONT", "|CONTEXT"})
        ASSERT_TRUE(files.count(needed)) << needed;

    const std::size_t sys = files["|SYSTEM"] + 9;
    EXPECT_EQ(r.U16(sys), 0x036Cu);
    EXPECT_EQ(r.U16(sys + 2), 21u) << "a 3.1 help file";
    EXPECT_EQ(r.U16(sys + 10), 0u) << "uncompressed topics";

    // Walk the topic links from the first to the end marker and count the
    // topics. Links may straddle blocks, so read them from the block data
    // joined without the 12-byte block headers.
    const std::size_t topic = files["|TOPIC"] + 9;
    const std::size_t topicSize = r.U32(files["|TOPIC"] + 4);
    ASSERT_EQ(topicSize % 4096, 0u);
    ASSERT_LE(topic + topicSize, hlp.size());
    Bytes joined;
    for (std::size_t block = 0; block < topicSize; block += 4096)
        joined.insert(joined.end(), hlp.begin() + topic + block + 12, hlp.begin() + topic + block + 4096);
    Reader t{joined};
    unsigned topics = 0, paragraphs = 0, steps = 0;
    for (std::uint32_t pos = 0x0C; pos != 0xFFFFFFFF && steps < 10000; ++steps) {
        const std::size_t link = (pos >> 14) * 4084 + (pos & 0x3FFF) - 12;
        ASSERT_LT(link + 21, joined.size()) << "link outside |TOPIC";
        const unsigned type = joined[link + 20];
        ASSERT_TRUE(type == 0x02 || type == 0x20) << "record type " << type;
        (type == 0x02 ? topics : paragraphs)++;
        pos = t.U32(link + 12);
    }
    ASSERT_TRUE(t.ok);
    ASSERT_TRUE(r.ok);
    EXPECT_GT(topics, 5u);
    EXPECT_GT(paragraphs, topics);
    const std::size_t context = files["|CONTEXT"] + 9;
    EXPECT_EQ(r.U32(context + 34), topics) << "every topic has a context entry";
}

}  // namespace
