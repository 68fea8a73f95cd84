// What a name in a payload may be: the packer and the unpacker hold names to
// what the setup program can create on Windows.
#pragma once
#include <string>

namespace xpack {

// The reason a single path component cannot be a Windows file name, or an
// empty string when it can. Refused: empty names, "." and "..", the
// characters < > : " / \ | ? *, control characters, a trailing dot or
// space, and the device names CON PRN AUX NUL CONIN$ CONOUT$ CLOCK$ COM0-9
// LPT0-9 with or without an extension. Bytes above 0x7F are refused unless
// allowNonAscii, because the setup program works in whatever ANSI code page
// the target uses.
std::string ComponentProblem(const std::string &name, bool allowNonAscii);

// text as it may be printed: every byte outside printable ASCII becomes an
// escape (\n, \r, \t, or \x followed by two lower-case hex digits), so that
// a name taken from a file, a folder or the command line can neither start
// a line of its own nor send control sequences to a terminal. A backslash
// stays as it is, since it separates the folders of payload names; an
// escape is therefore not told apart from the same characters typed
// literally. Printing the result again leaves it unchanged.
std::string Printable(const std::string &text);

// name in ASCII lower case: Windows treats names that differ only in case as
// the same name.
std::string FoldCase(const std::string &name);

}  // namespace xpack
