// Text for the user on Windows. The C library writes to a console byte for byte in the console's
// code page (and Wine's converts the bytes by the C locale, as Latin-1), while names are UTF-8: the
// console is asked for UTF-8, and text to a console goes as UTF-16, which needs neither.
#include "platform/console.h"

#include <io.h>
#include <string>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace scourvane::platform
{

namespace
{
bool isConsole(HANDLE handle)
{
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode) != 0;
}
} // namespace

Utf8Console::Utf8Console()
{
    if (!isConsole(GetStdHandle(STD_OUTPUT_HANDLE)) && !isConsole(GetStdHandle(STD_ERROR_HANDLE))) return;
    const UINT current = GetConsoleOutputCP();
    if (current != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) previous_ = current;
}

Utf8Console::~Utf8Console()
{
    if (previous_ != 0) SetConsoleOutputCP(previous_);
}

void guardStandardStreams() {}

void writeText(std::FILE* stream, std::string_view text)
{
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    const int length = static_cast<int>(text.size());
    const int wideLength = length > 0 && static_cast<size_t>(length) == text.size() && isConsole(handle)
                               ? MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0)
                               : 0;
    if (wideLength <= 0)
    {
        std::fwrite(text.data(), 1, text.size(), stream);
        return;
    }
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), wideLength);
    std::fflush(stream); // what the C library holds goes first
    // In pieces, as consoles before Windows 8 refuse one write much over 64 KiB; never between the
    // two halves of a surrogate pair.
    constexpr size_t piece = 8192;
    for (size_t start = 0; start < wide.size();)
    {
        size_t end = start + piece < wide.size() ? start + piece : wide.size();
        if (end < wide.size() && wide[end - 1] >= 0xD800 && wide[end - 1] <= 0xDBFF) --end;
        DWORD written = 0;
        if (!WriteConsoleW(handle, wide.data() + start, static_cast<DWORD>(end - start), &written, nullptr))
            return;
        start = end;
    }
}

} // namespace scourvane::platform
