#include "tree_content.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace benchtree {

namespace {

// splitmix64: cheap, and the same on every platform.
std::uint64_t NextRandom(std::uint64_t *state)
{
    std::uint64_t z = (*state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

const std::vector<std::string> &Vocabulary()
{
    static const std::vector<std::string> words = [] {
        const char consonants[] = "bcdfghklmnprstvwz";
        const char vowels[] = "aeiou";
        std::vector<std::string> list;
        std::uint64_t state = 20240611;
        for (int i = 0; i < 600; i++) {
            int syllables = 1 + static_cast<int>(NextRandom(&state) % 4);
            std::string word;
            for (int s = 0; s < syllables; s++) {
                word += consonants[NextRandom(&state) % (sizeof consonants - 1)];
                word += vowels[NextRandom(&state) % (sizeof vowels - 1)];
            }
            list.push_back(word);
        }
        return list;
    }();
    return words;
}

std::string Name(const char *pattern, int number)
{
    char text[32];
    std::snprintf(text, sizeof text, pattern, number);
    return text;
}

}  // namespace

std::vector<PlannedFile> PlanTree(int fileCount, std::uint64_t totalBytes)
{
    std::vector<PlannedFile> files;
    if (fileCount <= 0)
        return files;
    const std::uint64_t count = static_cast<std::uint64_t>(fileCount);
    for (int i = 0; i < fileCount; i++) {
        int folder = i / kFilesPerFolder;
        std::string directory = folder == 0 ? "Addins/" : "Addins/" + Name("S%03d", folder) + "/";
        PlannedFile file;
        file.relativePath = directory + Name("F%04d.TXT", i);
        file.size = totalBytes / count + (static_cast<std::uint64_t>(i) < totalBytes % count ? 1 : 0);
        files.push_back(file);
    }
    return files;
}

std::string TextContent(std::uint64_t size, std::uint64_t seed)
{
    const auto &words = Vocabulary();
    std::string text;
    text.reserve(size + 16);
    std::uint64_t state = seed * 7919 + 1;
    int onLine = 0;
    while (text.size() < size) {
        // A skewed pick, so that some words recur often, as in prose.
        std::uint64_t r = NextRandom(&state);
        std::size_t index = (r % words.size()) * ((r >> 32) % words.size()) / words.size();
        text += words[index];
        if (++onLine == 12) {
            text += "\r\n";
            onLine = 0;
        } else {
            text += ' ';
        }
    }
    text.resize(size);
    return text;
}

void WriteTree(const std::filesystem::path &root, int fileCount, std::uint64_t totalBytes)
{
    namespace fs = std::filesystem;
    if (fs::exists(root))
        throw std::runtime_error(root.string() + ": already exists");
    fs::create_directories(root / "Addins");
    std::uint64_t seed = 1;
    for (const PlannedFile &file : PlanTree(fileCount, totalBytes)) {
        fs::path path = root / file.relativePath;
        fs::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary);
        std::string content = TextContent(file.size, seed++);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out)
            throw std::runtime_error(path.string() + ": cannot write");
    }
}

}  // namespace benchtree
