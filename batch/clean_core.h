// One model from bytes to bytes: load, count, clean, count, lay the image out, prove it. No file
// system in it, so a loose model, a model from a pipe and a model inside an archive all go through
// the very same steps.
#pragma once

#include "clean/part_cleaner.h"
#include "model/model_reader.h"
#include "model/model_writer.h"
#include "model/object_part.h"
#include "verify/model_verifier.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace scourvane
{

// What cleaning did to one model, as the report counts it. Sizes are the low 32 bits of the byte
// counts; changes are before minus after, wrapping in 32 bits as the report's figures do.
struct CleanFigures
{
    int32_t sizeBefore = -1;
    int32_t sizeAfter = -1;
    int32_t vertexChange = 0;
    int32_t faceChange = 0;
    bool changed = false; // the cleaned image differs from the original's bytes
};

// One model held between the steps of its cleaning, so that a caller can send the image wherever it
// must go (memory, a new file) without it ever being whole in memory twice. The original's bytes
// must stay valid and unchanged while the object is in use.
class ModelCleaning
{
  public:
    ModelCleaning() = default;
    ModelCleaning(const ModelCleaning&) = delete;
    ModelCleaning& operator=(const ModelCleaning&) = delete;

    // Loads `size` bytes at `original`, cleans the tree and plans its image. False, with the reason
    // in `loadError` or `saveError`, when the bytes are no model or the cleaned tree has no image;
    // the figures are then those found so far. With `explanation`, it receives each part's changes
    // in the image's part order, their removed counts taken from the tree before and after, so
    // that they add up to the figures.
    bool clean(const uint8_t* original, size_t size, LoadError& loadError, SaveError& saveError,
               std::vector<PartChanges>* explanation = nullptr);

    const CleanFigures& figures() const { return figures_; }
    uint64_t imageSize() const;

    // True when the planned image is exactly `size` bytes at `bytes`; nothing is built to find out.
    bool imageEquals(const uint8_t* bytes, size_t size);

    // Hands the image to `sink` in pieces (see ModelImageWriter::write). False when the sink refused.
    bool writeImage(ImageSink sink, void* context);

    // The whole image in `out` (resized to it).
    bool buildImage(std::vector<uint8_t>& out);

    // Frees the tree; the image can no longer be written, the figures stay.
    void releaseTree();

  private:
    ObjectPart root_;
    ModelImageWriter* writer_ = nullptr; // the thread's writer, planned for root_
    const uint8_t* original_ = nullptr;
    size_t originalSize_ = 0;
    CleanFigures figures_;
};

// The verifier's verdict on a cleaned image: true when it draws what the original drew.
bool proveCleanedImage(const uint8_t* original, size_t originalSize, const uint8_t* image, size_t imageSize,
                       VerifyError& error);

enum class CoreOutcome : uint8_t
{
    cleaned,        // loaded, cleaned and proved; the image is the cleaned model
    loadFailed,     // the bytes are no model the reader accepts (loadError)
    imageFailed,    // the cleaned tree has no image (saveError)
    notSameDrawing, // the verifier refused the cleaned image (verifyError)
    outOfMemory,    // the model needs more memory than there is (see failedWhileSaving)
};

// Everything the core found out about one model.
struct CleanedModel
{
    CoreOutcome outcome = CoreOutcome::loadFailed;
    CleanFigures figures;
    // The cleaned, proved image when it differs from the original; empty when figures.changed is
    // false (the original's bytes are then the cleaned model) or the outcome is not `cleaned`.
    std::vector<uint8_t> image;
    LoadError loadError;
    SaveError saveError;
    VerifyError verifyError;
    bool failedWhileSaving = false; // with outOfMemory: the load and the cleaning were done
    std::vector<PartChanges> parts; // each part's changes, when asked for and the model loaded
};

// Cleans the model in `size` bytes at `original` and proves the result: the bytes-to-bytes core.
// Never fails as a whole: every failure, running out of memory included, is an outcome. With
// `explain`, the result's `parts` tell what each part lost (see ModelCleaning::clean).
CleanedModel cleanModelBytes(const uint8_t* original, size_t size, bool explain = false);

} // namespace scourvane
