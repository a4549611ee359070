// Text for the user on standard output and standard error, names in any language included. One
// header, two implementations chosen at build time (console_win32.cpp, console_posix.cpp).
#pragma once

#include <cstdio>
#include <string_view>

namespace scourvane::platform
{

// While it lives, a Windows console that standard output or standard error is shows UTF-8 (the
// code page of the program's names) in what goes through the C library; the console's own code
// page comes back at the end, as the console outlives the program. Nothing on POSIX, whose
// terminals take UTF-8 already.
class Utf8Console
{
  public:
    Utf8Console();
    ~Utf8Console();
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

  private:
    unsigned previous_ = 0; // the code page to give back, 0 for none
};

// Writes `text` (UTF-8) to `stream`. On a Windows console it goes as UTF-16, so that every name
// shows right whatever the console's code page and the C library's locale; everywhere else the
// bytes go as they are.
void writeText(std::FILE* stream, std::string_view text);

} // namespace scourvane::platform
