// The packer's commands. Each returns normally on success and throws Error
// (naming the file and the reason) on failure, having written nothing. An
// output of "-" is standard output; any other output is written as
// WriteFileAtomically writes it.
#pragma once
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace xpack {

// What a command warns about, each warning printed on its own line as
// "xpack: warning: TEXT" as it comes, unless quiet. Under strict a warning
// is an error: printed as "xpack: TEXT" even when quiet, and Settle refuses
// to let the command write.
class Warnings {
public:
    explicit Warnings(std::ostream &out, bool quiet = false, bool strict = false)
        : out_(out), quiet_(quiet), strict_(strict)
    {
    }
    // text starts with the file or entry it is about.
    void Add(const std::string &text);
    const std::vector<std::string> &Given() const { return given_; }
    // Called before output is written: throws Error naming it when strict
    // and any warning was given.
    void Settle(const std::string &output) const;

private:
    std::ostream &out_;
    bool quiet_;
    bool strict_;
    std::vector<std::string> given_;
};

// Packs the tree under folder into a payload file.
void Pack(const std::filesystem::path &folder, const std::filesystem::path &output, Warnings &warnings);

// Single files in the SZDD format, as the platform's compress and expand
// tools read and write them.
void CompressFile(const std::filesystem::path &input, const std::filesystem::path &output);
void ExpandFile(const std::filesystem::path &input, const std::filesystem::path &output, Warnings &warnings);

// The entries, totals and top folder of a payload file or of a setup
// executable's payload, as a table or as one JSON object (see the manual).
// A name that unpack and setup refuse is listed, and warned about.
enum class ListFormat {
    Table,
    Json
};
void List(const std::filesystem::path &input, std::ostream &out, Warnings &warnings,
          ListFormat format = ListFormat::Table);

// Writes what a setup would install from a payload or setup executable
// into folder, which must be new or an empty folder (see TreeWriter).
void Unpack(const std::filesystem::path &input, const std::filesystem::path &folder);

// Writes a setup executable: stub (see SetupStub; without one, the first of
// DefaultStubPlaces that exists) with its payload replaced by source's. A
// folder source is packed as Pack packs it, with the same refusals and
// warnings; any other source is a payload file or a setup executable,
// checked as List checks it and with its names held to Unpack's rules. Both
// are checked for what the setup program relies on (ProductWarnings). The
// output is executable.
void Setup(const std::filesystem::path &source, const std::optional<std::filesystem::path> &stub,
           const std::filesystem::path &output, Warnings &warnings);

// text as a JSON string: quoted, with every byte outside printable ASCII,
// and the quote and the backslash, escaped. A byte of 0x80 or more becomes
// \u0080 to \u00ff, the code point of the same value, so that any bytes
// come through and can be had back.
std::string JsonString(const std::string &text);

}  // namespace xpack
