#include "program_path.h"

#include <string>

#include "error.h"
#include "file_io.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace xpack {

namespace fs = std::filesystem;

#ifdef _WIN32
fs::path ProgramPath()
{
    // A name that fills the buffer may have been cut short: try a larger one.
    std::wstring wide(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = ::GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()));
        if (length == 0)
            throw Error("cannot find the program's own file: " + SystemReason());
        if (length < wide.size()) {
            int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(length), nullptr, 0,
                                             nullptr, nullptr);
            std::string narrow(static_cast<std::size_t>(size), '\0');
            ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(length), narrow.data(), size,
                                  nullptr, nullptr);
            return fs::u8path(narrow);
        }
        wide.resize(wide.size() * 2);
    }
}
#else
fs::path ProgramPath()
{
    std::string target(256, '\0');
    for (;;) {
        ssize_t length = ::readlink("/proc/self/exe", target.data(), target.size());
        if (length < 0)
            throw Error("/proc/self/exe: cannot find the program's own file: " + SystemReason());
        if (static_cast<std::size_t>(length) < target.size()) {
            target.resize(static_cast<std::size_t>(length));
            return fs::u8path(target);
        }
        target.resize(target.size() * 2);
    }
}
#endif

std::vector<fs::path> DefaultStubPlaces()
{
    const fs::path folder = ProgramPath().parent_path();
    fs::path installed = folder.parent_path() / fs::u8path(XPACK_STUB_INSTALLED) / XPACK_STUB_NAME;
    return {folder / XPACK_STUB_NAME, installed.make_preferred()};
}

}  // namespace xpack
