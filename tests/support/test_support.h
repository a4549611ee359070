// Helpers shared by the tests: scratch folders, the real-model corpus, hand-laid 3DO bytes.
#pragma once

#include "model/object_part.h"
#include "support/part_helpers.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace scourvane::test
{

// A fresh, empty folder removed with everything in it when the object dies.
class TempDir
{
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const;

  private:
    std::string path_;
};

// The folder of real models, or "" when it is not there (a user's machine).
std::string corpusDir();
// Paths of every *.3do in the corpus, sorted; empty when the corpus is absent.
std::vector<std::string> corpusFiles();

#ifndef _WIN32
// Runs `body` in a child process and returns its exit status: 128 plus the signal when one ended it,
// -1 when it could not be started or waited for.
int inChild(const std::function<int()>& body);
// The user nobody, and `inChild` as that user in no group but its own (99 when it cannot become them).
constexpr unsigned nobody = 65534;
int asNobody(const std::function<int()>& body);
#endif

std::vector<uint8_t> readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Lays out 3DO records by hand, at chosen offsets, for files the writer would never make.
class RawFile
{
  public:
    std::vector<uint8_t> bytes;

    uint32_t size() const { return static_cast<uint32_t>(bytes.size()); }
    void put32(uint32_t offset, uint32_t value);
    void put16(uint32_t offset, uint16_t value);
    uint32_t get32(uint32_t offset) const;
    // Appends raw bytes and returns where they start.
    uint32_t append(const void* data, size_t length);
    uint32_t appendName(const std::string& text); // text plus its NUL
    uint32_t appendZeros(size_t length);

    struct Header
    {
        uint32_t version = 1;
        uint32_t vertexCount = 0;
        uint32_t faceCount = 0;
        uint32_t protectedFace = 0xFFFFFFFFu;
        uint32_t positionX = 0, positionY = 0, positionZ = 0;
        uint32_t nameOffset = 0;
        uint32_t reservedZero = 0;
        uint32_t vertexArrayOffset = 0;
        uint32_t faceArrayOffset = 0;
        uint32_t siblingOffset = 0;
        uint32_t childOffset = 0;
    };
    struct FaceRecord
    {
        uint32_t colourIndex = 0;
        uint32_t indexCount = 0;
        uint32_t faceWord2 = 0;
        uint32_t indexArrayOffset = 0;
        uint32_t textureNameOffset = 0;
        uint32_t extra0 = 0, extra1 = 0, extra2 = 0;
    };
    uint32_t appendHeader(const Header& header);
    void writeHeader(uint32_t offset, const Header& header);
    uint32_t appendFaces(const std::vector<FaceRecord>& faces);
    uint32_t appendVertexes(const std::vector<Vertex>& vertexes);
    uint32_t appendIndexes(const std::vector<uint16_t>& indexes);
};

// One part "base": three vertexes, their indexes, the texture name "tex" and, last, one textured
// triangle of colour 5.
RawFile trianglePart();

// A part with a name (text plus NUL) and no data, for building trees by hand.
std::unique_ptr<ObjectPart> makePart(const std::string& name);
// What a face holds, for building trees by hand: a colour, indexes and a texture name ("" for none;
// the NUL is added when the face is added).
struct FaceSpec
{
    uint32_t colour = 0;
    std::vector<uint16_t> indexes;
    std::string texture;
};
FaceSpec makeFace(uint32_t colour, std::vector<uint16_t> indexes, const std::string& texture = "");

// One textured triangle plus a copy of vertex 0 and a dead face using it: a 180-byte model that
// cleaning shrinks to 130 bytes, and that names the texture "T".
std::vector<uint8_t> dirtyModel();
// Sets vertexes and keeps vertexCount in step.
void setVertexes(ObjectPart& part, std::vector<Vertex> vertexes);
// Appends a face to `part`; its texture name goes into the pool of `root` (the part itself when null).
void addFace(ObjectPart& part, const FaceSpec& face, ObjectPart* root = nullptr);
// The indexes of face `number` of `part`, as a vector to compare.
std::vector<uint16_t> indexesOf(const ObjectPart& part, size_t number);

} // namespace scourvane::test
