// xpack: the publisher's packer for Corvane Setup payloads.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "commands.h"
#include "error.h"
#include "file_io.h"
#include "names.h"

namespace {

namespace fs = std::filesystem;

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: xpack pack DIR -o FILE      pack a folder tree into a payload\n"
    "       xpack list FILE             show the entries of a payload or setup program\n"
    "       xpack unpack FILE DIR       expand a payload or setup program into DIR\n"
    "       xpack setup SOURCE --stub STUB -o FILE\n"
    "                                   make a setup program from a stub and a folder or payload\n"
    "       xpack compress IN OUT       compress one file to SZDD\n"
    "       xpack expand IN OUT         expand one SZDD file\n"
    "       xpack --help | --version\n";

const char kHelp[] = "\n"
                     "pack writes, for every folder of DIR in pre-order, a directory entry with\n"
                     "the folder's full backslash-separated path (DIR itself has none), then the\n"
                     "folder's files, then its subfolders. Files and subfolders are each sorted\n"
                     "by byte-wise comparison of their names as spelled on disk, so the same tree\n"
                     "always gives the same payload. File data is SZDD compressed.\n"
                     "\n"
                     "pack refuses, writing nothing: names Windows cannot hold (< > : \" / \\ | ? *,\n"
                     "control characters, a trailing dot or space, device names such as CON, NUL,\n"
                     "COM1 or LPT1 with any extension), non-ASCII names, names in one folder that\n"
                     "differ only in case, symbolic links (they are not followed) and special\n"
                     "files, files of 4 GiB or more, and payloads of 6553600 bytes or more. It\n"
                     "warns when an install under a typical Developer Studio folder would give\n"
                     "paths longer than the setup program or the LZ calls can handle, when DIR\n"
                     "is empty, and when the first entry is a file (the setup program takes its\n"
                     "name as the top folder).\n"
                     "\n"
                     "list and unpack take a payload file or a setup executable holding the\n"
                     "payload as its TEXT/XPackArchive resource. list shows bytes of names outside\n"
                     "printable ASCII as escapes (\\n, \\t, \\x1b); backslashes stay as they are.\n"
                     "unpack writes into a new folder, which appears only once it is complete,\n"
                     "or into an empty one; on failure it removes what it wrote. It refuses\n"
                     "names that would lead out of the folder (.., a drive, a leading or doubled\n"
                     "backslash) and names Windows cannot hold; list shows them with a warning.\n"
                     "\n"
                     "setup writes STUB, a setup program such as CorvaneSetup-stub.exe (or any\n"
                     "built CorvaneSetup.exe), with its TEXT/XPackArchive resource replaced by\n"
                     "the payload of SOURCE: a folder, packed as pack packs it, or a payload file\n"
                     "or setup program, checked as list checks it, its names as unpack checks\n"
                     "them. The resource section is rebuilt with every other resource unchanged\n"
                     "and the checksum set; the same STUB and SOURCE always give the same bytes.\n"
                     "A signed STUB is refused (sign the result instead), and so is one laid out\n"
                     "otherwise than the build links the setup program. The output is\n"
                     "executable.\n"
                     "\n"
                     "Outputs are replaced whole or not at all, through a temporary file beside\n"
                     "them; a replaced file keeps its permission bits. An output that is a\n"
                     "symbolic link, a folder, a device, a FIFO or a socket is refused. An output\n"
                     "of - (pack -o -, setup -o -, compress, expand) is standard output, unless\n"
                     "that is a terminal; write ./- for a file named -.\n"
                     "\n"
                     "Exit status: 0 success, 1 failure, 2 usage error.\n";

int Usage()
{
    std::cerr << kUsage;
    return kExitUsage;
}

// A path from the command line, whose bytes are the platform's file names.
fs::path PathArg(const std::string &arg)
{
    return fs::u8path(arg);
}

int Run(const std::vector<std::string> &args)
{
    if (args.empty())
        return Usage();
    const std::string &command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage << kHelp;
        return kExitOk;
    }
    if (command == "--version" && args.size() == 1) {
        std::cout << "xpack " << XPACK_VERSION << '\n';
        return kExitOk;
    }
    if (command == "pack") {
        // DIR and -o FILE in either order.
        std::string folder, output;
        for (std::size_t i = 1; i < args.size(); ++i) {
            if (args[i] == "-o" && i + 1 < args.size() && output.empty())
                output = args[++i];
            else if (folder.empty() && args[i] != "-o")
                folder = args[i];
            else
                return Usage();
        }
        if (folder.empty() || output.empty())
            return Usage();
        xpack::Pack(PathArg(folder), PathArg(output), std::cerr);
        return kExitOk;
    }
    if (command == "setup") {
        // SOURCE, --stub STUB and -o FILE in any order.
        std::string source, stub, output;
        for (std::size_t i = 1; i < args.size(); ++i) {
            if (args[i] == "-o" && i + 1 < args.size() && output.empty())
                output = args[++i];
            else if (args[i] == "--stub" && i + 1 < args.size() && stub.empty())
                stub = args[++i];
            else if (source.empty() && args[i] != "-o" && args[i] != "--stub")
                source = args[i];
            else
                return Usage();
        }
        if (source.empty() || stub.empty() || output.empty())
            return Usage();
        xpack::Setup(PathArg(source), PathArg(stub), PathArg(output), std::cerr);
        return kExitOk;
    }
    if (command == "list" && args.size() == 2) {
        xpack::List(PathArg(args[1]), std::cout, std::cerr);
        return kExitOk;
    }
    if (command == "unpack" && args.size() == 3) {
        xpack::Unpack(PathArg(args[1]), PathArg(args[2]));
        return kExitOk;
    }
    if (command == "compress" && args.size() == 3) {
        xpack::CompressFile(PathArg(args[1]), PathArg(args[2]));
        return kExitOk;
    }
    if (command == "expand" && args.size() == 3) {
        xpack::ExpandFile(PathArg(args[1]), PathArg(args[2]), std::cerr);
        return kExitOk;
    }
    return Usage();
}

}  // namespace

int main(int argc, char **argv)
{
    try {
        int status = Run(xpack::CommandLineArguments(argc, argv));
        std::cout.flush();
        if (!std::cout)
            throw xpack::Error("standard output: write error");
        return status;
    } catch (const std::exception &error) {
        // Messages name files, and a library's message may quote a path
        // as it is.
        std::cerr << "xpack: " << xpack::Printable(error.what()) << '\n';
    }
    return kExitFailure;
}
