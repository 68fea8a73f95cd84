// unprotected_loader NAME
// A program without the setup program's protections: loads NAME.dll by name,
// the ordinary way, so the platform searches its own folder first. Exits 0
// when the DLL loaded.
#include <windows.h>

#include <string>

int main(int argc, char **argv)
{
    return argc == 2 && LoadLibraryA((std::string(argv[1]) + ".dll").c_str()) ? 0 : 1;
}
