// Entry point of scourvane.exe; the program takes no command-line arguments.
#include "app/application.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int showCommand)
{
    return scourvane::runApplication(instance, showCommand);
}
