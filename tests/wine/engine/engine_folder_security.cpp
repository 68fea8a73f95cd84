// The install folder's own security. Wine keeps no descriptor given to
// CreateDirectoryA, so what can be seen here is the descriptor itself,
// turned into text by the platform's own conversion, and what each
// CreateDirectoryA of the run receives: a recorder takes this program's
// import of it, through which the linked engine calls.
#include "engine_test_support.h"

#include <sddl.h>

#include <cstring>

#include "install_folder_security.h"
#include "payload.h"

namespace {

struct FolderMade {
    std::string path;
    std::string dacl;  // "" when the call was given no descriptor
};
std::vector<FolderMade> g_made;
BOOL(WINAPI *g_createDirectory)(LPCSTR, LPSECURITY_ATTRIBUTES);

std::string DaclText(PSECURITY_DESCRIPTOR descriptor)
{
    char *text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                              DACL_SECURITY_INFORMATION, &text, nullptr))
        return "(not convertible)";
    std::string dacl = text;
    LocalFree(text);
    return dacl;
}

BOOL WINAPI RecordCreateDirectory(LPCSTR path, LPSECURITY_ATTRIBUTES attributes)
{
    g_made.push_back({path, attributes ? DaclText(attributes->lpSecurityDescriptor) : ""});
    return g_createDirectory(path, attributes);
}

// Points this program's import of a KERNEL32 function at replacement;
// returns the function it pointed at, or null.
void *RedirectImport(const char *name, void *replacement)
{
    auto *base = reinterpret_cast<BYTE *>(GetModuleHandleA(nullptr));
    auto *nt =
        reinterpret_cast<IMAGE_NT_HEADERS *>(base + reinterpret_cast<IMAGE_DOS_HEADER *>(base)->e_lfanew);
    DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto *d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + imports); d->Name; d++) {
        if (lstrcmpiA(reinterpret_cast<char *>(base + d->Name), "kernel32.dll") != 0)
            continue;
        auto *names = reinterpret_cast<IMAGE_THUNK_DATA *>(base + d->OriginalFirstThunk);
        auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
                std::strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData)->Name,
                            name) != 0)
                continue;
            DWORD protection;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
            void *original = reinterpret_cast<void *>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<DWORD_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            return original;
        }
    }
    return nullptr;
}

// The DACL that SDDL text describes, as the platform writes it back.
std::string ExpectedDacl(const std::string &sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!CHECK(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                                    &descriptor, nullptr),
               sddl))
        return "(not parsed)";
    std::string dacl = DaclText(descriptor);
    LocalFree(descriptor);
    return dacl;
}

std::string UserSid()
{
    DWORD user[64];
    DWORD size;
    HANDLE token;
    char *text = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return "";
    BOOL read = GetTokenInformation(token, TokenUser, user, sizeof user, &size);
    CloseHandle(token);
    if (!read || !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER *>(user)->User.Sid, &text))
        return "";
    std::string sid = text;
    LocalFree(text);
    return sid;
}

}  // namespace

// Protected (nothing taken from the parent); SYSTEM, the Administrators
// and the user who runs the program in full control, Users reading and
// running (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE); every entry
// inherited by files and folders below. Only a folder the run creates is
// given it; the folders below inherit it, and an existing one keeps its own.
void CaseInstallFolderSecurity()
{
    std::string user = UserSid();
    CHECK(!user.empty(), "the user's SID");
    const std::string expected =
        ExpectedDacl("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICI;FA;;;" + user + ")");
    InstallFolderSecurity security;
    CHECK_EQ(BuildInstallFolderSecurity(&security), 1);
    std::string built = DaclText(&security);
    std::printf("built: %s\n", built.c_str());
    CHECK_EQ(built, expected);

    g_createDirectory = reinterpret_cast<decltype(g_createDirectory)>(
        RedirectImport("CreateDirectoryA", reinterpret_cast<void *>(RecordCreateDirectory)));
    if (!CHECK(g_createDirectory != nullptr, "the import of CreateDirectoryA"))
        return;
    HMODULE module = MakePayloadModule(ReadFileBytes(ArtefactPath("shipped.bin")));
    for (int run = 0; run < 2; run++) {
        g_made.clear();
        g_hInstance = module;
        PrepareDialog(g_dialog, "X:\\Secured");
        CHECK_EQ(ExtractPayload(g_dialog), 1);
        CHECK(IsDirectory("X:\\Secured\\Addins\\QUENBRIK"), "installed");
        if (run == 0 && CHECK(!g_made.empty(), "the install folder is created"))
            CHECK_EQ(g_made[0].path, "X:\\Secured");
        for (size_t i = 0; i < g_made.size(); i++)
            CHECK_EQ(g_made[i].dacl, run == 0 && i == 0 ? expected : std::string(), g_made[i].path);
    }
}
