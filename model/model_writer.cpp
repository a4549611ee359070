// The 3DO writer. A plan walks the tree once: the texture pool (each name used by a face, in the
// order the walk first meets it), the image's size and the offset of every part's header, which the
// links of the part before it need. The write walks the tree again in the same order and streams
// every record through a fixed piece buffer, so the image is never whole in memory.
#include "model/model_writer.h"

#include "model/byte_key_table.h"
#include "model/little_endian.h"
#include "model/model_format.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace scourvane
{

namespace
{

using format::faceRecordSize;
using format::FaceWord;
using format::headerSize;
using format::HeaderWord;
using format::indexSize;
using format::vertexSize;
constexpr uint64_t maxImageSize = format::firstUnreachableOffset;
constexpr uint32_t unused = 0xFFFFFFFFu;
constexpr size_t rootSlot = ~size_t{0};

inline uint32_t nameLength(const std::string& name)
{
    return name.empty() ? 1 : static_cast<uint32_t>(name.size());
}

// The records as the file stores them; each gives the position just past what it wrote.
inline uint8_t* putIndex(uint8_t* at, uint16_t index)
{
    store16(at, index);
    return at + indexSize;
}

// A part's whole index array: on a little-endian machine one copy.
inline uint8_t* putIndexes(uint8_t* at, std::span<const uint16_t> indexes)
{
    if constexpr (std::endian::native == std::endian::little)
    {
        if (!indexes.empty()) std::memcpy(at, indexes.data(), indexes.size() * indexSize);
        return at + indexes.size() * indexSize;
    }
    else
    {
        for (const uint16_t index : indexes)
            at = putIndex(at, index);
        return at;
    }
}

inline uint8_t* putVertex(uint8_t* at, const Vertex& vertex)
{
    store32(at, vertex.x);
    store32(at + 4, vertex.y);
    store32(at + 8, vertex.z);
    return at + vertexSize;
}

// A part's whole vertex array: on a little-endian machine one copy (a Vertex is its three words).
inline uint8_t* putVertexes(uint8_t* at, std::span<const Vertex> vertexes)
{
    static_assert(sizeof(Vertex) == vertexSize);
    if constexpr (std::endian::native == std::endian::little)
    {
        if (!vertexes.empty()) std::memcpy(at, vertexes.data(), vertexes.size() * vertexSize);
        return at + vertexes.size() * vertexSize;
    }
    else
    {
        for (const Vertex& vertex : vertexes)
            at = putVertex(at, vertex);
        return at;
    }
}

inline uint8_t* putFaceRecord(uint8_t* at, const Face& face, uint32_t indexPos, uint32_t textureOffset)
{
    store32(at + FaceWord::colourIndex, face.colourIndex);
    store32(at + FaceWord::indexCount, face.indexCount);
    store32(at + FaceWord::word2, face.faceWord2);
    store32(at + FaceWord::indexArrayOffset, indexPos);
    store32(at + FaceWord::textureNameOffset, textureOffset);
    store32(at + FaceWord::extra0, face.extra0);
    store32(at + FaceWord::extra1, face.extra1);
    store32(at + FaceWord::extra2, face.extra2);
    return at + faceRecordSize;
}

bool fail(SaveError* error, SaveResult result)
{
    if (error) error->result = result;
    return false;
}

// The walk of the writer: a part, then its sibling subtree, then its child subtree. `visit(part,
// slot)` gets the slot of links_ that must receive the part's header offset (rootSlot for the root).
template <typename Visit>
bool walkWithLinks(const ObjectPart& root, std::vector<std::pair<const ObjectPart*, size_t>>& stack,
                   Visit&& visit)
{
    stack.clear();
    stack.emplace_back(&root, rootSlot);
    size_t number = 0;
    while (!stack.empty())
    {
        const auto [part, slot] = stack.back();
        stack.pop_back();
        if (!visit(*part, slot)) return false;
        if (part->child) stack.emplace_back(part->child.get(), 2 * number + 1);
        if (part->sibling) stack.emplace_back(part->sibling.get(), 2 * number);
        ++number;
    }
    return true;
}

} // namespace

ModelImageWriter::ModelImageWriter() = default;
ModelImageWriter::~ModelImageWriter() = default;

bool ModelImageWriter::plan(const ObjectPart& root, SaveError* error)
{
    if (error) *error = SaveError{};
    root_ = &root;
    imageSize_ = 0;
    poolSize_ = 0;
    poolOrder_.clear();
    links_.clear();
    const ByteKeyTable* names = root.textureNames.get();
    const uint32_t nameCount = names ? names->count : 0;
    poolOffsetOfId_.assign(nameCount, unused);

    // Offsets here leave the pool out; every part but the root's header comes after it.
    uint64_t position = 0;
    uint64_t poolSize = 0;
    SaveResult problem = SaveResult::ok;
    walkWithLinks(root, stack_,
                  [&](const ObjectPart& part, size_t slot)
                  {
                      if (slot != rootSlot) links_[slot] = static_cast<uint32_t>(position);
                      links_.push_back(0);
                      links_.push_back(0);
                      uint64_t block = headerSize + uint64_t{part.vertexes().size()} * vertexSize +
                                       uint64_t{part.faces().size()} * faceRecordSize + nameLength(part.name);
                      // The faces' counts must cover the index array exactly: the write puts the
                      // array whole and gives each face the next `indexCount` of it.
                      uint64_t indexCounts = 0;
                      for (const Face& face : part.faces())
                      {
                          indexCounts += face.indexCount;
                          if (!face.hasTexture()) continue;
                          if (face.textureId >= nameCount) problem = SaveResult::invalidTree;
                          if (problem != SaveResult::ok) return false;
                          if (poolOffsetOfId_[face.textureId] != unused) continue;
                          poolOffsetOfId_[face.textureId] = static_cast<uint32_t>(poolSize);
                          poolOrder_.push_back(face.textureId);
                          poolSize += names->keyLengths[face.textureId];
                          if (poolSize >= maxImageSize) problem = SaveResult::tooLarge;
                      }
                      if (indexCounts != part.indexes().size()) problem = SaveResult::invalidTree;
                      block += indexCounts * indexSize;
                      position += block;
                      if (position + poolSize >= maxImageSize) problem = SaveResult::tooLarge;
                      return problem == SaveResult::ok;
                  });
    if (problem != SaveResult::ok)
    {
        root_ = nullptr;
        return fail(error, problem);
    }
    poolSize_ = static_cast<uint32_t>(poolSize);
    imageSize_ = position + poolSize;
    return true;
}

uint8_t* ModelImageWriter::room(size_t size)
{
    if (used_ + size > bufferSize_) flush();
    uint8_t* at = buffer_ + used_;
    used_ += size;
    return at;
}

void ModelImageWriter::putBytes(const void* bytes, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(bytes);
    while (size > 0)
    {
        if (used_ == bufferSize_) flush();
        const size_t take = std::min(size, bufferSize_ - used_);
        std::memcpy(buffer_ + used_, p, take);
        used_ += take;
        p += take;
        size -= take;
    }
}

void ModelImageWriter::flush()
{
    if (sink_ == nullptr)
    {
        // A caller's whole image is never flushed before its end, where it must be exactly full.
        if (used_ != bufferSize_) failed_ = true;
    }
    else if (used_ > 0 && !failed_ && !sink_(context_, buffer_, used_))
        failed_ = true;
    used_ = 0;
}

bool ModelImageWriter::write(ImageSink sink, void* context)
{
    if (!root_) return false;
    // Small images need only a small piece; 64 bytes hold the largest record written at once.
    const size_t wanted = static_cast<size_t>(std::clamp<uint64_t>(imageSize_, 64, imagePieceSize));
    if (pieceSize_ < wanted)
    {
        piece_ = std::make_unique_for_overwrite<uint8_t[]>(wanted);
        pieceSize_ = wanted;
    }
    buffer_ = piece_.get();
    bufferSize_ = pieceSize_;
    sink_ = sink;
    context_ = context;
    return writeRecords();
}

bool ModelImageWriter::writeInto(uint8_t* destination)
{
    if (!root_) return false;
    buffer_ = destination;
    bufferSize_ = static_cast<size_t>(imageSize_);
    sink_ = nullptr;
    context_ = nullptr;
    return writeRecords();
}

bool ModelImageWriter::writeRecords()
{
    used_ = 0;
    failed_ = false;
    const ObjectPart& root = *root_;
    const ByteKeyTable* names = root.textureNames.get();
    const uint32_t poolSize = poolSize_;
    uint32_t position = 0;
    size_t number = 0;
    walkWithLinks(
        root, stack_,
        [&](const ObjectPart& part, size_t)
        {
            const uint32_t headerPos = position;
            const auto indexBytes = static_cast<uint32_t>(part.indexes().size() * indexSize);
            const uint32_t indexStart = headerPos + headerSize + (&part == &root ? poolSize : 0);
            const auto vertexBytes = static_cast<uint32_t>(part.vertexes().size() * vertexSize);
            const auto faceBytes = static_cast<uint32_t>(part.faces().size() * faceRecordSize);
            const uint32_t vertexArrayPos = indexStart + indexBytes;
            const uint32_t faceArrayPos = vertexArrayPos + vertexBytes;
            const uint32_t namePos = faceArrayPos + faceBytes;
            auto textureOffsetOf = [&](const Face& face) -> uint32_t
            { return face.hasTexture() ? headerSize + poolOffsetOfId_[face.textureId] : 0; };
            const uint32_t siblingLink = links_[2 * number];
            const uint32_t childLink = links_[2 * number + 1];
            ++number;

            // The counts come from the arrays themselves, so a tree built by hand with a
            // stale count still gives a file that reads back as written.
            uint8_t* header = room(headerSize);
            store32(header + HeaderWord::version, part.version);
            store32(header + HeaderWord::vertexCount, static_cast<uint32_t>(part.vertexes().size()));
            store32(header + HeaderWord::faceCount, static_cast<uint32_t>(part.faces().size()));
            store32(header + HeaderWord::protectedFace, part.protectedFace);
            store32(header + HeaderWord::positionX, part.positionX);
            store32(header + HeaderWord::positionY, part.positionY);
            store32(header + HeaderWord::positionZ, part.positionZ);
            store32(header + HeaderWord::nameOffset, namePos);
            store32(header + HeaderWord::reservedZero, part.reservedZero);
            store32(header + HeaderWord::vertexArrayOffset, part.vertexes().empty() ? 0 : vertexArrayPos);
            store32(header + HeaderWord::faceArrayOffset, part.faces().empty() ? 0 : faceArrayPos);
            store32(header + HeaderWord::siblingOffset, siblingLink == 0 ? 0 : siblingLink + poolSize);
            store32(header + HeaderWord::childOffset, childLink == 0 ? 0 : childLink + poolSize);

            if (&part == &root)
                for (const uint32_t id : poolOrder_)
                    putBytes(names->keys[id].data(), names->keyLengths[id]);

            const uint32_t arrayBytes = indexBytes + vertexBytes + faceBytes;
            if (bufferSize_ - used_ >= arrayBytes)
            {
                // The usual case: the part's arrays fit in what is left of the piece, so
                // they go in without a check per record.
                uint8_t* at = buffer_ + used_;
                used_ += arrayBytes;
                at = putIndexes(at, part.indexes());
                at = putVertexes(at, part.vertexes());
                uint32_t indexPos = indexStart;
                for (const Face& face : part.faces())
                {
                    at = putFaceRecord(at, face, indexPos, textureOffsetOf(face));
                    indexPos += face.indexCount * indexSize;
                }
            }
            else
            {
                if constexpr (std::endian::native == std::endian::little)
                    putBytes(part.indexes().data(), indexBytes);
                else
                    for (const uint16_t index : part.indexes())
                        putIndex(room(indexSize), index);
                if constexpr (std::endian::native == std::endian::little)
                    putBytes(part.vertexes().data(), vertexBytes);
                else
                    for (const Vertex& vertex : part.vertexes())
                        putVertex(room(vertexSize), vertex);
                uint32_t indexPos = indexStart;
                for (const Face& face : part.faces())
                {
                    putFaceRecord(room(faceRecordSize), face, indexPos, textureOffsetOf(face));
                    indexPos += face.indexCount * indexSize;
                }
            }

            if (part.name.empty())
                *room(1) = 0;
            else
                putBytes(part.name.data(), part.name.size());
            position = namePos + nameLength(part.name);
            return !failed_;
        });
    flush();
    return !failed_;
}

bool ModelImageWriter::writeTo(platform::FileReplacement& file, platform::IoError* error)
{
    struct Target
    {
        platform::FileReplacement& file;
        platform::IoError* error;
    } target{file, error};
    return write(
        [](void* context, const uint8_t* bytes, size_t size)
        {
            auto& to = *static_cast<Target*>(context);
            return to.file.write(bytes, size, to.error);
        },
        &target);
}

bool ObjectPart::saveModelFile(const char* path, SaveError* error) const
{
    if (error) *error = SaveError{};
    ModelImageWriter& writer = threadImageWriter();
    if (!writer.plan(*this, error)) return false;
    platform::FileReplacement file;
    platform::IoError ioError;
    if (!file.begin(path, writer.imageSize(), &ioError) || !writer.writeTo(file, &ioError) ||
        !file.commit(nullptr, &ioError))
    {
        file.abandon();
        if (error)
        {
            error->result = SaveResult::ioFailed;
            error->ioError = ioError;
        }
        return false;
    }
    return true;
}

const char* describeSaveError(const SaveError& error)
{
    switch (error.result)
    {
    case SaveResult::ok:
        return "no error";
    case SaveResult::tooLarge:
        return "the cleaned model would be 2 GiB or more, which no reader could follow";
    case SaveResult::ioFailed:
        return platform::ioStepText(error.ioError.step);
    case SaveResult::invalidTree:
        return "a part's faces do not match its index array, or a face's texture is not in the pool";
    }
    return "unknown error";
}

} // namespace scourvane
