#include "check.h"

#include <cstdio>
#include <cstring>

namespace check {

namespace {
int g_checks = 0;
int g_failures = 0;
std::string g_case;
}  // namespace

void Case(const std::string &name)
{
    g_case = name;
    std::printf("case %s\n", name.c_str());
    std::fflush(stdout);
}

void PrintUsage(const char *program, const char *usage, const std::vector<std::string> &cases)
{
    std::fprintf(stderr, "usage: %s %s\ncases:", program, usage);
    for (const std::string &name : cases)
        std::fprintf(stderr, " %s", name.c_str());
    std::fprintf(stderr, "\n");
}

bool Record(bool ok, const char *file, int line, const std::string &what)
{
    ++g_checks;
    if (ok)
        return true;
    ++g_failures;
    const char *name = std::strrchr(file, '/');
    std::printf("FAILED%s%s%s %s:%d: %s\n", g_case.empty() ? "" : " [", g_case.c_str(),
                g_case.empty() ? "" : "]", name ? name + 1 : file, line, what.c_str());
    std::fflush(stdout);
    return false;
}

int Failures()
{
    return g_failures;
}

int Finish()
{
    std::printf("%d checks, %d failed: %s\n", g_checks, g_failures,
                g_failures == 0 && g_checks > 0 ? "passed" : "FAILED");
    std::fflush(stdout);
    return g_failures == 0 && g_checks > 0 ? 0 : 1;
}

}  // namespace check
