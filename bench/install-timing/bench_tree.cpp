// bench_tree DIR FILES BYTES: writes a generated install tree for the
// install benchmark (see tree_content.h).
#include "tree_content.h"

#include <iostream>
#include <stdexcept>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::cerr << "usage: bench_tree DIR FILES BYTES\n";
        return 2;
    }
    try {
        int files = std::stoi(argv[2]);
        unsigned long long bytes = std::stoull(argv[3]);
        if (files < 1)
            throw std::runtime_error("FILES must be at least 1");
        benchtree::WriteTree(argv[1], files, bytes);
    } catch (const std::exception &error) {
        std::cerr << "bench_tree: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
