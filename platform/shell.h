// The few operations of the window system that the Clean command needs: message boxes, enabling and
// focusing windows, and starting a program. One header, implementations chosen at build time:
// shell_win32.cpp calls the real API; shell_recording.cpp records the calls for headless tests.
#pragma once

#include <cstdint>

namespace scourvane::shell
{

// Message box styles and answers, with the values the Windows API gives them.
inline constexpr uint32_t mbOk = 0x0;
inline constexpr uint32_t mbYesNo = 0x4;
inline constexpr uint32_t mbIconHand = 0x10;
inline constexpr uint32_t mbIconInformation = 0x40;
inline constexpr int idOk = 1;
inline constexpr int idYes = 6;
inline constexpr int idNo = 7;

// Shows a modal message box owned by `owner` (may be null) and returns the button pressed
// (idOk, idYes, idNo, ...), or 0 when the box could not be shown.
int messageBox(void* owner, const char* text, const char* caption, uint32_t style);

// Enables or disables input to `window`. A null window is ignored.
void enableWindow(void* window, bool enable);

// Gives the keyboard focus to `window`. A null window is ignored.
void setFocus(void* window);

// Starts `commandLine` as a new process in the current directory without waiting for it. True when
// the process was started; the caller may ignore the result.
bool startProgram(const char* commandLine);

} // namespace scourvane::shell
