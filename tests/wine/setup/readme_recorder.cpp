// Stands in for the browser in the end-to-end tests: registered as the .htm
// handler, it appends the document it was asked to open to a record file.
// Usage: readme_recorder RECORD-FILE DOCUMENT
#include <fstream>

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    std::ofstream record(argv[1], std::ios::app | std::ios::binary);
    record << argv[2] << "\n";
    return record ? 0 : 1;
}
