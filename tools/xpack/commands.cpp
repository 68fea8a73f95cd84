#include "commands.h"

#include <algorithm>
#include <iomanip>
#include <sstream>
#include <system_error>

#include "error.h"
#include "file_io.h"
#include "names.h"
#include "payload_reader.h"
#include "payload_writer.h"
#include "product_check.h"
#include "program_path.h"
#include "setup_image.h"
#include "szdd/szdd.h"
#include "tree_walk.h"
#include "tree_writer.h"

namespace xpack {

namespace fs = std::filesystem;

namespace {

std::string EntryLabel(const std::string &label, std::size_t index, const ReadEntry &entry)
{
    return label + ": entry " + std::to_string(index + 1) + " \"" + Printable(entry.name) + "\"";
}

// A second run would otherwise pack the previous payload into the new one.
void RefuseOutputInsideTree(const fs::path &folder, const fs::path &output)
{
    if (output == "-")
        return;
    std::error_code ec;
    if (!IsFolder(folder))
        return;  // the walk reports it
    fs::path tree = ResolvedPath(folder, ec);
    if (ec)
        return;
    fs::path target = ResolvedPath(output, ec);
    if (ec)
        return;
    auto mismatch = std::mismatch(tree.begin(), tree.end(), target.begin(), target.end());
    if (mismatch.first == tree.end())
        throw Error(Shown(output) + ": lies inside the folder being packed, " + Shown(folder));
}

// The parts of an entry's name: a directory entry spells its whole path
// from the install root, ending in a backslash (a leading backslash, an
// absolute path, gives an empty part); a file entry names one file in the
// folder of the directory entry before it.
std::vector<std::string> NameParts(const ReadEntry &entry)
{
    if (!entry.isDirectory)
        return {entry.name};
    std::vector<std::string> parts;
    std::string path = entry.name.substr(0, entry.name.size() - 1);
    for (std::size_t from = 0;;) {
        std::size_t to = path.find('\\', from);
        parts.push_back(path.substr(from, to == std::string::npos ? std::string::npos : to - from));
        if (to == std::string::npos)
            return parts;
        from = to + 1;
    }
}

// Why the setup program, given this entry, would write outside its folder
// or try a name that Windows cannot hold: the part that is ".." or empty,
// a drive, a device or a character Windows refuses. Empty when none is.
std::string NameProblem(const ReadEntry &entry)
{
    for (const std::string &part : NameParts(entry)) {
        std::string problem = entry.isDirectory && part.empty()
                                  ? "a leading or doubled backslash leaves an empty part"
                                  : ComponentProblem(part, true);
        if (!problem.empty())
            return (entry.isDirectory ? "unsafe folder name: " : "unsafe file name: ") + problem;
    }
    return "";
}

struct UnpackItem {
    fs::path relative;
    bool isDirectory;
    Bytes content;
};

// The install-relative path of every entry, each name checked so that
// nothing lands outside the target folder, and every file expanded.
std::vector<UnpackItem> PlanUnpack(const Bytes &payload, const std::string &label)
{
    std::vector<ReadEntry> entries = ReadPayload(payload, label);
    std::vector<UnpackItem> plan;
    fs::path current;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ReadEntry &entry = entries[i];
        std::string problem = NameProblem(entry);
        if (!problem.empty())
            throw Error(EntryLabel(label, i, entry) + ": " + problem);
        if (entry.isDirectory) {
            fs::path relative;
            for (const std::string &part : NameParts(entry))
                relative /= part;
            current = relative;
            plan.push_back(UnpackItem{relative, true, {}});
            continue;
        }
        UnpackItem item{current / entry.name, false, {}};
        std::string error;
        if (!szdd::Expand(entry.data, entry.dataLength, item.content, error))
            throw Error(EntryLabel(label, i, entry) + ": bad SZDD data: " + error);
        plan.push_back(std::move(item));
    }
    return plan;
}

struct CheckedEntry {
    ReadEntry entry;
    std::uint32_t expandedLength = 0;  // file entries
    std::string unsafeName;            // the entry and its name's problem, or empty
};

// The entries of payload with every file's SZDD header read and every name
// checked: what list shows, and what a payload must pass to go into a
// setup.
std::vector<CheckedEntry> CheckPayload(const Bytes &payload, const std::string &label)
{
    std::vector<CheckedEntry> checked;
    std::vector<ReadEntry> entries = ReadPayload(payload, label);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        CheckedEntry item{entries[i], 0, ""};
        std::string problem = NameProblem(item.entry);
        if (!problem.empty())
            item.unsafeName = EntryLabel(label, i, item.entry) + ": " + problem;
        if (!item.entry.isDirectory) {
            szdd::Header header;
            std::string error;
            if (!szdd::ReadHeader(item.entry.data, item.entry.dataLength, header, error))
                throw Error(EntryLabel(label, i, item.entry) + ": bad SZDD data: " + error);
            item.expandedLength = header.expandedLength;
        }
        checked.push_back(std::move(item));
    }
    return checked;
}

std::string OutputLabel(const fs::path &output)
{
    return output == "-" ? "standard output" : Shown(output);
}

// The payload of a folder as Pack makes it, warnings and all.
Bytes PackedPayload(const fs::path &folder, const fs::path &output, Warnings &warnings)
{
    RefuseOutputInsideTree(folder, output);
    TreeWalk walk = WalkTree(folder);
    for (const std::string &warning : walk.warnings)
        warnings.Add(warning);
    Bytes payload = BuildPayload(walk, OutputLabel(output));
    for (const std::string &warning : ProductWarnings(payload, Shown(folder)))
        warnings.Add(warning);
    return payload;
}

// The stub named, or else the first default place that holds anything
// (which is then checked as a named stub is).
fs::path StubToUse(const std::optional<fs::path> &stub)
{
    if (stub)
        return *stub;
    std::vector<fs::path> places = DefaultStubPlaces();
    for (const fs::path &place : places)
        if (LookUpPath(place).kind != ItemKind::Missing)
            return place;
    throw Error("no stub given (--stub), and none at " + Shown(places[0]) + " or " + Shown(places[1]));
}

}  // namespace

void Warnings::Add(const std::string &text)
{
    given_.push_back(text);
    // Whatever the text quotes, it may not drive the terminal.
    if (strict_)
        out_ << "xpack: " << Printable(text) << '\n';
    else if (!quiet_)
        out_ << "xpack: warning: " << Printable(text) << '\n';
}

void Warnings::Settle(const std::string &output) const
{
    if (strict_ && !given_.empty())
        throw Error(output + ": not written, since --strict makes the " +
                    (given_.size() == 1 ? "warning above an error" : "warnings above errors"));
}

void Pack(const fs::path &folder, const fs::path &output, Warnings &warnings)
{
    Bytes payload = PackedPayload(folder, output, warnings);
    warnings.Settle(OutputLabel(output));
    WriteOutput(output, payload);
}

void CompressFile(const fs::path &input, const fs::path &output)
{
    Bytes content = ReadWholeFile(input);
    if (content.size() > kMaxFileSize)
        throw Error(Shown(input) + ": is 4 GiB or larger; SZDD holds smaller files only");
    WriteOutput(output, szdd::Compress(content));
}

// The header's length is the size of the file that was compressed. Some
// compressors put stray items after its end (mscompress does for an empty
// file), so extra output is dropped with a warning; too little is an error.
void ExpandFile(const fs::path &input, const fs::path &output, Warnings &warnings)
{
    Bytes content = ReadWholeFile(input);
    Bytes expanded;
    std::string error;
    szdd::Header header;
    if (!szdd::ReadHeader(content.data(), content.size(), header, error) ||
        !szdd::Expand(content.data(), content.size(), expanded, error, szdd::LengthCheck::Lenient))
        throw Error(Shown(input) + ": bad SZDD data: " + error);
    if (expanded.size() < header.expandedLength)
        throw Error(Shown(input) + ": bad SZDD data: the body yields " + std::to_string(expanded.size()) +
                    " of the header's " + std::to_string(header.expandedLength) + " bytes");
    if (expanded.size() > header.expandedLength) {
        warnings.Add(Shown(input) + ": the body yields " +
                     std::to_string(expanded.size() - header.expandedLength) +
                     " bytes past the header's length; they were dropped");
        expanded.resize(header.expandedLength);
    }
    warnings.Settle(OutputLabel(output));
    WriteOutput(output, expanded);
}

std::string JsonString(const std::string &text)
{
    static const char kHex[] = "0123456789abcdef";
    std::string json = "\"";
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\')
            json += std::string("\\") + c;
        else if (byte >= 0x20 && byte < 0x7F)
            json += c;
        else
            json += std::string("\\u00") + kHex[byte >> 4] + kHex[byte & 15];
    }
    return json + "\"";
}

void List(const fs::path &input, std::ostream &out, Warnings &warnings, ListFormat format)
{
    std::string label = Shown(input);
    Bytes payload = PayloadOfFile(ReadWholeFile(input), label);
    std::vector<CheckedEntry> entries = CheckPayload(payload, label);
    for (const CheckedEntry &entry : entries)
        if (!entry.unsafeName.empty())
            warnings.Add(entry.unsafeName + "; unpack and setup refuse it");

    std::ostringstream text;
    if (format == ListFormat::Json) {
        text << "{\"entries\":[";
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const auto &[entry, expandedLength, unsafeName] = entries[i];
            text << (i ? "," : "") << "\n{\"kind\":" << (entry.isDirectory ? "\"dir\"" : "\"file\"")
                 << ",\"name\":" << JsonString(entry.name);
            if (!entry.isDirectory)
                text << ",\"stored\":" << entry.dataLength << ",\"expanded\":" << expandedLength;
            text << "}";
        }
        text << "],\n\"top_folder\":" << JsonString(TopFolderOf(payload))
             << ",\n\"payload_size\":" << payload.size() << ",\n\"warnings\":[";
        const char *separator = "";
        for (const CheckedEntry &entry : entries)
            if (!entry.unsafeName.empty()) {
                text << separator << JsonString(entry.unsafeName);
                separator = ",";
            }
        text << "]}\n";
        out << text.str();
        return;
    }

    text << "kind      stored  expanded  name\n";
    std::size_t directories = 0;
    std::uint64_t stored = 0, expanded = 0;
    for (const auto &[entry, expandedLength, unsafeName] : entries) {
        if (entry.isDirectory) {
            ++directories;
            text << "dir                         " << Printable(entry.name) << '\n';
            continue;
        }
        stored += entry.dataLength;
        expanded += expandedLength;
        text << "file  " << std::setw(10) << entry.dataLength << std::setw(10) << expandedLength << "  "
             << Printable(entry.name) << '\n';
    }
    text << "total " << std::setw(10) << stored << std::setw(10) << expanded << "  " << entries.size()
         << " entries (" << directories << " directories, " << entries.size() - directories
         << " files), payload " << payload.size() << " bytes\n";
    text << "top folder: " << Printable(TopFolderOf(payload)) << '\n';
    out << text.str();
}

void Unpack(const fs::path &input, const fs::path &folder)
{
    std::string label = Shown(input);
    Bytes payload = PayloadOfFile(ReadWholeFile(input), label);
    std::vector<UnpackItem> plan = PlanUnpack(payload, label);

    TreeWriter writer(folder);
    for (const UnpackItem &item : plan) {
        if (item.isDirectory) {
            writer.MakeFolder(item.relative);
        } else {
            writer.MakeFolder(item.relative.parent_path());
            writer.WriteFile(item.relative, item.content);
        }
    }
    writer.Commit();
}

void Setup(const fs::path &source, const std::optional<fs::path> &stub, const fs::path &output,
           Warnings &warnings)
{
    // The stub is checked first: it is quick, and packing a tree is not.
    fs::path stubPath = StubToUse(stub);
    SetupStub setupStub(ReadWholeFile(stubPath), Shown(stubPath));
    Bytes payload;
    std::string label = Shown(source);
    if (IsFolder(source)) {
        payload = PackedPayload(source, output, warnings);
    } else {
        payload = PayloadOfFile(ReadWholeFile(source), label);
        // The setup program would follow such a name out of its folder.
        for (const CheckedEntry &entry : CheckPayload(payload, label))
            if (!entry.unsafeName.empty())
                throw Error(entry.unsafeName);
        for (const std::string &warning : ProductWarnings(payload, label))
            warnings.Add(warning);
    }
    Bytes image = setupStub.WithPayload(payload, label);
    warnings.Settle(OutputLabel(output));
    WriteOutput(output, image, kExecutableMode);
}

}  // namespace xpack
