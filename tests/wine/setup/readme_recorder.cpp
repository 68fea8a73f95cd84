// Stands in for the browser in the end-to-end tests: registered as the .htm
// handler, it appends the document it was asked to open to a record file,
// and writes the name of the program that started it (the desktop shell's
// explorer.exe, or the setup program itself) to the record file's name
// followed by ".opener".
// Usage: readme_recorder RECORD-FILE DOCUMENT
#include <windows.h>
#include <tlhelp32.h>

#include <fstream>
#include <string>

namespace {

std::string Opener()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return "?";
    DWORD parent = 0;
    std::string name = "(ended)";
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (entry.th32ProcessID == GetCurrentProcessId())
            parent = entry.th32ParentProcessID;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (entry.th32ProcessID == parent)
            name = entry.szExeFile;
    CloseHandle(snapshot);
    return name;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    std::ofstream(std::string(argv[1]) + ".opener", std::ios::binary) << Opener();
    std::ofstream record(argv[1], std::ios::app | std::ios::binary);
    record << argv[2] << "\n";
    return record ? 0 : 1;
}
