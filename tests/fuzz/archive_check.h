// Checks over the archive readers for the fuzz targets and the replay of their findings: any bytes
// opened as a zip or TA archive must be refused with a reason or read whole, and an archive that
// opens must rewrite into one that verifies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace scourvane::fuzz
{

// "" when the properties hold, else what broke.
std::string checkZipArchive(const uint8_t* data, size_t size);
std::string checkHpiArchive(const uint8_t* data, size_t size);

} // namespace scourvane::fuzz
