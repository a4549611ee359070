// The 3DO writer: lays the whole tree out afresh with one copy of each texture name and streams the
// image out in pieces of bounded size, through a safe replace. ObjectPart::saveModelFile is declared
// in object_part.h.
//
// Layout, part by part in walk order (a part, its sibling subtree, its child subtree), no gaps:
// header (52 bytes); for the root only, the pool of distinct texture names in first-met order;
// the index arrays of the part's faces; the vertex array; the face array; the part's name (a single
// NUL for a part that was never loaded).
#pragma once

#include "model/object_part.h"
#include "platform/file_io.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace scourvane
{

enum class SaveResult : uint8_t
{
    ok,
    tooLarge,    // the image would reach 2^31 bytes
    ioFailed,    // the file could not be replaced (see ioError); the old file is intact
    invalidTree, // a part's index counts do not sum to its indexTotal, or a texture id is not in the pool
};

struct SaveError
{
    SaveResult result = SaveResult::ok;
    platform::IoError ioError;
};

// The largest piece a ModelImageWriter hands its sink.
inline constexpr size_t imagePieceSize = size_t{1} << 20;

// Receives the image's pieces in order; returns false to stop the write.
using ImageSink = bool (*)(void* context, const uint8_t* bytes, size_t size);

// Plans a tree's image (its size, the texture pool, where every part goes), then streams it in
// pieces of at most imagePieceSize bytes. One writer may serve many models: its buffers are kept.
class ModelImageWriter
{
  public:
    ModelImageWriter();
    ~ModelImageWriter();
    ModelImageWriter(const ModelImageWriter&) = delete;
    ModelImageWriter& operator=(const ModelImageWriter&) = delete;

    // Plans the image of the tree rooted at `root`. False, with the reason in `error` when given,
    // when it would reach 2^31 bytes or the tree breaks the model's invariants.
    bool plan(const ObjectPart& root, SaveError* error = nullptr);

    // The exact size of the planned image.
    uint64_t imageSize() const { return imageSize_; }

    // Hands the planned image to `sink` piece by piece, one call per piece, each of at most
    // imagePieceSize bytes; the pieces together are exactly imageSize() bytes. The tree must not
    // change between plan and write. False as soon as the sink returns false.
    bool write(ImageSink sink, void* context);

    // Writes the planned image straight into `destination`, which holds imageSize() bytes: for a
    // caller that wants the whole image in memory, with no piece copied into it.
    bool writeInto(uint8_t* destination);

    // Writes the planned image into `file`, begun by the caller, piece by piece. False with `error`
    // when a write failed; the caller then abandons `file`.
    bool writeTo(platform::FileReplacement& file, platform::IoError* error = nullptr);

  private:
    const ObjectPart* root_ = nullptr;
    uint64_t imageSize_ = 0;
    uint32_t poolSize_ = 0;
    std::vector<uint32_t> poolOffsetOfId_; // by texture id: offset in the pool, or none when unused
    std::vector<uint32_t> poolOrder_;      // ids in the order the walk first meets them
    std::vector<uint32_t> links_;          // per part in walk order: sibling and child header offsets
    std::vector<std::pair<const ObjectPart*, size_t>> stack_; // the walk's pending parts
    std::unique_ptr<uint8_t[]> piece_;
    size_t pieceSize_ = 0;      // at most imagePieceSize; no larger than the largest image written
    uint8_t* buffer_ = nullptr; // where the records go: the piece, or a caller's whole image
    size_t bufferSize_ = 0;
    size_t used_ = 0;
    ImageSink sink_ = nullptr; // none while writing into a caller's whole image
    void* context_ = nullptr;
    bool failed_ = false;

    bool writeRecords();
    uint8_t* room(size_t size);
    void putBytes(const void* bytes, size_t size);
    void flush();
};

// A writer the calling thread keeps from model to model (model/part_storage.h; releaseModelBuffers
// frees it); saveModelFile uses it too.
ModelImageWriter& threadImageWriter();

// A readable sentence for a failed save.
const char* describeSaveError(const SaveError& error);

} // namespace scourvane
