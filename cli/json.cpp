// JSON strings: valid UTF-8 passed through, everything else escaped or replaced, never dropped.
#include "cli/json.h"

namespace scourvane::cli
{

namespace
{
// The length of the well-formed UTF-8 sequence that starts at bytes[i], or 0 when none does
// (a stray continuation byte, an overlong form, a surrogate, beyond U+10FFFF, cut short).
size_t utf8SequenceLength(std::string_view bytes, size_t i)
{
    const unsigned char byte = static_cast<unsigned char>(bytes[i]);
    if (byte < 0x80) return 1;
    const size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 0;
    if (length == 0 || byte < 0xC2 || byte > 0xF4 || length > bytes.size() - i) return 0;
    for (size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return 0;
    const unsigned char second = static_cast<unsigned char>(bytes[i + 1]);
    if ((byte == 0xE0 && second < 0xA0) || (byte == 0xED && second >= 0xA0) ||
        (byte == 0xF0 && second < 0x90) || (byte == 0xF4 && second >= 0x90))
        return 0;
    return length;
}
} // namespace

bool isValidUtf8(std::string_view bytes)
{
    for (size_t i = 0; i < bytes.size();)
    {
        const size_t length = utf8SequenceLength(bytes, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::string jsonHex(std::string_view bytes)
{
    static constexpr char hex[] = "0123456789abcdef";
    std::string text = "\"";
    for (char c : bytes)
    {
        text.push_back(hex[static_cast<unsigned char>(c) >> 4]);
        text.push_back(hex[static_cast<unsigned char>(c) & 0xF]);
    }
    return text + "\"";
}

std::string jsonString(std::string_view bytes)
{
    static constexpr char hex[] = "0123456789abcdef";
    std::string text = "\"";
    size_t i = 0;
    while (i < bytes.size())
    {
        const size_t length = utf8SequenceLength(bytes, i);
        const unsigned char byte = static_cast<unsigned char>(bytes[i]);
        if (length == 0)
            text += "\\ufffd"; // not a character: replaced, so it never reads as another name
        else if (length > 1)
            text.append(bytes.substr(i, length));
        else if (byte == '"')
            text += "\\\"";
        else if (byte == '\\')
            text += "\\\\";
        else if (byte == '\n')
            text += "\\n";
        else if (byte == '\r')
            text += "\\r";
        else if (byte == '\t')
            text += "\\t";
        else if (byte < 0x20 || byte == 0x7F)
        {
            text += "\\u00";
            text.push_back(hex[byte >> 4]);
            text.push_back(hex[byte & 0xF]);
        }
        else
            text.push_back(static_cast<char>(byte));
        i += length == 0 ? 1 : length;
    }
    return text + "\"";
}

std::string jsonNameField(std::string_view key, std::string_view bytes)
{
    std::string text = "\"";
    text += key;
    text += "\":";
    text += jsonString(bytes);
    if (isValidUtf8(bytes)) return text;
    text += ",\"";
    text += key;
    text += "Bytes\":";
    text += jsonHex(bytes);
    return text;
}

} // namespace scourvane::cli
