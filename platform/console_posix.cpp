// Text for the user on POSIX, whose terminals take UTF-8 bytes as they are.
#include "platform/console.h"

namespace scourvane::platform
{

Utf8Console::Utf8Console() = default;

Utf8Console::~Utf8Console() = default;

void writeText(std::FILE* stream, std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stream);
}

} // namespace scourvane::platform
