// The bytes-to-bytes core: one model through the reader, the cleaner, the writer and the verifier.
#include "batch/clean_core.h"

#include "clean/part_cleaner.h"

#include <cstring>
#include <new>

namespace scourvane
{

namespace
{
int32_t lowWordOfSize(uint64_t size)
{
    return static_cast<int32_t>(static_cast<uint32_t>(size));
}

int32_t wrappingDifference(uint32_t before, uint32_t after)
{
    return static_cast<int32_t>(before - after);
}

// Where a comparison of the streamed image with bytes in memory has got to.
struct Comparison
{
    const uint8_t* bytes;
    size_t size;
    size_t position = 0;
};

bool comparePiece(void* context, const uint8_t* piece, size_t size)
{
    Comparison& comparison = *static_cast<Comparison*>(context);
    if (size > comparison.size - comparison.position ||
        std::memcmp(comparison.bytes + comparison.position, piece, size) != 0)
        return false;
    comparison.position += size;
    return true;
}
} // namespace

namespace
{
// A part's vertex and face counts, taken before cleaning.
struct PartCounts
{
    uint32_t vertexes;
    uint32_t faces;
};

// Each part's changes as the explainer sees them, and its counts, before cleaning.
std::vector<PartCounts> explainParts(const ObjectPart& root, std::vector<PartChanges>& parts)
{
    parts.clear();
    std::vector<PartCounts> counts;
    walkParts(root,
              [&](const ObjectPart& part)
              {
                  parts.push_back(explainPart(part));
                  counts.push_back({part.vertexCount, part.faceCount});
              });
    return counts;
}

// The removed counts taken from the tree itself once it is clean, so that the parts' figures add up
// to the model's whatever the explainer says.
void countRemoved(const ObjectPart& root, const std::vector<PartCounts>& before,
                  std::vector<PartChanges>& parts)
{
    size_t at = 0;
    walkParts(root,
              [&](const ObjectPart& part)
              {
                  parts[at].vertexesRemoved = wrappingDifference(before[at].vertexes, part.vertexCount);
                  parts[at].facesRemoved = wrappingDifference(before[at].faces, part.faceCount);
                  ++at;
              });
}
} // namespace

bool ModelCleaning::clean(const uint8_t* original, size_t size, LoadError& loadError, SaveError& saveError,
                          std::vector<PartChanges>* explanation)
{
    original_ = original;
    originalSize_ = size;
    if (!root_.loadModelBytes(original, size, &loadError)) return false;
    figures_.sizeBefore = lowWordOfSize(size);
    const uint32_t vertexesBefore = root_.countVertexes();
    const uint32_t facesBefore = root_.countFaces();
    const std::vector<PartCounts> before =
        explanation != nullptr ? explainParts(root_, *explanation) : std::vector<PartCounts>();
    cleanPart(root_);
    // Cleaning adds and removes no part, so the walk meets the parts in the same order again.
    if (explanation != nullptr) countRemoved(root_, before, *explanation);
    figures_.vertexChange = wrappingDifference(vertexesBefore, root_.countVertexes());
    figures_.faceChange = wrappingDifference(facesBefore, root_.countFaces());
    // The thread's writer, kept from model to model.
    writer_ = &threadImageWriter();
    if (!writer_->plan(root_, &saveError))
    {
        writer_ = nullptr;
        return false;
    }
    figures_.sizeAfter = lowWordOfSize(writer_->imageSize());
    figures_.changed = !imageEquals(original, size);
    return true;
}

uint64_t ModelCleaning::imageSize() const
{
    return writer_ != nullptr ? writer_->imageSize() : 0;
}

bool ModelCleaning::imageEquals(const uint8_t* bytes, size_t size)
{
    if (writer_ == nullptr || writer_->imageSize() != size) return false;
    Comparison comparison{bytes, size};
    return writer_->write(comparePiece, &comparison) && comparison.position == size;
}

bool ModelCleaning::writeImage(ImageSink sink, void* context)
{
    return writer_ != nullptr && writer_->write(sink, context);
}

bool ModelCleaning::buildImage(std::vector<uint8_t>& out)
{
    if (writer_ == nullptr) return false;
    out.resize(static_cast<size_t>(writer_->imageSize()));
    return writer_->writeInto(out.data());
}

void ModelCleaning::releaseTree()
{
    writer_ = nullptr;
    root_ = ObjectPart();
}

bool proveCleanedImage(const uint8_t* original, size_t originalSize, const uint8_t* image, size_t imageSize,
                       VerifyError& error)
{
    return verifyCleanedImage(original, originalSize, image, imageSize, &error);
}

namespace
{
void cleanAndProve(const uint8_t* original, size_t size, bool explain, CleanedModel& model)
{
    ModelCleaning cleaning;
    if (!cleaning.clean(original, size, model.loadError, model.saveError, explain ? &model.parts : nullptr))
    {
        model.figures = cleaning.figures();
        model.outcome =
            model.loadError.result != LoadResult::ok ? CoreOutcome::loadFailed : CoreOutcome::imageFailed;
        return;
    }
    model.failedWhileSaving = true;
    model.figures = cleaning.figures();
    // A model already clean is its own image: nothing to build, nothing to prove.
    if (!model.figures.changed)
    {
        model.outcome = CoreOutcome::cleaned;
        return;
    }
    cleaning.buildImage(model.image);
    // The tree goes before the proof, so that it and the proof's work are never in memory together.
    cleaning.releaseTree();
    if (!proveCleanedImage(original, size, model.image.data(), model.image.size(), model.verifyError))
    {
        std::vector<uint8_t>().swap(model.image);
        model.outcome = CoreOutcome::notSameDrawing;
        return;
    }
    model.outcome = CoreOutcome::cleaned;
}
} // namespace

CleanedModel cleanModelBytes(const uint8_t* original, size_t size, bool explain)
{
    CleanedModel model;
    // Running out of memory fails this model alone; everything it took is released on the way out.
    try
    {
        cleanAndProve(original, size, explain, model);
    }
    catch (const std::bad_alloc&)
    {
        std::vector<uint8_t>().swap(model.image);
        std::vector<PartChanges>().swap(model.parts);
        model.outcome = CoreOutcome::outOfMemory;
    }
    return model;
}

} // namespace scourvane
