#include "names.h"

#include <cstring>

namespace xpack {

namespace {

bool IsDeviceName(const std::string &name)
{
    // The device is named by what comes before the first dot, and Windows
    // ignores spaces between that and the dot ("NUL .txt" is NUL too).
    std::string base = FoldCase(name.substr(0, name.find('.')));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    for (const char *device : {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"})
        if (base == device)
            return true;
    if (base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0))
        return base[3] >= '0' && base[3] <= '9';
    return false;
}

}  // namespace

std::string FoldCase(const std::string &name)
{
    std::string folded = name;
    for (char &c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

std::string Printable(const std::string &text)
{
    static const char kHex[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F)
            shown += c;
        else if (c == '\n')
            shown += "\\n";
        else if (c == '\r')
            shown += "\\r";
        else if (c == '\t')
            shown += "\\t";
        else
            shown += std::string("\\x") + kHex[byte >> 4] + kHex[byte & 15];
    }
    return shown;
}

std::string ComponentProblem(const std::string &name, bool allowNonAscii)
{
    if (name.empty())
        return "empty name";
    if (name == "." || name == "..")
        return "the name \"" + name + "\" is not allowed";
    for (char c : name) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20)
            return "the name contains a control character";
        if (byte >= 0x80 && !allowNonAscii)
            return "the name contains a non-ASCII character";
        if (std::strchr("<>:\"/\\|?*", c))
            return std::string("the name contains the character '") + c + "', which Windows does not allow";
    }
    if (name.back() == '.' || name.back() == ' ')
        return "the name ends in a dot or a space, which Windows drops";
    if (IsDeviceName(name))
        return "the name is a Windows device name";
    return "";
}

}  // namespace xpack
