#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "payload_cursor.h"
#include "szdd_format.h"

namespace {

using Bytes = std::vector<unsigned char>;

void AddDirectory(Bytes &out, const std::string &name)
{
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(0);
}

void AddFile(Bytes &out, const std::string &name, const Bytes &data, std::uint32_t length)
{
    AddDirectory(out, name);
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<unsigned char>(length >> shift));
    out.insert(out.end(), data.begin(), data.end());
}

void AddFile(Bytes &out, const std::string &name, const Bytes &data)
{
    AddFile(out, name, data, static_cast<std::uint32_t>(data.size()));
}

// Reads the bytes as a payload in a heap block of exactly their size, so
// that the sanitizer catches any read past the end.
struct Walk {
    std::vector<PayloadEntry> entries;
    bool malformed = false;
    std::ptrdiff_t stoppedAt = 0;
};

Walk WalkAll(const Bytes &bytes)
{
    Walk walk;
    auto *block = new unsigned char[bytes.size() ? bytes.size() : 1];
    std::copy(bytes.begin(), bytes.end(), block);
    const unsigned char *end = block + bytes.size();
    const unsigned char *cursor = block;
    while (cursor < end) {
        PayloadEntry entry;
        if (!ReadPayloadEntry(cursor, end, &entry)) {
            walk.malformed = true;
            break;
        }
        EXPECT_GT(entry.next, cursor);
        EXPECT_LE(entry.next, end);
        walk.entries.push_back(entry);
        cursor = entry.next;
    }
    walk.stoppedAt = cursor - block;
    // Entries point into the block; keep only what outlives it.
    for (PayloadEntry &entry : walk.entries) {
        entry.name = nullptr;
        entry.data = nullptr;
        entry.next = nullptr;
    }
    delete[] block;
    return walk;
}

TEST(Cursor, WalksDirectoriesAndFilesInOrder)
{
    Bytes payload;
    AddDirectory(payload, "Addins\\");
    AddFile(payload, "QUENBRIK.DLL", Bytes(300, 7));
    AddFile(payload, "EMPTY.TXT", Bytes());  // N = 0 is legal
    AddDirectory(payload, "Addins\\QUENBRIK\\");
    AddFile(payload, "README.HTM", Bytes{1, 0, 2});

    Walk walk = WalkAll(payload);
    ASSERT_FALSE(walk.malformed);
    ASSERT_EQ(walk.entries.size(), 5u);
    EXPECT_EQ(walk.stoppedAt, static_cast<std::ptrdiff_t>(payload.size()));
    const int isDirectory[] = {1, 0, 0, 1, 0};
    const unsigned long nameLength[] = {7, 12, 9, 16, 10};
    const unsigned long dataLength[] = {0, 300, 0, 0, 3};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(walk.entries[i].isDirectory, isDirectory[i]) << "entry " << i;
        EXPECT_EQ(walk.entries[i].nameLength, nameLength[i]) << "entry " << i;
        EXPECT_EQ(walk.entries[i].dataLength, dataLength[i]) << "entry " << i;
    }
}

TEST(Cursor, FieldsPointWhereTheFormatSays)
{
    Bytes payload;
    AddFile(payload, "A.TXT", Bytes{'x', 'y'});
    AddDirectory(payload, "D\\");
    PayloadEntry entry;
    const unsigned char *start = payload.data();
    const unsigned char *end = start + payload.size();
    ASSERT_EQ(ReadPayloadEntry(start, end, &entry), 1);
    EXPECT_STREQ(entry.name, "A.TXT");
    EXPECT_EQ(entry.data, start + 5 + 5);      // cursor + L + 5
    EXPECT_EQ(entry.next, start + 5 + 5 + 2);  // ... + N
    ASSERT_EQ(ReadPayloadEntry(entry.next, end, &entry), 1);
    EXPECT_STREQ(entry.name, "D\\");
    EXPECT_EQ(entry.next, end);
    EXPECT_EQ(entry.data, nullptr);
}

TEST(Cursor, MalformedEntriesStopTheWalkAtThatEntry)
{
    Bytes good;
    AddDirectory(good, "Top\\");
    AddFile(good, "ONE.TXT", Bytes(10, 1));
    const auto goodSize = static_cast<std::ptrdiff_t>(good.size());

    struct Case {
        const char *what;
        Bytes tail;
    };
    std::vector<Case> cases;
    cases.push_back({"name without terminator", Bytes{'A', 'B', 'C'}});
    cases.push_back({"directory name without terminator", Bytes{'A', '\\'}});
    cases.push_back({"empty name", Bytes{0, 'A', 0}});
    for (int kept = 0; kept < 4; ++kept) {
        Bytes tail{'F', 0};
        tail.insert(tail.end(), kept, 0);
        cases.push_back({"length field cut short", tail});
    }
    Bytes pastEnd;
    AddFile(pastEnd, "F", Bytes(4, 9), 5);
    cases.push_back({"data one byte short", pastEnd});
    Bytes huge;
    AddFile(huge, "F", Bytes(4, 9), 0xFFFFFFFFu);
    cases.push_back({"length near 4 GB", huge});

    for (const Case &c : cases) {
        Bytes payload = good;
        payload.insert(payload.end(), c.tail.begin(), c.tail.end());
        Walk walk = WalkAll(payload);
        EXPECT_TRUE(walk.malformed) << c.what;
        EXPECT_EQ(walk.entries.size(), 2u) << c.what;
        EXPECT_EQ(walk.stoppedAt, goodSize) << c.what;
    }
}

std::string TopFolder(const Bytes &bytes)
{
    auto *block = new unsigned char[bytes.size() ? bytes.size() : 1];
    std::copy(bytes.begin(), bytes.end(), block);
    std::vector<char> top(13 + 8, '#');
    CopyTopFolder(block, block + bytes.size(), top.data(), 12);
    for (std::size_t i = 13; i < top.size(); ++i)
        EXPECT_EQ(top[i], '#') << "written past the 13-byte top folder";
    delete[] block;
    return std::string(top.data());
}

TEST(TopFolder, FirstComponentOfTheFirstEntryAtMostTwelve)
{
    Bytes shipped;
    AddDirectory(shipped, "Addins\\");
    AddDirectory(shipped, "Other\\");
    EXPECT_EQ(TopFolder(shipped), "Addins");

    Bytes nested;
    AddDirectory(nested, "Addins\\QUENBRIK\\");
    EXPECT_EQ(TopFolder(nested), "Addins");

    Bytes longName;
    AddDirectory(longName, "ABCDEFGHIJKLMNOP\\");
    EXPECT_EQ(TopFolder(longName), "ABCDEFGHIJKL");

    Bytes twelve;
    AddDirectory(twelve, "ABCDEFGHIJKL\\");
    EXPECT_EQ(TopFolder(twelve), "ABCDEFGHIJKL");

    Bytes firstIsFile;
    AddFile(firstIsFile, "README-FIRST.TXT", Bytes{1});
    EXPECT_EQ(TopFolder(firstIsFile), "README-FIRST");

    EXPECT_EQ(TopFolder(Bytes()), "");
    EXPECT_EQ(TopFolder(Bytes{'\\', 0}), "");
    // A damaged payload still gives a bounded top folder.
    EXPECT_EQ(TopFolder(Bytes{'A', 'd', 'd'}), "Add");
}

TEST(ExpandedLength, HeaderLengthForSzddDataOtherwiseTheStoredLength)
{
    Bytes szdd{SZDD_MAGIC_BYTES, SZDD_METHOD_A, 0, 0x00, 0x60, 0x01, 0x00, 0xFF, 0x41};
    EXPECT_EQ(ExpectedExpandedLength(szdd.data(), szdd.size()), 0x16000u);

    Bytes plain(40, 'p');
    EXPECT_EQ(ExpectedExpandedLength(plain.data(), plain.size()), 40u);

    Bytes bent = szdd;
    bent[SZDD_MAGIC_SIZE - 1] ^= 1;
    EXPECT_EQ(ExpectedExpandedLength(bent.data(), bent.size()), bent.size());

    // The magic alone, without a whole header, is plain data.
    Bytes shortHeader(szdd.begin(), szdd.begin() + SZDD_HEADER_SIZE - 1);
    EXPECT_EQ(ExpectedExpandedLength(shortHeader.data(), shortHeader.size()), SZDD_HEADER_SIZE - 1u);
    EXPECT_EQ(ExpectedExpandedLength(nullptr, 0), 0u);
}

}  // namespace
