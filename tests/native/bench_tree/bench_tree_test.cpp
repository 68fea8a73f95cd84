#include "szdd/szdd.h"
#include "tree_content.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <unistd.h>

namespace fs = std::filesystem;
using benchtree::PlanTree;

TEST(PlanTree, SizesAddUpExactlyAndDifferByAtMostOneByte)
{
    for (auto [files, bytes] :
         {std::pair<int, std::uint64_t>{1, 104857}, {10, 1048576}, {1000, 104857}, {1000, 6291456}, {7, 3}}) {
        auto plan = PlanTree(files, bytes);
        ASSERT_EQ(plan.size(), static_cast<size_t>(files));
        std::uint64_t total = 0, smallest = UINT64_MAX, largest = 0;
        for (const auto &file : plan) {
            total += file.size;
            smallest = std::min(smallest, file.size);
            largest = std::max(largest, file.size);
        }
        EXPECT_EQ(total, bytes) << files << " files";
        EXPECT_LE(largest - smallest, 1u) << files << " files";
    }
}

TEST(PlanTree, UniqueNamesUnderAddinsWithBoundedFolders)
{
    auto plan = PlanTree(1000, 1000);
    std::set<std::string> paths;
    std::map<std::string, int> perFolder;
    for (const auto &file : plan) {
        EXPECT_EQ(file.relativePath.rfind("Addins/", 0), 0u) << file.relativePath;
        EXPECT_TRUE(paths.insert(file.relativePath).second) << file.relativePath;
        perFolder[file.relativePath.substr(0, file.relativePath.rfind('/'))]++;
    }
    for (const auto &[folder, count] : perFolder)
        EXPECT_LE(count, benchtree::kFilesPerFolder) << folder;
    EXPECT_EQ(perFolder.size(),
              static_cast<size_t>((1000 + benchtree::kFilesPerFolder - 1) / benchtree::kFilesPerFolder));
    EXPECT_TRUE(PlanTree(0, 100).empty());
}

TEST(TextContent, ExactSizeSameForSameSeedAndCompressibleLikeText)
{
    EXPECT_TRUE(benchtree::TextContent(0, 1).empty());
    std::string a = benchtree::TextContent(200000, 5);
    EXPECT_EQ(a.size(), 200000u);
    EXPECT_EQ(a, benchtree::TextContent(200000, 5));
    EXPECT_NE(a, benchtree::TextContent(200000, 6));
    std::vector<std::uint8_t> bytes(a.begin(), a.end());
    double ratio = static_cast<double>(bytes.size()) / static_cast<double>(szdd::Compress(bytes).size());
    // Neither trivially repetitive nor incompressible.
    EXPECT_GT(ratio, 1.5);
    EXPECT_LT(ratio, 5.0);
}

TEST(WriteTree, WritesThePlanAndRefusesAnExistingRoot)
{
    fs::path root = fs::temp_directory_path() / ("bench_tree_test_" + std::to_string(getpid()));
    fs::remove_all(root);
    benchtree::WriteTree(root, 40, 10000);
    std::uint64_t bytes = 0;
    int files = 0;
    for (const auto &item : fs::recursive_directory_iterator(root))
        if (item.is_regular_file()) {
            files++;
            bytes += item.file_size();
        }
    EXPECT_EQ(files, 40);
    EXPECT_EQ(bytes, 10000u);
    EXPECT_TRUE(fs::is_directory(root / "Addins" / "S001"));
    EXPECT_THROW(benchtree::WriteTree(root, 1, 1), std::runtime_error);
    fs::remove_all(root);
}
