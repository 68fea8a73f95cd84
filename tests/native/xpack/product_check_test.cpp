// What the setup program relies on in a payload: the component and the
// readme in the top folder, the component a 32-bit DLL exporting its
// registration entry point; and the export reader that tells.
#include <gtest/gtest.h>

#include "payload_writer.h"
#include "pe_exports.h"
#include "product_check.h"
#include "szdd/szdd.h"
#include "xpack_test_support.h"

using namespace xpack_test;

namespace {

const fs::path kComponent = COMPONENT_DLL;

// A payload of entries: a name ending in a backslash is a directory.
Bytes PayloadOf(const std::vector<std::pair<std::string, Bytes>> &entries)
{
    Bytes payload;
    for (const auto &[name, content] : entries)
        xpack::AppendEntry(payload, name, name.back() == '\\', szdd::Compress(content));
    return payload;
}

std::string Warnings(const Bytes &payload)
{
    std::string text;
    for (const std::string &warning : xpack::ProductWarnings(payload, "p.bin"))
        text += warning + "\n";
    return text;
}

}  // namespace

TEST(PeExports, NamesAndKind)
{
    const Bytes dll = ReadFile(kComponent), stub = ReadFile(SETUP_STUB);
    for (const char *name : {"DllRegisterServer", "DllCanUnloadNow"})
        EXPECT_TRUE(pe::ExportsName(pe::Reader(dll), name)) << name;
    for (const char *name : {"DllRegisterServe", "DllRegisterServerX", ""})
        EXPECT_FALSE(pe::ExportsName(pe::Reader(dll), name)) << name;
    EXPECT_EQ(pe::Dll32Problem(pe::Reader(dll)), "");
    EXPECT_EQ(pe::Dll32Problem(pe::Reader(stub)), "not a DLL");
    EXPECT_FALSE(pe::ExportsName(pe::Reader(stub), "DllRegisterServer"));
    // Cut inside its sections, the table is refused, not read past the end.
    const Bytes cut(dll.begin(), dll.begin() + static_cast<std::ptrdiff_t>(dll.size() / 2));
    EXPECT_THROW(pe::ExportsName(pe::Reader(cut), "DllRegisterServer"), pe::FormatError);
}

// Found in any case, wherever the top folder's entries are; each lack named.
TEST(ProductCheck, WarnsAboutWhatTheProgramWouldMiss)
{
    const Bytes dll = ReadFile(kComponent), readme{'<', 'p', '>'};
    Bytes notDll = ReadFile(SETUP_STUB);
    EXPECT_EQ(
        Warnings(PayloadOf(
            {{"Tools\\", {}}, {"quenbrik.DLL", dll}, {"TOOLS\\QUENBRIK\\", {}}, {"readme.htm", readme}})),
        "");
    EXPECT_EQ(Warnings({}), "") << "an empty payload is warned about as such";

    std::string missing =
        Warnings(PayloadOf({{"Quenbrik.dll", dll}, {"Tools\\", {}}, {"Sub\\", {}}, {"Quenbrik.dll", dll}}));
    EXPECT_EQ(missing, "p.bin: no Quenbrik.dll in the top folder \"Quenbrik.dll\"; the setup program would "
                       "find no add-in component to register\n"
                       "p.bin: no Quenbrik.dll\\Quenbrik\\Readme.htm; the setup program would offer to open "
                       "a readme that is not there\n");

    for (const auto &[component, problem] :
         {std::make_pair(notDll, "is not a DLL"), std::make_pair(Bytes{'M', 'Z'}, "is no DLL: "),
          std::make_pair(Bytes(1000, 7), "is no DLL: not an executable")}) {
        std::string text = Warnings(PayloadOf({{"Addins\\", {}},
                                               {"QUENBRIK.DLL", component},
                                               {"Addins\\Quenbrik\\", {}},
                                               {"Readme.htm", readme}}));
        EXPECT_EQ(text.rfind(std::string("p.bin: the add-in component Addins\\QUENBRIK.DLL ") + problem, 0),
                  0u)
            << text;
    }
    // A 32-bit DLL without the entry point: the stub marked as a DLL.
    const pe::Headers headers = pe::ReadHeaders(pe::Reader(notDll));
    pe::Put16(notDll, headers.fileHeader + pe::kCharacteristicsOffset,
              pe::Reader(notDll).U16(headers.fileHeader + pe::kCharacteristicsOffset) |
                  pe::kCharacteristicDll);
    EXPECT_NE(Warnings(PayloadOf({{"Addins\\", {}}, {"Quenbrik.dll", notDll}}))
                  .find("does not export DllRegisterServer"),
              std::string::npos);
}

// --strict turns each warning into an error and writes nothing; -q silences
// the warnings alone; setup checks a payload file as pack checks a folder.
TEST(ProductCheck, StrictAndQuiet)
{
    ScratchDir dir;
    WriteFile(dir / "tree/Addins/Quenbrik/Readme.htm", "<p>");
    WriteFile(dir / "out.bin", "old");
    const std::string tree = (dir / "tree").string(), out = (dir / "out.bin").string();
    RunResult run = RunXpack({"pack", "--strict", tree, "-o", out});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "xpack: " + tree +
                           ": no Quenbrik.dll in the top folder \"Addins\"; the setup program "
                           "would find no add-in component to register\nxpack: " +
                           out + ": not written, since --strict makes the warning above an error\n");
    EXPECT_EQ(ReadFile(dir / "out.bin"), Bytes({'o', 'l', 'd'}));
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"out.bin", "tree"}));

    run = RunXpack({"pack", "-q", tree, "-o", out});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    run = RunXpack({"setup", out, "--stub", SETUP_STUB, "-o", (dir / "s.exe").string()});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err.rfind("xpack: warning: " + out + ": no Quenbrik.dll", 0), 0u) << run.err;
    run =
        RunXpack({"setup", "--quiet", "--strict", out, "--stub", SETUP_STUB, "-o", (dir / "t.exe").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("no Quenbrik.dll"), std::string::npos) << "strict errors show when quiet";
    EXPECT_FALSE(fs::exists(dir / "t.exe"));
}
