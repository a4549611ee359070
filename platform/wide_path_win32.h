// Paths in the form the wide Win32 functions take, for the Windows side of platform/ only. Every
// call that names a file or folder goes through widePath, so that no path is cut at 260 characters
// and no name is lost to the 8-bit functions' own conversions.
#pragma once

#include <string>
#include <string_view>

namespace scourvane::platform
{

// `text` (in the process's code page, UTF-8 under the programs' manifest) as UTF-16, unchanged
// otherwise; empty when it cannot be converted.
std::wstring wideText(std::string_view text);

// UTF-16 `text` in the process's code page.
std::string narrowText(std::wstring_view text);

// `path` as wideText, and, when its absolute form is near or past MAX_PATH (whether `path` itself
// is absolute or relative), that absolute form with the "\\?\" prefix ("\\?\UNC\" for a server's
// share) that lifts the limit. A path that already has a "\\?\" or "\\.\" prefix stays as it is.
std::wstring widePath(std::string_view path);

} // namespace scourvane::platform
