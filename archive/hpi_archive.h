// TA's archive container (.hpi .ufo .ccx .gp3) held in memory: a header in the clear, everything
// after it enciphered by position, a directory tree of folders and files, files stored plain or cut
// into 64 KiB chunks compressed with LZ77 or zlib, and a copyright line at the end.
#pragma once

#include "archive/archive_result.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace scourvane::archive
{

inline constexpr uint32_t kHpiVersion = 0x00010000;
inline constexpr size_t kHpiHeaderSize = 20;
inline constexpr size_t kHpiTrailerSize = 36;
inline constexpr size_t kHpiChunkSize = 65536;
inline constexpr size_t kHpiChunkHeaderSize = 19;
inline constexpr unsigned kHpiMaxDepth = 64;

struct HpiFile
{
    std::string path;        // folder names and the file's name joined with '/', as stored
    uint32_t dataOffset = 0; // plain data, or the chunk table followed by the chunks
    uint32_t size = 0;       // unpacked
    uint8_t method = 0;      // 0 stored, 1 LZ77, 2 zlib
    uint32_t storedEnd = 0;  // after the data or the last chunk
    uint8_t encodedFlag = 1; // the first chunk's "encoded" flag, reused for a replacement
};

class HpiArchive
{
  public:
    // Reads the header, the whole directory (iteratively, depth and cycles checked) and every
    // file's chunk table and chunk headers, with every chunk's byte sum checked. `data` must outlive
    // the object and stay unchanged. Refuses saved games, TA: Kingdoms archives and other versions.
    ArchiveError open(const uint8_t* data, size_t size);

    // Files in directory order (each folder's entries in order, a folder's files where it stands).
    const std::vector<HpiFile>& files() const { return files_; }
    uint32_t key() const { return key_; }
    bool hasTrailer() const { return trailer_; }

    // The file's unpacked bytes: every chunk decoded with its own method, output bounded by the
    // declared sizes.
    ArchiveError read(size_t index, std::vector<uint8_t>& out) const;

    // At most the first `count` bytes of file `index` (fewer when it is shorter): only the chunks
    // that hold them are decoded.
    ArchiveError readStart(size_t index, size_t count, std::vector<uint8_t>& out) const;

    // The file's bytes as stored, deciphered but not decoded: what a rewrite must carry unchanged.
    void storedBytes(size_t index, std::vector<uint8_t>& out) const;

    // `size` bytes of file `index`'s stored form from `from` on (within its stored length),
    // deciphered into `out`: for comparing files a piece at a time.
    void storedRange(size_t index, size_t from, size_t size, uint8_t* out) const;

    // A new image: same version, key, folder order and names, the directory at offset 20, then each
    // file in order. Untouched files keep their method and chunks (enciphered anew for their new
    // place); a replaced file is written with its own method, cut into 64 KiB chunks. The trailing
    // copyright line is kept as it was.
    ArchiveError rewrite(std::span<const Replacement> replacements, std::vector<uint8_t>& out) const;

  private:
    struct Item
    {
        std::string name;
        uint8_t flag = 0;  // as stored; bit 0 marks a folder
        size_t target = 0; // a folder's node, or a file's index
    };
    struct Node
    {
        size_t firstItem = 0;
        size_t itemCount = 0;
    };

    struct DirectoryWalk;

    void decipher(size_t position, size_t length, uint8_t* out) const;
    uint32_t load32At(size_t position) const;

    // The steps of open, each failing with the first fault it finds: the header in the clear and
    // the directory's bounds; the directory, every node, entry, name and record inside them, each
    // node entered once and entries counted against what the directory could hold; each file's
    // chunks; and that no file shares bytes with another or with the directory.
    ArchiveResult readHeader(DirectoryWalk& walk);
    ArchiveError walkDirectory(DirectoryWalk& walk);
    ArchiveResult enterNode(DirectoryWalk& walk, uint32_t nodeAt, const std::string& path);
    ArchiveResult readName(const DirectoryWalk& walk, uint32_t nameAt, std::string& name) const;
    ArchiveError checkFileStorage(HpiFile& file) const;
    ArchiveError checkOverlaps(const DirectoryWalk& walk) const;

    // The steps of rewrite: which replacement each file takes (refusing an archive whose rewrite
    // would lose bytes), the directory laid out in the clear, then the files.
    ArchiveError mapReplacements(std::span<const Replacement> replacements,
                                 std::vector<const Replacement*>& replacementOf) const;
    void layDirectory(std::vector<uint8_t>& out, std::vector<size_t>& recordAt) const;
    ArchiveError appendFiles(const std::vector<const Replacement*>& replacementOf,
                             const std::vector<size_t>& recordAt, std::vector<uint8_t>& out) const;

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t dataEnd_ = 0; // where the trailer starts, or the end
    uint32_t key_ = 0;
    uint8_t cipher_ = 0;
    bool ciphered_ = false;
    bool trailer_ = false;
    std::vector<HpiFile> files_;
    std::vector<Node> nodes_; // nodes_[0] is the root
    std::vector<Item> items_;
};

} // namespace scourvane::archive
