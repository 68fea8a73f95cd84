// xpack: the publisher's packer for Corvane Setup payloads. The commands
// are one table, from which the command line is read and the usage and
// each command's help are written; the rules they follow are the manual's.
#include <algorithm>
#include <iostream>
#include <map>
#include <optional>
#include <set>
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

// An option: --longName, also -shortName when it has one; value names its
// argument, or is null for a flag.
struct Option {
    const char *longName;
    char shortName;
    const char *value;
    bool required;
    const char *help;
};

const Option kOutput{"output", 'o', "FILE", true, "the file to write; - is standard output"};
const Option kQuiet{"quiet", 'q', nullptr, false, "no warnings (errors are still shown)"};
const Option kStrict{"strict", 0, nullptr, false, "every warning is an error: exit 1, nothing written"};

// The command line after the command's name, read against its table entry.
struct Invocation {
    std::vector<std::string> operands;
    std::map<std::string, std::string> values;  // by long name
    std::set<std::string> flags;

    bool Has(const char *flag) const { return flags.count(flag) != 0; }
    fs::path Path(std::size_t operand) const { return fs::u8path(operands[operand]); }
    std::optional<fs::path> Value(const char *option) const
    {
        auto found = values.find(option);
        return found == values.end() ? std::nullopt : std::optional<fs::path>(fs::u8path(found->second));
    }
    xpack::Warnings MakeWarnings() const { return xpack::Warnings(std::cerr, Has("quiet"), Has("strict")); }
};

struct Command {
    const char *name;
    std::vector<std::pair<const char *, const char *>> operands;  // name, what it is
    std::vector<Option> options;
    const char *function;  // what it does, in a few lines
    void (*run)(const Invocation &);
};

const std::vector<Command> kCommands = {
    {"pack",
     {{"DIR", "the folder to pack"}},
     {kOutput, kQuiet, kStrict},
     "Pack the folder tree DIR into a payload: a directory entry for every\n"
     "folder in pre-order, then its files, then its subfolders, each sorted\n"
     "byte-wise by name, files SZDD compressed. Warns about what the setup\n"
     "program relies on and would miss.\n",
     [](const Invocation &in) {
         xpack::Warnings warnings = in.MakeWarnings();
         xpack::Pack(in.Path(0), *in.Value("output"), warnings);
     }},
    {"list",
     {{"FILE", "a payload file or a setup program"}},
     {{"json", 0, nullptr, false, "one JSON object instead of the table"}, kQuiet},
     "Show the entries of a payload or of the payload inside a setup program,\n"
     "their stored and expanded sizes, the totals and the top folder.\n",
     [](const Invocation &in) {
         xpack::Warnings warnings = in.MakeWarnings();
         xpack::List(in.Path(0), std::cout, warnings,
                     in.Has("json") ? xpack::ListFormat::Json : xpack::ListFormat::Table);
     }},
    {"unpack",
     {{"FILE", "a payload file or a setup program"}, {"DIR", "a new or empty folder"}},
     {},
     "Write what a setup program would install from FILE into DIR.\n",
     [](const Invocation &in) { xpack::Unpack(in.Path(0), in.Path(1)); }},
    {"setup",
     {{"SOURCE", "a folder, a payload file or a setup program"}},
     {{"stub", 0, "STUB", false, "the setup stub (default: the one beside xpack, or installed with it)"},
      kOutput,
      kQuiet,
      kStrict},
     "Make a setup program: the stub with the payload of SOURCE (a folder is\n"
     "packed as pack packs it) put in its place. Warns as pack does.\n",
     [](const Invocation &in) {
         xpack::Warnings warnings = in.MakeWarnings();
         xpack::Setup(in.Path(0), in.Value("stub"), *in.Value("output"), warnings);
     }},
    {"compress",
     {{"IN", "the file to compress"}, {"OUT", "the file to write; - is standard output"}},
     {},
     "Compress one file to SZDD, as the platform's compress tool does.\n",
     [](const Invocation &in) { xpack::CompressFile(in.Path(0), in.Path(1)); }},
    {"expand",
     {{"IN", "an SZDD file"}, {"OUT", "the file to write; - is standard output"}},
     {kQuiet},
     "Expand one SZDD file.\n",
     [](const Invocation &in) {
         xpack::Warnings warnings = in.MakeWarnings();
         xpack::ExpandFile(in.Path(0), in.Path(1), warnings);
     }},
};

std::string Spelling(const Option &option)
{
    return option.shortName ? std::string("-") + option.shortName : std::string("--") + option.longName;
}

// "xpack pack [-q] [--strict] DIR -o FILE": flags, operands, then options
// with a value, bracketed unless required.
std::string Synopsis(const Command &command)
{
    std::string text = std::string("xpack ") + command.name;
    for (const Option &option : command.options)
        if (!option.value)
            text += " [" + Spelling(option) + "]";
    for (const auto &[operand, what] : command.operands)
        text += std::string(" ") + operand;
    for (const Option &option : command.options)
        if (option.value) {
            std::string part = Spelling(option) + " " + option.value;
            text += option.required ? " " + part : " [" + part + "]";
        }
    return text;
}

std::string Usage()
{
    std::string text;
    for (const Command &command : kCommands)
        text += (text.empty() ? "usage: " : "       ") + Synopsis(command) + "\n";
    return text + "       xpack COMMAND --help | --help | --version\n";
}

std::string CommandHelp(const Command &command)
{
    std::string text = Synopsis(command) + "\n" + command.function + "\n";
    auto line = [&text](std::string left, const char *help) {
        left.resize(std::max<std::size_t>(left.size() + 2, 22), ' ');
        text += "  " + left + help + "\n";
    };
    for (const auto &[operand, what] : command.operands)
        line(operand, what);
    for (const Option &option : command.options) {
        std::string left = option.shortName ? Spelling(option) + ", " : std::string();
        left += std::string("--") + option.longName + (option.value ? std::string(" ") + option.value : "");
        line(left, option.help);
    }
    line("--", "ends the options: what follows is DIR, FILE and the like");
    return text;
}

const char kRules[] = "The rules (what is refused and why, outputs, exit status) are in the\n"
                      "manual: man xpack, or xpack.txt beside xpack.exe.\n"
                      "Exit status: 0 success, 1 failure, 2 usage error.\n";

int UsageError(const std::string &reason, const Command *command)
{
    std::cerr << "xpack: " << xpack::Printable(reason) << '\n'
              << (command ? "usage: " + Synopsis(*command) + "\n" : Usage());
    return kExitUsage;
}

// Reads args (after the command's name) as command takes them: options and
// operands in any order, "--" ending the options, "-" an operand.
int RunCommand(const Command &command, const std::vector<std::string> &args)
{
    Invocation in;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
            in.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            std::cout << "usage: " << CommandHelp(command) << '\n' << kRules;
            return kExitOk;
        }
        std::string name = arg, value;
        bool inlineValue = false;
        if (arg.compare(0, 2, "--") == 0 && arg.find('=') != std::string::npos) {
            name = arg.substr(0, arg.find('='));
            value = arg.substr(arg.find('=') + 1);
            inlineValue = true;
        }
        const Option *option = nullptr;
        for (const Option &candidate : command.options)
            if (name == std::string("--") + candidate.longName ||
                (candidate.shortName && name == std::string("-") + candidate.shortName))
                option = &candidate;
        if (!option)
            return UsageError(std::string(command.name) + ": unknown option " + name, &command);
        if (in.values.count(option->longName) || in.flags.count(option->longName))
            return UsageError(std::string(command.name) + ": " + name + " given twice", &command);
        if (!option->value) {
            if (inlineValue)
                return UsageError(std::string(command.name) + ": " + name + " takes no value", &command);
            in.flags.insert(option->longName);
        } else if (inlineValue) {
            in.values[option->longName] = value;
        } else if (i + 1 < args.size()) {
            in.values[option->longName] = args[++i];
        } else {
            return UsageError(std::string(command.name) + ": " + name + " needs " + option->value, &command);
        }
    }
    for (const Option &option : command.options)
        if (option.required && !in.values.count(option.longName))
            return UsageError(std::string(command.name) + ": no " + Spelling(option) + " " + option.value,
                              &command);
    if (in.operands.size() != command.operands.size())
        return UsageError(std::string(command.name) + ": takes " + std::to_string(command.operands.size()) +
                              (command.operands.size() == 1 ? " operand" : " operands") + ", not " +
                              std::to_string(in.operands.size()),
                          &command);
    command.run(in);
    return kExitOk;
}

int Run(const std::vector<std::string> &args)
{
    if (args.empty())
        return UsageError("no command", nullptr);
    const std::string &first = args[0];
    if (first == "--help" || first == "-h" || first == "help") {
        std::string text = Usage();
        for (const Command &command : kCommands)
            text += "\n" + CommandHelp(command);
        std::cout << text << '\n' << kRules;
        return kExitOk;
    }
    if (first == "--version" && args.size() == 1) {
        std::cout << "xpack " << XPACK_VERSION << '\n';
        return kExitOk;
    }
    for (const Command &command : kCommands)
        if (first == command.name)
            return RunCommand(command, std::vector<std::string>(args.begin() + 1, args.end()));
    return UsageError("unknown command " + first, nullptr);
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
