// Reading what comes on standard input, and the paths of --files-from lists.
#include "cli/cli.h"

#include <algorithm>

#include "platform/file_io.h"

#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace scourvane::cli
{

namespace
{
// A list longer than this is no list of paths a person or a find could mean; refusing it keeps a
// runaway producer from filling memory.
constexpr uint64_t maxListSize = uint64_t{256} << 20;
} // namespace

void setBinaryMode(std::FILE* stream)
{
#ifdef _WIN32
    // Text mode would turn CR LF into LF and stop at the first Ctrl+Z: a model's bytes must pass whole.
    _setmode(_fileno(stream), _O_BINARY);
#else
    (void)stream;
#endif
}

InputRead readAllInput(std::FILE* stream, uint64_t maxSize, std::vector<uint8_t>& bytes)
{
    setBinaryMode(stream);
    std::vector<uint8_t> chunk(64 * 1024);
    for (;;)
    {
        const size_t got = std::fread(chunk.data(), 1, chunk.size(), stream);
        if (got > maxSize - bytes.size()) return InputRead::tooLarge;
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
        if (got < chunk.size()) return std::ferror(stream) != 0 ? InputRead::failed : InputRead::ok;
    }
}

bool readPathList(const std::string& source, bool nulSeparated, std::vector<std::string>& paths,
                  std::string& error)
{
    std::vector<uint8_t> bytes;
    if (source == "-")
    {
        const InputRead read = readAllInput(stdin, maxListSize, bytes);
        if (read != InputRead::ok)
        {
            error = read == InputRead::tooLarge ? "the file list on standard input is larger than 256 MiB"
                                                : "cannot read the file list on standard input";
            return false;
        }
    }
    else
    {
        platform::IoError ioError;
        if (!platform::readWholeFile(source.c_str(), bytes, maxListSize, &ioError))
        {
            error = "cannot read the file list ";
            error += source;
            error += ": ";
            error += ioError.step == platform::IoStep::tooLarge ? "it is larger than 256 MiB"
                                                                : platform::describeIoError(ioError);
            return false;
        }
    }
    // One name a line (a CR before the LF is a Windows editor's, not the name's), or one name before
    // each NUL; empty entries name nothing.
    const char separator = nulSeparated ? '\0' : '\n';
    size_t start = 0;
    while (start < bytes.size())
    {
        size_t end = start;
        while (end < bytes.size() && static_cast<char>(bytes[end]) != separator)
            ++end;
        size_t nameEnd = end;
        if (!nulSeparated && nameEnd > start && bytes[nameEnd - 1] == '\r') --nameEnd;
        // No name on any system holds a NUL: a line with one is a list made wrong (-0 forgotten),
        // and the name the system would open is not the one the patterns would see.
        if (std::find(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                      bytes.begin() + static_cast<std::ptrdiff_t>(nameEnd),
                      uint8_t{0}) != bytes.begin() + static_cast<std::ptrdiff_t>(nameEnd))
        {
            error = "the file list " + source +
                    " has a NUL byte inside a line (use -0 for a list that ends names with NUL)";
            return false;
        }
        if (nameEnd > start)
            paths.emplace_back(reinterpret_cast<const char*>(bytes.data()) + start, nameEnd - start);
        start = end + 1;
    }
    return true;
}

} // namespace scourvane::cli
