// scourvane-hold-file PATH SHARE SECONDS: opens PATH for reading and writing with the given share
// mode (0: no sharing, 1: others may read) the way another Windows program holding a model open
// would, writes PATH.held once it holds the file, and keeps it open until PATH.release appears or
// SECONDS pass. Exit status 0 when the file was held, 1 when it could not be opened.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 4)
    {
        std::fprintf(stderr, "usage: scourvane-hold-file PATH SHARE SECONDS\n");
        return 2;
    }
    const std::string path = argv[1];
    const DWORD share = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 0));
    const unsigned long seconds = std::strtoul(argv[3], nullptr, 0);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
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
