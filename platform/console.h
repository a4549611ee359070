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

// Makes the standard streams safe for a program that opens files: any of descriptors 0, 1 and 2
// that is closed is opened on the null device, so that no file opened later (a model, a temporary,
// a log) can take its number and receive what is written to standard output or error; and a write to
// a pipe nobody reads any more fails as an error instead of killing the process. Call first thing in
// main, before any thread starts. Windows needs neither: its files are handles, apart from the C
// library's descriptors, and it has no such signal.
void guardStandardStreams();

// Writes `text` (UTF-8) to `stream`. On a Windows console it goes as UTF-16, so that every name
// shows right whatever the console's code page and the C library's locale; everywhere else the
// bytes go as they are.
void writeText(std::FILE* stream, std::string_view text);

} // namespace scourvane::platform
