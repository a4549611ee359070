// JSON text for the tool's report: strings from byte strings that may not be UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace scourvane::cli
{

// True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates, at most U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// `bytes` as a JSON string with its quotes. Control characters, quotes and backslashes are escaped;
// valid UTF-8 passes as it is, and any other byte becomes U+FFFD, so the result is always valid JSON
// (and never another real name); see jsonHex for the exact bytes.
std::string jsonString(std::string_view bytes);

// `bytes` in lowercase hexadecimal, two digits a byte, as a JSON string with its quotes: the exact
// form of a name that is not valid UTF-8.
std::string jsonHex(std::string_view bytes);

// `"key":` followed by `bytes` as a JSON string, and, when the bytes are not valid UTF-8,
// `,"keyBytes":` with their exact form.
std::string jsonNameField(std::string_view key, std::string_view bytes);

} // namespace scourvane::cli
