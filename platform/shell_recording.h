// A shell that shows nothing: it records every call and answers message boxes as a test tells it.
// Link scourvane_shell_recording instead of scourvane_shell_win32 to run the Clean command headless.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace scourvane::shell::recording
{

enum class CallKind : uint8_t
{
    messageBox,
    enableWindow,
    setFocus,
    startProgram,
};

struct Call
{
    CallKind kind = CallKind::messageBox;
    void* window = nullptr; // owner of a message box, or the window enabled or focused
    std::string text;       // message text, or the command line of startProgram
    std::string caption;    // message box caption
    uint32_t style = 0;     // message box style
    bool enable = false;    // enableWindow's flag
    std::string directory;  // the current directory at the time of the call
};

// Every call since the last reset, in order.
const std::vector<Call>& calls();

// Forgets the recorded calls and goes back to answering idNo, starting programs successfully.
void reset();

// The answer every following message box returns.
void setAnswer(int answer);

// What every following startProgram reports.
void setStartSucceeds(bool succeeds);

} // namespace scourvane::shell::recording
