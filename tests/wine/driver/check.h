// Checks for the Win32 test programs. A failed check is printed with where
// it was made and what it found, and the program goes on, so that one run
// shows every failure; main ends with `return check::Finish();`.
//   CHECK(condition)                 CHECK(condition, what)
//   CHECK_EQ(actual, expected)       CHECK_EQ(actual, expected, what)
// `what` replaces the written-out condition in the report.
#pragma once
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace check {

// Failures after this are reported under the case's name.
void Case(const std::string &name);

// A program that runs one case per process keeps its cases in one table,
// the lines {"name", Function}, which CMake reads (wine_cases) to make a test
// of each. FindCase returns the case that argv[1] names, given with
// `arguments` more arguments after it, or up to `optional` more still;
// otherwise it prints the usage and the cases' names and returns null.
void PrintUsage(const char *program, const char *usage, const std::vector<std::string> &cases);
template <class Function>
const Function *FindCase(int argc, char **argv, const std::map<std::string, Function> &cases,
                         const char *usage, int arguments = 0, int optional = 0)
{
    auto found =
        argc >= 2 + arguments && argc <= 2 + arguments + optional ? cases.find(argv[1]) : cases.end();
    if (found == cases.end()) {
        std::vector<std::string> names;
        for (const auto &c : cases)
            names.push_back(c.first);
        PrintUsage(argv[0], usage, names);
        return nullptr;
    }
    Case(argv[1]);
    return &found->second;
}
bool Record(bool ok, const char *file, int line, const std::string &what);
int Failures();
// Prints the tally. 0 when checks ran and none failed, 1 otherwise.
int Finish();

inline std::string What(const char *written)
{
    return written;
}
inline std::string What(const char *, const std::string &what)
{
    return what;
}

template <class T>
std::string Show(const T &value)
{
    std::ostringstream out;
    out << std::boolalpha << value;
    return out.str();
}
inline std::string Show(const std::string &value)
{
    return "\"" + value + "\"";
}
inline std::string Show(const char *value)
{
    return value ? Show(std::string(value)) : "null";
}

// The condition, or the two values, are taken before the text that
// describes them, which may read what the check did.
struct Result {
    bool ok;
    bool Record(const char *file, int line, const std::string &what) const
    {
        return check::Record(ok, file, line, what);
    }
};

template <class Actual, class Expected>
struct Compared {
    const Actual &actual;
    const Expected &expected;
    bool Record(const char *file, int line, const std::string &what) const
    {
        bool ok = actual == expected;
        return check::Record(ok, file, line,
                             ok ? what
                                : what + "\n  expected: " + Show(expected) + "\n  actual:   " + Show(actual));
    }
};

template <class Actual, class Expected>
Compared<Actual, Expected> Compare(const Actual &actual, const Expected &expected)
{
    return {actual, expected};
}

}  // namespace check

#define CHECK(condition, ...)                                              \
    check::Result{static_cast<bool>(condition)}.Record(__FILE__, __LINE__, \
                                                       check::What(#condition, ##__VA_ARGS__))
#define CHECK_EQ(actual, expected, ...)  \
    check::Compare((actual), (expected)) \
        .Record(__FILE__, __LINE__, check::What(#actual " == " #expected, ##__VA_ARGS__))
