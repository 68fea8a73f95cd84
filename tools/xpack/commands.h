// The packer's commands. Each returns normally on success and throws Error
// (naming the file and the reason) on failure, having written nothing. An
// output of "-" is standard output; any other output is written as
// WriteFileAtomically writes it.
#pragma once
#include <filesystem>
#include <ostream>

namespace xpack {

// Packs the tree under folder into a payload file; warnings go to warnings.
void Pack(const std::filesystem::path &folder, const std::filesystem::path &output, std::ostream &warnings);

// Single files in the SZDD format, as the platform's compress and expand
// tools read and write them.
void CompressFile(const std::filesystem::path &input, const std::filesystem::path &output);
void ExpandFile(const std::filesystem::path &input, const std::filesystem::path &output,
                std::ostream &warnings);

// The entries, totals and top folder of a payload file or of a setup
// executable's payload. A name that unpack and setup refuse is listed, and
// warned about.
void List(const std::filesystem::path &input, std::ostream &out, std::ostream &warnings);

// Writes what a setup would install from a payload or setup executable
// into folder, which must be new or an empty folder (see TreeWriter).
void Unpack(const std::filesystem::path &input, const std::filesystem::path &folder);

// Writes a setup executable: stub (see SetupStub) with its payload
// replaced by source's. A folder source is packed as Pack packs it, with
// the same refusals and warnings; any other source is a payload file or a
// setup executable, checked as List checks it and with its names held to
// Unpack's rules. The output is executable.
void Setup(const std::filesystem::path &source, const std::filesystem::path &stub,
           const std::filesystem::path &output, std::ostream &warnings);

}  // namespace xpack
