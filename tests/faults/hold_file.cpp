// scourvane-hold-file PATH ACCESS SHARE SECONDS: opens PATH the way another Windows program holding
// a model open would: ACCESS "r" (reading) or "rw" (reading and writing), SHARE the share mode
// (0: nobody else may open it, 1: others may read, 3: others may read and write, but not delete or
// rename it). Writes PATH.held once it holds the file and keeps it open until PATH.release appears
// or SECONDS pass. Exit status 0 when the file was held, 1 when it could not be opened.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 5)
    {
        std::fprintf(stderr, "usage: scourvane-hold-file PATH r|rw SHARE SECONDS\n");
        return 2;
    }
    const std::string path = argv[1];
    const DWORD access = std::string(argv[2]) == "rw" ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    const DWORD share = static_cast<DWORD>(std::strtoul(argv[3], nullptr, 0));
    const unsigned long seconds = std::strtoul(argv[4], nullptr, 0);
    HANDLE file =
        CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        std::fprintf(stderr, "scourvane-hold-file: cannot open %s (error %lu)\n", path.c_str(),
                     static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    HANDLE held = CreateFileA((path + ".held").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    const std::string release = path + ".release";
    for (unsigned long waited = 0; waited < seconds * 20; ++waited)
    {
        if (GetFileAttributesA(release.c_str()) != INVALID_FILE_ATTRIBUTES) break;
        Sleep(50);
    }
    CloseHandle(file);
    DeleteFileA((path + ".held").c_str());
    return 0;
}
