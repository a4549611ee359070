// Lays out a model image as outside editors save it, a part at a time: its header, name and
// vertexes, each face's indexes with a copy of its texture name of its own, then the face records.
#include "tools/editor_style_writer.h"

#include "model/model_format.h"

namespace scourvane::tools
{

namespace
{
class Image
{
  public:
    std::vector<uint8_t> bytes;

    uint32_t end() const { return static_cast<uint32_t>(bytes.size()); }

    uint32_t append32(uint32_t value)
    {
        const uint32_t at = end();
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<uint8_t>(value >> shift));
        return at;
    }

    void put32(uint32_t at, uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            bytes[at + static_cast<uint32_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
    }

    uint32_t appendBytes(const std::string& text)
    {
        const uint32_t at = end();
        bytes.insert(bytes.end(), text.begin(), text.end());
        return at;
    }

    uint32_t appendIndexes(const std::vector<uint16_t>& indexes)
    {
        const uint32_t at = end();
        for (uint16_t index : indexes)
        {
            bytes.push_back(static_cast<uint8_t>(index));
            bytes.push_back(static_cast<uint8_t>(index >> 8));
        }
        return at;
    }
};

using format::HeaderWord;

uint32_t writePart(Image& image, const ObjectPart& root, const ObjectPart& part)
{
    const uint32_t header = image.end();
    for (uint32_t word : {part.version, part.vertexCount, part.faceCount, part.protectedFace, part.positionX,
                          part.positionY, part.positionZ, 0u, part.reservedZero, 0u, 0u, 0u, 0u})
        image.append32(word);

    image.put32(header + HeaderWord::nameOffset,
                image.appendBytes(part.name.empty() ? std::string(1, '\0') : part.name));

    const uint32_t vertexes = image.end();
    for (const Vertex& vertex : part.vertexes())
    {
        image.append32(vertex.x);
        image.append32(vertex.y);
        image.append32(vertex.z);
    }
    image.put32(header + HeaderWord::vertexArrayOffset, vertexes);

    std::vector<uint32_t> indexArrays;
    std::vector<uint32_t> textureNames;
    size_t faceStart = 0;
    for (const Face& face : part.faces())
    {
        const auto indexes = part.indexes().subspan(faceStart, face.indexCount);
        faceStart += face.indexCount;
        indexArrays.push_back(image.appendIndexes({indexes.begin(), indexes.end()}));
        textureNames.push_back(face.hasTexture() ? image.appendBytes(std::string(root.textureNameOf(face)))
                                                 : 0);
    }

    const uint32_t faces = image.end();
    for (size_t i = 0; i < part.faces().size(); ++i)
    {
        const Face& face = part.faces()[i];
        for (uint32_t word : {face.colourIndex, face.indexCount, face.faceWord2, indexArrays[i],
                              textureNames[i], face.extra0, face.extra1, face.extra2})
            image.append32(word);
    }
    image.put32(header + HeaderWord::faceArrayOffset, faces);

    if (part.child) image.put32(header + HeaderWord::childOffset, writePart(image, root, *part.child));
    if (part.sibling) image.put32(header + HeaderWord::siblingOffset, writePart(image, root, *part.sibling));
    return header;
}
} // namespace

std::vector<uint8_t> editorStyleImage(const ObjectPart& root)
{
    Image image;
    writePart(image, root, root);
    return std::move(image.bytes);
}

} // namespace scourvane::tools
