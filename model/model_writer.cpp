// The 3DO writer. The whole image is planned first (texture pool and size), then filled in one
// pass over the tree in walk order, and written with one write through the safe replace.
#include "model/model_writer.h"

#include "model/byte_key_table.h"

#include <cstring>

namespace scourvane
{

namespace
{

constexpr uint32_t headerSize = 52;
constexpr uint64_t maxImageSize = uint64_t{1} << 31;
constexpr uint32_t noLink = 0xFFFFFFFFu;

inline void put32(uint8_t* p, uint32_t value)
{
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}

inline uint32_t nameLength(const std::string& name)
{
    return name.empty() ? 1 : static_cast<uint32_t>(name.size());
}

// The texture-name pool and the image size. Each distinct name is stored once, in the order the
// walk first meets it; `textureOffsets` holds, for every face in walk order, where its name stands
// in the pool (0 for a face without texture).
struct ImagePlan
{
    ByteKeyTable pool;
    uint64_t poolSize = 0;
    uint64_t imageSize = 0;
    std::vector<uint32_t> textureOffsets;
};

void planImage(const ObjectPart& root, ImagePlan& plan, bool wantOffsets)
{
    uint64_t size = 0;
    walkParts(root,
              [&](const ObjectPart& part)
              {
                  size += headerSize + uint64_t{part.vertexes.size()} * 12 +
                          uint64_t{part.faces.size()} * 32 + nameLength(part.name);
                  for (const Face& face : part.faces)
                  {
                      size += uint64_t{face.indexes.size()} * 2;
                      uint32_t offset = 0;
                      if (face.hasTexture())
                      {
                          const auto length = static_cast<uint32_t>(face.textureName.size());
                          uint32_t valueLength = 0;
                          const uint8_t* stored =
                              plan.pool.get(face.textureName.data(), length, &valueLength);
                          if (stored)
                          {
                              offset = static_cast<uint32_t>(stored[0] | stored[1] << 8 | stored[2] << 16) |
                                       static_cast<uint32_t>(stored[3]) << 24;
                          }
                          else
                          {
                              // Offsets past 2^32 only occur in images that are refused as too large anyway.
                              offset = static_cast<uint32_t>(headerSize + plan.poolSize);
                              uint8_t value[4];
                              put32(value, offset);
                              plan.pool.set(face.textureName.data(), length, value, 4);
                              plan.poolSize += length;
                          }
                      }
                      if (wantOffsets) plan.textureOffsets.push_back(offset);
                  }
              });
    plan.imageSize = size + plan.poolSize;
}

} // namespace

uint64_t modelImageSize(const ObjectPart& root)
{
    ImagePlan plan;
    planImage(root, plan, false);
    return plan.imageSize;
}

bool ObjectPart::buildModelImage(std::vector<uint8_t>& out) const
{
    out.clear();
    ImagePlan plan;
    planImage(*this, plan, true);
    if (plan.imageSize >= maxImageSize) return false;
    out.resize(static_cast<size_t>(plan.imageSize));
    uint8_t* const base = out.data();
    uint32_t pos = 0;
    size_t faceNumber = 0; // running face number in walk order, for textureOffsets
    std::vector<uint32_t> indexOffsets;

    // Pending parts with the position of the link field that must receive their header offset.
    // Walk order: a part, then its sibling subtree, then its child subtree; a part's sibling
    // therefore starts right where the part's block ends.
    std::vector<std::pair<const ObjectPart*, uint32_t>> pending{{this, noLink}};
    while (!pending.empty())
    {
        auto [part, linkField] = pending.back();
        pending.pop_back();
        const uint32_t headerPos = pos;
        if (linkField != noLink) put32(base + linkField, headerPos);
        pos += headerSize;

        if (part == this)
        {
            for (uint32_t slot = 0; slot < plan.pool.count; ++slot)
            {
                std::memcpy(base + pos, plan.pool.keys[slot].data(), plan.pool.keyLengths[slot]);
                pos += plan.pool.keyLengths[slot];
            }
        }

        indexOffsets.resize(part->faces.size());
        for (size_t i = 0; i < part->faces.size(); ++i)
        {
            indexOffsets[i] = pos;
            for (uint16_t index : part->faces[i].indexes)
            {
                base[pos] = static_cast<uint8_t>(index);
                base[pos + 1] = static_cast<uint8_t>(index >> 8);
                pos += 2;
            }
        }

        const uint32_t vertexArrayPos = part->vertexes.empty() ? 0 : pos;
        for (const Vertex& vertex : part->vertexes)
        {
            put32(base + pos, vertex.x);
            put32(base + pos + 4, vertex.y);
            put32(base + pos + 8, vertex.z);
            pos += 12;
        }

        const uint32_t faceArrayPos = part->faces.empty() ? 0 : pos;
        for (size_t i = 0; i < part->faces.size(); ++i)
        {
            const Face& face = part->faces[i];
            uint8_t* record = base + pos;
            put32(record + 0, face.colourIndex);
            put32(record + 4, static_cast<uint32_t>(face.indexes.size()));
            put32(record + 8, face.faceWord2);
            put32(record + 12, indexOffsets[i]);
            put32(record + 16, plan.textureOffsets[faceNumber++]);
            put32(record + 20, face.extra0);
            put32(record + 24, face.extra1);
            put32(record + 28, face.extra2);
            pos += 32;
        }

        const uint32_t namePos = pos;
        if (part->name.empty())
            base[pos++] = 0;
        else
        {
            std::memcpy(base + pos, part->name.data(), part->name.size());
            pos += static_cast<uint32_t>(part->name.size());
        }

        // The counts are written from the arrays themselves, so a tree built by hand with a stale
        // count still gives a file that reads back as written.
        uint8_t* header = base + headerPos;
        put32(header + 0, part->version);
        put32(header + 4, static_cast<uint32_t>(part->vertexes.size()));
        put32(header + 8, static_cast<uint32_t>(part->faces.size()));
        put32(header + 12, part->protectedFace);
        put32(header + 16, part->positionX);
        put32(header + 20, part->positionY);
        put32(header + 24, part->positionZ);
        put32(header + 28, namePos);
        put32(header + 32, part->reservedZero);
        put32(header + 36, vertexArrayPos);
        put32(header + 40, faceArrayPos);
        put32(header + 44, 0);
        put32(header + 48, 0);

        if (part->child) pending.emplace_back(part->child.get(), headerPos + 48);
        if (part->sibling) pending.emplace_back(part->sibling.get(), headerPos + 44);
    }
    return true;
}

bool ObjectPart::saveModelFile(const char* path, SaveError* error) const
{
    if (error) *error = SaveError{};
    std::vector<uint8_t> image;
    if (!buildModelImage(image))
    {
        if (error) error->result = SaveResult::tooLarge;
        return false;
    }
    platform::IoError ioError;
    if (!platform::replaceFileContents(path, image.data(), image.size(), &ioError))
    {
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
    }
    return "unknown error";
}

} // namespace scourvane
