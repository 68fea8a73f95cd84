// Generated install trees for the install benchmark: a given number of
// files holding a given number of bytes in all, laid out as a product would
// be (a top folder "Addins" and subfolders of at most kFilesPerFolder files),
// with text-like content that compresses about as well as prose does.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace benchtree {

constexpr int kFilesPerFolder = 32;

struct PlannedFile {
    std::string relativePath;  // '/'-separated, under the tree's root
    std::uint64_t size = 0;
};

// Where each file goes and how big it is. The sizes differ by at most one
// byte and add up to totalBytes exactly.
std::vector<PlannedFile> PlanTree(int fileCount, std::uint64_t totalBytes);

// Deterministic text-like bytes: pseudo-words from a fixed vocabulary, in
// lines. The same seed gives the same bytes.
std::string TextContent(std::uint64_t size, std::uint64_t seed);

// Writes the planned tree under root, which must not exist yet. Throws
// std::runtime_error naming the path that could not be written.
void WriteTree(const std::filesystem::path &root, int fileCount, std::uint64_t totalBytes);

}  // namespace benchtree
