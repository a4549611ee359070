// Synthetic models and the I/O floor. The generators use their own small
// generator rather than <random>'s distributions, whose output may differ between standard libraries,
// so a seed names the same data everywhere.
#include "bench/bench_support.h"

#include "model/byte_key_table.h"
#include "model/model_writer.h"
#include "support/part_helpers.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scourvane::bench
{

namespace
{

// splitmix64: tiny, fast and the same on every platform.
class SeededNumbers
{
  public:
    explicit SeededNumbers(uint64_t seed) : state(seed) {}

    uint64_t next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    uint32_t word() { return static_cast<uint32_t>(next() >> 32); }

    // Uniform enough below `bound` (bound > 0) for test data.
    uint32_t below(uint32_t bound) { return static_cast<uint32_t>((next() >> 32) * bound >> 32); }

  private:
    uint64_t state;
};

Vertex randomVertex(SeededNumbers& numbers)
{
    return Vertex{numbers.word(), numbers.word(), numbers.word()};
}

// A part's arrays while they are made, handed to the part at the end.
struct Built
{
    std::vector<Vertex> vertexes;
    std::vector<Face> faces;
    std::vector<uint16_t> indexes;
};

void addTriangle(Built& built, uint32_t colour, uint16_t a, uint16_t b, uint16_t c,
                 uint32_t textureId = noTexture)
{
    Face face;
    face.colourIndex = colour;
    face.textureId = textureId;
    face.indexCount = 3;
    built.indexes.insert(built.indexes.end(), {a, b, c});
    built.faces.push_back(face);
}

void nameAs(ObjectPart& part, const std::string& name)
{
    part.name = name;
    part.name.push_back('\0');
}

void settle(ObjectPart& part, const Built& built)
{
    part.setArrays(built.vertexes, built.faces, built.indexes);
}

// Hangs `parts` under `root` as its child and that child's sibling chain, in order.
void attachAsChildren(ObjectPart& root, std::vector<ObjectPart>& parts)
{
    std::unique_ptr<ObjectPart>* link = &root.child;
    for (ObjectPart& part : parts)
    {
        *link = std::make_unique<ObjectPart>(std::move(part));
        link = &(*link)->sibling;
    }
}

} // namespace

const char* mergeCaseName(MergeCase mergeCase)
{
    switch (mergeCase)
    {
    case MergeCase::allDifferent:
        return "all different";
    case MergeCase::allEqual:
        return "all equal";
    case MergeCase::fewPositions:
        return "256 positions";
    }
    return "?";
}

ObjectPart makeMergePart(MergeCase mergeCase, uint32_t vertexCount, uint32_t triangleCount, uint64_t seed)
{
    SeededNumbers numbers(seed);
    ObjectPart part;
    Built built;
    nameAs(part, "merge");
    built.vertexes.reserve(vertexCount);
    const Vertex single = randomVertex(numbers);
    std::vector<Vertex> positions;
    for (uint32_t i = 0; i < fewPositionCount; ++i)
        positions.push_back(Vertex{i, numbers.word(), numbers.word()});
    for (uint32_t i = 0; i < vertexCount; ++i)
    {
        switch (mergeCase)
        {
        case MergeCase::allDifferent:
            // x alone tells them apart; y and z keep the data from looking like a counter.
            built.vertexes.push_back(Vertex{i, numbers.word(), numbers.word()});
            break;
        case MergeCase::allEqual:
            built.vertexes.push_back(single);
            break;
        case MergeCase::fewPositions:
            built.vertexes.push_back(positions[i % fewPositionCount]);
            break;
        }
    }
    built.faces.reserve(triangleCount);
    for (uint32_t f = 0; f < triangleCount; ++f)
    {
        auto corner = [&] { return static_cast<uint16_t>(numbers.below(vertexCount)); };
        uint16_t a = corner(), b = corner(), c = corner();
        addTriangle(built, 1, a, b, c);
    }
    settle(part, built);
    return part;
}

ObjectPart makeSoupPart(uint32_t vertexCount, uint32_t distinctPositions, uint64_t seed)
{
    // Position k is a function of k alone, so no table of all possible positions is needed.
    auto position = [seed](uint32_t k)
    {
        SeededNumbers numbers(seed ^ (uint64_t{k} * 0xD6E8FEB86659FD93ull));
        return randomVertex(numbers);
    };
    SeededNumbers numbers(seed);
    ObjectPart part;
    Built built;
    nameAs(part, "soup");
    built.vertexes.reserve(vertexCount);
    for (uint32_t i = 0; i < vertexCount; ++i)
        built.vertexes.push_back(position(numbers.below(distinctPositions)));
    built.faces.reserve(vertexCount / 3);
    for (uint32_t v = 0; v + 2 < vertexCount; v += 3)
        addTriangle(built, 1 + v % 7, static_cast<uint16_t>(v), static_cast<uint16_t>(v + 1),
                    static_cast<uint16_t>(v + 2));
    settle(part, built);
    return part;
}

ObjectPart makeSoupModel(uint32_t partCount, uint32_t vertexesPerPart, uint32_t distinctPositions,
                         uint64_t seed)
{
    ObjectPart root = makeSoupPart(vertexesPerPart, distinctPositions, seed);
    std::vector<ObjectPart> children;
    for (uint32_t p = 1; p < partCount; ++p)
        children.push_back(makeSoupPart(vertexesPerPart, distinctPositions, seed + p * 0x1000193ull));
    attachAsChildren(root, children);
    return root;
}

ObjectPart makeLargeModel(uint64_t targetBytes, uint64_t seed)
{
    static const char* const textureNames[] = {"armhull01", "armhull02", "coremetal", "glass2",
                                               "legbarrel", "tread01",   "flames4",   "NOTEX"};
    SeededNumbers numbers(seed);
    auto makePart = [&](uint32_t number)
    {
        ObjectPart part;
        Built built;
        nameAs(part, "part" + std::to_string(number));
        std::vector<Vertex> positions(60000);
        for (Vertex& position : positions)
            position = randomVertex(numbers);
        built.vertexes.reserve(fullPartVertexes);
        for (uint32_t i = 0; i < fullPartVertexes; ++i)
            built.vertexes.push_back(positions[numbers.below(static_cast<uint32_t>(positions.size()))]);
        built.faces.reserve(fullPartVertexes);
        built.indexes.reserve(3 * size_t{fullPartVertexes});
        for (const char* name : textureNames) // ids 0 to 7 in every part
            part.addTextureName(name, static_cast<uint32_t>(std::strlen(name) + 1));
        for (uint32_t f = 0; f < fullPartVertexes; ++f)
        {
            auto corner = [&] { return static_cast<uint16_t>(numbers.below(fullPartVertexes)); };
            uint16_t a = corner(), b = corner(), c = corner();
            const uint32_t kind = numbers.below(100);
            // 90% textured, 5% coloured, 5% dead (colour 0, no texture).
            addTriangle(built, kind < 95 ? 1 + kind % 15 : 0, a, b, c,
                        kind < 90 ? numbers.below(8) : noTexture);
        }
        settle(part, built);
        if (number > 0) part.textureNames.reset(); // the ids are the root's, which holds the names
        return part;
    };

    ObjectPart root = makePart(0);
    const uint64_t perPart = modelImageSize(root);
    std::vector<ObjectPart> children;
    uint64_t total = perPart;
    for (uint32_t p = 1; total < targetBytes; ++p)
    {
        children.push_back(makePart(p));
        total += perPart;
    }
    attachAsChildren(root, children);
    return root;
}

ObjectPart copyTree(const ObjectPart& root)
{
    auto copyOwn = [](const ObjectPart& from)
    {
        ObjectPart to;
        to.version = from.version;
        to.protectedFace = from.protectedFace;
        to.positionX = from.positionX;
        to.positionY = from.positionY;
        to.positionZ = from.positionZ;
        to.name = from.name;
        to.reservedZero = from.reservedZero;
        to.setArrays(from.vertexes(), from.faces(), from.indexes());
        if (from.textureNames) to.textureNames = std::make_unique<ByteKeyTable>(*from.textureNames);
        return to;
    };
    ObjectPart copy = copyOwn(root);
    std::vector<std::pair<const ObjectPart*, ObjectPart*>> pending{{&root, &copy}};
    while (!pending.empty())
    {
        auto [from, to] = pending.back();
        pending.pop_back();
        if (from->sibling)
        {
            to->sibling = std::make_unique<ObjectPart>(copyOwn(*from->sibling));
            pending.emplace_back(from->sibling.get(), to->sibling.get());
        }
        if (from->child)
        {
            to->child = std::make_unique<ObjectPart>(copyOwn(*from->child));
            pending.emplace_back(from->child.get(), to->child.get());
        }
    }
    return copy;
}

bool rewriteFileInPlace(const std::string& path, std::vector<uint8_t>& buffer, bool syncFolder,
                        std::string& error)
{
    auto failed = [&](const char* what)
    {
        error = std::string(what) + " " + path + ": " + std::strerror(errno);
        return false;
    };
    int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return failed("cannot open");
    struct stat st;
    if (::fstat(in, &st) != 0)
    {
        ::close(in);
        return failed("cannot stat");
    }
    buffer.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < buffer.size())
    {
        ssize_t got = ::read(in, buffer.data() + done, buffer.size() - done);
        if (got <= 0)
        {
            ::close(in);
            return failed("cannot read");
        }
        done += static_cast<size_t>(got);
    }
    ::close(in);

    const std::string temporary = path + ".floor.tmp";
    int out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) return failed("cannot create");
    done = 0;
    while (done < buffer.size())
    {
        ssize_t put = ::write(out, buffer.data() + done, buffer.size() - done);
        if (put <= 0)
        {
            ::close(out);
            ::unlink(temporary.c_str());
            return failed("cannot write");
        }
        done += static_cast<size_t>(put);
    }
    if (::fsync(out) != 0)
    {
        ::close(out);
        ::unlink(temporary.c_str());
        return failed("cannot flush");
    }
    if (::close(out) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0)
    {
        ::unlink(temporary.c_str());
        return failed("cannot replace");
    }
    if (syncFolder)
    {
        const size_t slash = path.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
        int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0) return failed("cannot open the folder of");
        const bool synced = ::fsync(dir) == 0;
        ::close(dir);
        if (!synced) return failed("cannot flush the folder of");
    }
    return true;
}

} // namespace scourvane::bench
