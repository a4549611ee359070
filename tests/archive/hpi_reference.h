// A second, small reader and writer of TA's container, written for the tests from the format
// documents alone and sharing nothing with the product's, so each checks the other.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace scourvane::test
{

struct RefHpiFile
{
    std::string path;            // folders joined with '/'
    std::vector<uint8_t> bytes;  // unpacked
    int method = 0;              // 0 stored, 1 LZ77, 2 zlib
    bool encoded = false;        // chunk payloads scrambled
    std::vector<uint8_t> stored; // reader only: the file's stored bytes, deciphered
};

struct RefHpi
{
    uint32_t version = 0x00010000;
    uint32_t key = 0;
    bool trailer = true;
    std::vector<RefHpiFile> files; // in directory order
};

// Lays the archive out unlike the product does: file data first, then the directory (names, then
// records, then tables and nodes, innermost folder first), then the copyright line.
std::vector<uint8_t> refWriteHpi(const RefHpi& archive);

// Reads an archive the tests trust; "" or what was wrong. Fills `archive`.
std::string refReadHpi(const std::vector<uint8_t>& image, RefHpi& archive);

} // namespace scourvane::test
