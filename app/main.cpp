// Entry point of scourvane.exe. Its arguments, if any, are paths to select at start: files dropped on
// the program's icon or on a shortcut to it arrive this way.
#include "app/application.h"

#include <cstdlib>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int showCommand)
{
    // The C runtime has already split the command line (in the process's code page) into __argv.
    std::vector<std::string> paths;
    for (int i = 1; i < __argc; ++i)
        paths.emplace_back(__argv[i]);
    return scourvane::runApplication(instance, showCommand, paths);
}
