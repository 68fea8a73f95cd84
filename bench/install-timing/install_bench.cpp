// install_bench SETUP-EXE PLAIN-COPY-EXE WORKDIR REPEATS CASEFILE
//
// For every case of CASEFILE (lines "label<TAB>payload<TAB>source-tree<TAB>
// registration-may-fail", payload "-" for the program's own), makes a copy of
// the setup program carrying that payload and times, alternately and REPEATS
// times each, a whole install driven from start to exit and the plain copy of
// the expanded source tree by PLAIN-COPY-EXE. Every run's result is compared
// with the source tree before its time counts. Then times the engine's
// per-entry calls on each payload, one kind at a time. Prints both tables.
#include "host.h"
#include "payload_format.h"
#include "pieces.h"
#include "timed_runs.h"
#include "win_tree.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <vector>

namespace {

struct Case {
    std::string label, payload, source;
    bool registrationMayFail = false;
    std::string exe;  // the copy carrying the payload
    std::vector<unsigned char> bytes;
    wintree::TreeSize tree;
};

struct Summary {
    double wallMs, cpuMs, dialogMs, installMs;
};

std::vector<unsigned char> ReadFileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

BOOL CALLBACK FirstLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR context)
{
    *reinterpret_cast<WORD *>(context) = language;
    return FALSE;
}

// The payload resource of an executable on disk, and its language.
bool ReadPayload(const std::string &exe, std::vector<unsigned char> *bytes, WORD *language)
{
    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return false;
    *language = 0xFFFF;
    EnumResourceLanguagesA(module, PAYLOAD_RESOURCE_TYPE, PAYLOAD_RESOURCE_NAME, FirstLanguage,
                           reinterpret_cast<LONG_PTR>(language));
    HRSRC found = FindResourceExA(module, PAYLOAD_RESOURCE_TYPE, PAYLOAD_RESOURCE_NAME, *language);
    if (found) {
        auto *start = static_cast<const unsigned char *>(LockResource(LoadResource(module, found)));
        bytes->assign(start, start + SizeofResource(module, found));
    }
    FreeLibrary(module);
    return found != nullptr;
}

// Replaces the payload of a copy of the setup program, in the language the
// original carries it, so that the program finds the new one.
bool PreparePayload(const std::string &setupExe, Case *c, std::string *error)
{
    if (!CopyFileA(setupExe.c_str(), c->exe.c_str(), FALSE)) {
        *error = "cannot copy " + setupExe + " to " + c->exe;
        return false;
    }
    WORD language = 0;
    std::vector<unsigned char> original;
    if (!ReadPayload(c->exe, &original, &language)) {
        *error = setupExe + " has no payload resource";
        return false;
    }
    if (c->payload == "-") {
        c->bytes = original;
        return true;
    }
    c->bytes = ReadFileBytes(c->payload);
    if (c->bytes.empty()) {
        *error = "cannot read " + c->payload;
        return false;
    }
    HANDLE update = BeginUpdateResourceA(c->exe.c_str(), FALSE);
    if (!update ||
        !UpdateResourceA(update, PAYLOAD_RESOURCE_TYPE, PAYLOAD_RESOURCE_NAME, language, c->bytes.data(),
                         static_cast<DWORD>(c->bytes.size())) ||
        !EndUpdateResourceA(update, FALSE)) {
        *error = "cannot replace the payload of " + c->exe;
        return false;
    }
    std::vector<unsigned char> check;
    if (!ReadPayload(c->exe, &check, &language) || check != c->bytes) {
        *error = c->exe + " does not carry the new payload";
        return false;
    }
    return true;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

Summary Summarize(const std::vector<timed::RunTimes> &runs)
{
    std::vector<double> wall, cpu, dialog, install;
    for (const auto &run : runs) {
        wall.push_back(run.wallMs);
        cpu.push_back(run.cpuMs);
        dialog.push_back(run.dialogMs);
        install.push_back(run.installMs);
    }
    return {Median(wall), Median(cpu), Median(dialog), Median(install)};
}

std::string Bytes(double bytes)
{
    char text[32];
    if (bytes >= 1024.0 * 1024.0)
        std::snprintf(text, sizeof text, "%.2f MB", bytes / (1024.0 * 1024.0));
    else
        std::snprintf(text, sizeof text, "%.1f KB", bytes / 1024.0);
    return text;
}

std::string Ms(double ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", ms);
    return text;
}

std::string Ratio(double a, double b)
{
    if (b <= 0)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", a / b);
    return text;
}

// Runs until it succeeds with a correct result; a run whose result differs
// from the source would time an install that did not happen.
bool TimedRun(const std::function<timed::RunTimes()> &run, const std::string &result, const Case &c,
              std::vector<timed::RunTimes> *runs)
{
    wintree::RemoveTree(result);
    timed::RunTimes times = run();
    std::string difference;
    if (times.ok && !wintree::SameTree(result, c.source, &difference)) {
        times.ok = false;
        times.error = "wrong result: " + difference;
    }
    if (!times.ok) {
        std::cerr << c.label << ": " << times.error << "\n";
        return false;
    }
    runs->push_back(times);
    wintree::RemoveTree(result);
    return true;
}

std::vector<Case> ReadCases(const std::string &path, const std::string &work)
{
    std::vector<Case> cases;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        std::istringstream fields(line);
        Case c;
        std::string flag;
        std::getline(fields, c.label, '\t');
        std::getline(fields, c.payload, '\t');
        std::getline(fields, c.source, '\t');
        std::getline(fields, flag, '\t');
        if (c.payload != "-")
            c.payload = wintree::WindowsPath(c.payload);
        c.source = wintree::WindowsPath(c.source);
        c.registrationMayFail = flag == "1";
        c.exe = work + "\\setup-" + c.label + ".exe";
        cases.push_back(c);
    }
    return cases;
}

void SeedDevStudio(const std::string &installDirs)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, DEVSTUDIO_KEY "\\6.0\\" DEVSTUDIO_DIRECTORIES_KEY, 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, DEVSTUDIO_INSTALL_DIRS, 0, REG_SZ,
                   reinterpret_cast<const BYTE *>(installDirs.c_str()),
                   static_cast<DWORD>(installDirs.size() + 1));
    RegCloseKey(key);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 6) {
        std::cerr << "usage: install_bench SETUP-EXE PLAIN-COPY-EXE WORKDIR REPEATS CASEFILE\n";
        return 2;
    }
    const std::string setupExe = wintree::WindowsPath(argv[1]);
    const std::string copier = wintree::WindowsPath(argv[2]);
    const std::string work = wintree::WindowsPath(argv[3]);
    const int repeats = std::max(1, std::atoi(argv[4]));
    wintree::RemoveTree(work);
    CreateDirectoryA(work.c_str(), nullptr);
    std::vector<Case> cases = ReadCases(wintree::WindowsPath(argv[5]), work);
    if (cases.empty()) {
        std::cerr << "install_bench: no cases in " << argv[5] << "\n";
        return 2;
    }
    // The dialog only needs Developer Studio to be present; the folder box
    // is set for every run.
    SeedDevStudio(work + "\\MSDev98\\Bin");
    CreateDirectoryA((work + "\\MSDev98").c_str(), nullptr);

    // What starting a process costs here, for reading the small rows.
    const std::string empty = work + "\\empty";
    CreateDirectoryA(empty.c_str(), nullptr);
    std::vector<timed::RunTimes> starts;
    for (int i = 0; i < repeats; i++) {
        wintree::RemoveTree(work + "\\empty-copy");
        starts.push_back(timed::RunPlainCopy(copier, empty, work + "\\empty-copy"));
    }
    Summary start = Summarize(starts);

    int failures = 0;
    std::cout << "| payload | files | expanded | stored | install wall ms | install CPU ms | copy wall ms | "
                 "copy CPU ms | wall ratio | CPU ratio | dialog up ms | Install to box ms |\n"
                 "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    std::cout << "| (process start only) | 0 | 0 | - | - | - | " << Ms(start.wallMs) << " | "
              << Ms(start.cpuMs) << " | - | - | - | - |\n"
              << std::flush;
    for (Case &c : cases) {
        std::string error;
        if (!PreparePayload(setupExe, &c, &error)) {
            std::cerr << c.label << ": " << error << "\n";
            failures++;
            continue;
        }
        c.tree = wintree::MeasureTree(c.source);
        const std::string installed = work + "\\" + c.label + "-inst";
        const std::string copied = work + "\\" + c.label + "-copy";
        std::vector<timed::RunTimes> installs, copies;
        bool ok = true;
        for (int i = 0; i < repeats && ok; i++) {
            ok = TimedRun([&] { return timed::RunInstall(c.exe, installed, c.registrationMayFail); },
                          installed, c, &installs) &&
                 TimedRun([&] { return timed::RunPlainCopy(copier, c.source, copied); }, copied, c, &copies);
        }
        if (!ok) {
            failures++;
            continue;
        }
        Summary install = Summarize(installs), copy = Summarize(copies);
        std::cout << "| " << c.label << " | " << c.tree.files << " | "
                  << Bytes(static_cast<double>(c.tree.bytes)) << " | "
                  << Bytes(static_cast<double>(c.bytes.size())) << " | " << Ms(install.wallMs) << " | "
                  << Ms(install.cpuMs) << " | " << Ms(copy.wallMs) << " | " << Ms(copy.cpuMs) << " | "
                  << Ratio(install.wallMs, copy.wallMs) << " | " << Ratio(install.cpuMs, copy.cpuMs) << " | "
                  << Ms(install.dialogMs) << " | " << Ms(install.installMs) << " |\n"
                  << std::flush;
    }

    std::cout << "\nWhere the time goes, in ms: the engine's calls in one process (the fastest of " << repeats
              << " runs), beside writing the expanded bytes directly and CopyFileA.\n\n"
              << "| payload | directories | temp write | LZ expand | temp delete | engine sum | "
                 "write expanded | CopyFileA |\n|---|---:|---:|---:|---:|---:|---:|---:|\n";
    for (const Case &c : cases) {
        if (c.bytes.empty())
            continue;
        pieces::PieceTimes best;
        double bestSum = 0;
        for (int i = 0; i < repeats; i++) {
            const std::string root = work + "\\" + c.label + "-pieces";
            for (const char *suffix : {"", ".write", ".copy"})
                wintree::RemoveTree(root + suffix);
            pieces::PieceTimes t =
                pieces::TimePieces(c.bytes.data(), static_cast<unsigned long>(c.bytes.size()), root);
            if (!t.ok) {
                std::cerr << c.label << ": " << t.error << "\n";
                failures++;
                break;
            }
            double sum = t.directoriesMs + t.tempWriteMs + t.expandMs + t.tempDeleteMs;
            if (!best.ok || sum < bestSum) {
                best = t;
                bestSum = sum;
            }
            for (const char *suffix : {"", ".write", ".copy"})
                wintree::RemoveTree(root + suffix);
        }
        if (!best.ok)
            continue;
        char line[256];
        std::snprintf(line, sizeof line, "| %s | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f |\n",
                      c.label.c_str(), best.directoriesMs, best.tempWriteMs, best.expandMs, best.tempDeleteMs,
                      bestSum, best.writeExpandedMs, best.copyFileMs);
        std::cout << line << std::flush;
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, DEVSTUDIO_KEY);
    wintree::RemoveTree(work);
    return failures ? 1 : 0;
}
