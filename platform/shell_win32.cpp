// The shell operations on the real Windows API.
#include "platform/shell.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>
#include <vector>

namespace scourvane::shell
{

int messageBox(void* owner, const char* text, const char* caption, uint32_t style)
{
    return MessageBoxA(static_cast<HWND>(owner), text, caption, static_cast<UINT>(style));
}

void enableWindow(void* window, bool enable)
{
    if (window != nullptr) EnableWindow(static_cast<HWND>(window), enable ? TRUE : FALSE);
}

void setFocus(void* window)
{
    if (window != nullptr) SetFocus(static_cast<HWND>(window));
}

bool startProgram(const char* commandLine)
{
    // CreateProcessA may write into the command line, so it gets a private copy.
    std::vector<char> line(commandLine, commandLine + std::strlen(commandLine) + 1);
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof(STARTUPINFOA);
    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    // Nobody waits for the editor: release our handles to it at once.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

} // namespace scourvane::shell
