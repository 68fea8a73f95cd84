// What a name in a payload may be: the packer and the unpacker hold names to
// what the setup program can create on Windows.
#pragma once
#include <string>

namespace xpack {

// The reason a single path component cannot be a Windows file name, or an
// empty string when it can. Refused: empty names, "." and "..", the
// characters < > : " / \ | ? *, control characters, a trailing dot or
// space, and the device names CON PRN AUX NUL COM1-9 LPT1-9 with or without
// an extension. Bytes above 0x7F are refused unless allowNonAscii, because
// the setup program works in whatever ANSI code page the target uses.
std::string ComponentProblem(const std::string &name, bool allowNonAscii);

// name in ASCII lower case: Windows treats names that differ only in case as
// the same name.
std::string FoldCase(const std::string &name);

}  // namespace xpack
