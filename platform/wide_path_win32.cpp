// UTF-16 paths for the wide Win32 functions, with the long-path prefix where one is needed.
#include "platform/wide_path_win32.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace scourvane::platform
{

std::wstring wideText(std::string_view text)
{
    std::wstring wide;
    if (text.empty() || text.size() > 0x7FFFFFFF) return wide;
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    if (length <= 0) return wide;
    wide.resize(static_cast<size_t>(length));
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string narrowText(std::wstring_view text)
{
    std::string narrow;
    if (text.empty() || text.size() > 0x7FFFFFFF) return narrow;
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return narrow;
    narrow.resize(static_cast<size_t>(length));
    WideCharToMultiByte(CP_ACP, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

std::wstring widePath(std::string_view path)
{
    std::wstring wide = wideText(path);
    if (wide.empty() || wide.starts_with(L"\\\\?\\") || wide.starts_with(L"\\\\.\\")) return wide;
    // The length that counts is the absolute one: a short relative name below a deep current folder
    // is past the limit too. CreateDirectory stops 12 characters short of MAX_PATH, so that is the
    // bound; below it the path goes as it was given, devices such as NUL included.
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) return wide;
    std::wstring full(size, L'\0');
    const DWORD got = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (got == 0 || got >= size) return wide;
    full.resize(got);
    if (full.size() < MAX_PATH - 12 || full.starts_with(L"\\\\.\\") || full.starts_with(L"\\\\?\\"))
        return wide;
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

} // namespace scourvane::platform
