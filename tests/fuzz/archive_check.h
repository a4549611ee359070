// Checks over the archive and GAF readers for the fuzz targets and the replay of their findings: any
// bytes opened as a zip or TA archive must be refused with a reason or read whole, and an archive that
// opens must rewrite into one that verifies; a GAF file read must give one name per table entry, none
// longer than its 32-byte field, and a failure no names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace scourvane::fuzz
{

// "" when the properties hold, else what broke.
std::string checkZipArchive(const uint8_t* data, size_t size);
std::string checkHpiArchive(const uint8_t* data, size_t size);
std::string checkGafNames(const uint8_t* data, size_t size);

} // namespace scourvane::fuzz
