#include "support/test_support.h"

#include "support/part_helpers.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace scourvane::test
{

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    std::error_code ec;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    fs::path base = fs::temp_directory_path(ec);
    if (ec) base = ".";
    for (;;)
    {
        fs::path candidate =
            base / ("scourvane-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        if (fs::create_directory(candidate, ec))
        {
            path_ = candidate.string();
            return;
        }
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Undo read-only marks that a test may have left, so everything can go.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string TempDir::file(const std::string& name) const
{
    return (fs::path(path_) / name).string();
}

#ifndef _WIN32
int inChild(const std::function<int()>& body)
{
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) ::_exit(body());
    int status = 0;
    if (::waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int asNobody(const std::function<int()>& body)
{
    return inChild(
        [&]
        {
            if (::setgroups(0, nullptr) != 0 || ::setegid(nobody) != 0 || ::seteuid(nobody) != 0) return 99;
            return body();
        });
}
#endif

std::string corpusDir()
{
    std::error_code ec;
    const char* fromEnvironment = std::getenv("SCOURVANE_CORPUS_DIR");
    std::string dir = fromEnvironment && *fromEnvironment ? fromEnvironment : SCOURVANE_CORPUS_DIR;
    return fs::is_directory(dir, ec) ? dir : std::string();
}

std::vector<std::string> corpusFiles()
{
    std::vector<std::string> files;
    const std::string dir = corpusDir();
    if (dir.empty()) return files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec))
    {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (entry.is_regular_file() && extension == ".3do") files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<uint8_t> readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void RawFile::put32(uint32_t offset, uint32_t value)
{
    if (bytes.size() < size_t{offset} + 4) bytes.resize(size_t{offset} + 4);
    for (int i = 0; i < 4; ++i)
        bytes[offset + static_cast<uint32_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

void RawFile::put16(uint32_t offset, uint16_t value)
{
    if (bytes.size() < size_t{offset} + 2) bytes.resize(size_t{offset} + 2);
    bytes[offset] = static_cast<uint8_t>(value);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

uint32_t RawFile::get32(uint32_t offset) const
{
    return static_cast<uint32_t>(bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16) |
           static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

uint32_t RawFile::append(const void* data, size_t length)
{
    const uint32_t at = size();
    const auto* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + length);
    return at;
}

uint32_t RawFile::appendName(const std::string& text)
{
    return append(text.c_str(), text.size() + 1);
}

uint32_t RawFile::appendZeros(size_t length)
{
    const uint32_t at = size();
    bytes.resize(bytes.size() + length, 0);
    return at;
}

void RawFile::writeHeader(uint32_t offset, const Header& h)
{
    const uint32_t words[13] = {h.version,      h.vertexCount,       h.faceCount,       h.protectedFace,
                                h.positionX,    h.positionY,         h.positionZ,       h.nameOffset,
                                h.reservedZero, h.vertexArrayOffset, h.faceArrayOffset, h.siblingOffset,
                                h.childOffset};
    for (uint32_t i = 0; i < 13; ++i)
        put32(offset + 4 * i, words[i]);
}

uint32_t RawFile::appendHeader(const Header& header)
{
    const uint32_t at = appendZeros(52);
    writeHeader(at, header);
    return at;
}

uint32_t RawFile::appendFaces(const std::vector<FaceRecord>& faces)
{
    const uint32_t at = size();
    for (const FaceRecord& f : faces)
    {
        const uint32_t base = appendZeros(32);
        const uint32_t words[8] = {f.colourIndex,       f.indexCount, f.faceWord2, f.indexArrayOffset,
                                   f.textureNameOffset, f.extra0,     f.extra1,    f.extra2};
        for (uint32_t i = 0; i < 8; ++i)
            put32(base + 4 * i, words[i]);
    }
    return at;
}

uint32_t RawFile::appendVertexes(const std::vector<Vertex>& vertexes)
{
    const uint32_t at = size();
    for (const Vertex& v : vertexes)
    {
        const uint32_t base = appendZeros(12);
        put32(base, v.x);
        put32(base + 4, v.y);
        put32(base + 8, v.z);
    }
    return at;
}

uint32_t RawFile::appendIndexes(const std::vector<uint16_t>& indexes)
{
    const uint32_t at = size();
    for (uint16_t index : indexes)
        put16(appendZeros(2), index);
    return at;
}

RawFile trianglePart()
{
    RawFile file;
    file.appendHeader({});
    RawFile::Header h;
    h.nameOffset = file.appendName("base");
    h.vertexCount = 3;
    h.vertexArrayOffset = file.appendVertexes({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
    const uint32_t indexes = file.appendIndexes({0, 1, 2});
    const uint32_t texture = file.appendName("tex");
    h.faceCount = 1;
    h.faceArrayOffset = file.appendFaces({{5, 3, 0, indexes, texture, 0, 0, 0}});
    file.writeHeader(0, h);
    return file;
}

std::unique_ptr<ObjectPart> makePart(const std::string& name)
{
    auto part = std::make_unique<ObjectPart>();
    part->name = name + '\0';
    return part;
}

FaceSpec makeFace(uint32_t colour, std::vector<uint16_t> indexes, const std::string& texture)
{
    return FaceSpec{colour, std::move(indexes), texture};
}

void setVertexes(ObjectPart& part, std::vector<Vertex> vertexes)
{
    const std::vector<Face> faces(part.faces().begin(), part.faces().end());
    const std::vector<uint16_t> indexes(part.indexes().begin(), part.indexes().end());
    part.setArrays(vertexes, faces, indexes);
}

void addFace(ObjectPart& part, const FaceSpec& spec, ObjectPart* root)
{
    Face face;
    face.colourIndex = spec.colour;
    if (!spec.texture.empty())
    {
        const std::string name = spec.texture + '\0';
        face.textureId =
            (root ? *root : part).addTextureName(name.data(), static_cast<uint32_t>(name.size()));
    }
    face.indexCount = static_cast<uint32_t>(spec.indexes.size());
    // Copies the arrays for every face: parts built by hand are small.
    std::vector<Face> faces(part.faces().begin(), part.faces().end());
    faces.push_back(face);
    std::vector<uint16_t> indexes(part.indexes().begin(), part.indexes().end());
    indexes.insert(indexes.end(), spec.indexes.begin(), spec.indexes.end());
    const std::vector<Vertex> vertexes(part.vertexes().begin(), part.vertexes().end());
    part.setArrays(vertexes, faces, indexes);
}

std::vector<uint16_t> indexesOf(const ObjectPart& part, size_t number)
{
    // Found by summing the counts of the faces before it; empty when the counts run past the array.
    uint64_t first = 0;
    for (const Face& face : part.faces().first(number))
        first += face.indexCount;
    const uint32_t count = part.faces()[number].indexCount;
    if (first > part.indexTotal || count > part.indexTotal - first) return {};
    const auto indexes = part.indexes().subspan(static_cast<size_t>(first), count);
    return {indexes.begin(), indexes.end()};
}

std::vector<uint8_t> dirtyModel()
{
    auto part = makePart("p");
    setVertexes(*part, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}});
    addFace(*part, makeFace(0, {0, 1, 2}, "T"));
    addFace(*part, makeFace(0, {0, 1, 3}));
    std::vector<uint8_t> image;
    if (!buildModelImage(*part, image)) image.clear(); // no test passes on an empty model
    return image;
}

} // namespace scourvane::test
