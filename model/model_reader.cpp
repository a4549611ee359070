// The 3DO reader. The whole file is read with one read and parsed from memory; every count and
// offset is checked against the file's size before anything is allocated, and the tree is walked
// with an explicit stack, never as deep as the file says.
#include "model/model_reader.h"

#include "model/byte_key_table.h"
#include "model/little_endian.h"
#include "model/model_format.h"

#include <bit>
#include <cstdio>
#include <cstring>

namespace scourvane
{

namespace
{

using format::faceRecordSize;
using format::FaceWord;
using format::firstUnreachableOffset;
using format::headerSize;
using format::HeaderWord;
using format::indexSize;
using format::vertexSize;
constexpr size_t inlineNameLength = 15;

// A texture name of at most 16 bytes, its NUL included, as two little-endian words that are zero
// after the NUL: two names are the same bytes exactly when their words and lengths are equal.
struct ShortName
{
    static constexpr size_t capacity = 16;
    uint64_t head = 0;
    uint64_t tail = 0;
    uint32_t length = 0;

    static ShortName of(const uint8_t* bytes, size_t length)
    {
        uint8_t padded[capacity] = {};
        std::memcpy(padded, bytes, length);
        return ShortName{load64(padded), load64(padded + 8), static_cast<uint32_t>(length)};
    }

    // A slot of the reader's recent names. The hash is not keyed: a name that misses the slot costs
    // one lookup in the model's keyed pool, so crafted names can make it useless but never slow.
    size_t slot() const
    {
        return static_cast<size_t>((head * 0x9E3779B97F4A7C15ull + tail * 0xC2B2AE3D27D4EB4Full) >> 58);
    }
};

// Flags the zero bytes of `word`; the lowest flag is exact (no borrow reaches below a zero byte).
inline uint64_t zeroBytes(uint64_t word)
{
    return (word - 0x0101010101010101ull) & ~word & 0x8080808080808080ull;
}

// The bytes of `word` up to and including byte `at`.
inline uint64_t through(uint64_t word, unsigned at)
{
    return at == 7 ? word : word & ((uint64_t{1} << (8 * (at + 1))) - 1);
}

// Reads a name of at most 16 bytes from 16 readable bytes at `p`; false when they hold no NUL.
inline bool readShortName(const uint8_t* p, ShortName& name)
{
    const uint64_t head = load64(p);
    const uint64_t tail = load64(p + 8);
    if (const uint64_t zeros = zeroBytes(head); zeros != 0)
    {
        const auto at = static_cast<unsigned>(std::countr_zero(zeros) / 8);
        name = ShortName{through(head, at), 0, at + 1};
        return true;
    }
    if (const uint64_t zeros = zeroBytes(tail); zeros != 0)
    {
        const auto at = static_cast<unsigned>(std::countr_zero(zeros) / 8);
        name = ShortName{head, through(tail, at), 9 + at};
        return true;
    }
    return false;
}

struct RecentName
{
    uint64_t head = 0;
    uint64_t tail = 0;
    uint32_t length = 0; // 0: empty
    uint32_t id = noTexture;
};

struct Links
{
    uint32_t child = 0;
    uint32_t sibling = 0;
};

class Reader
{
  public:
    Reader(const uint8_t* bytes, uint64_t size, LoadError* error)
        : bytes_(bytes), size_(size), error_(error), budget_(size * materialiseFactor + materialiseFloor)
    {
    }

    bool loadTree(ObjectPart& root);

    // The first part header's own checks, with nothing but the header and the file's size at hand.
    bool checkFirstHeader()
    {
        if (headerSize > size_) return fail(LoadResult::headerPastEnd, LoadWhat::partHeader, 0);
        const uint32_t version = load32(bytes_ + 0);
        const uint32_t reservedZero = load32(bytes_ + 32);
        if (version != 1) return fail(LoadResult::badVersion, LoadWhat::partHeader, 0, version);
        if (reservedZero != 0)
            return fail(LoadResult::badReservedZero, LoadWhat::partHeader, 0, reservedZero);
        return checkArray(load32(bytes_ + 36), load32(bytes_ + 4), vertexSize, LoadWhat::vertexArray, 0) &&
               checkArray(load32(bytes_ + 40), load32(bytes_ + 8), faceRecordSize, LoadWhat::faceArray, 0);
    }

  private:
    const uint8_t* bytes_;
    uint64_t size_;
    LoadError* error_;
    uint64_t budget_;
    std::vector<uint64_t> active_; // for deep stacks: one bit per file offset, set while being read
    ObjectPart* root_ = nullptr;
    uint32_t lastTextureOffset_ = 0; // 0: none yet (0 never names a texture)
    size_t lastTextureLength_ = 0;
    uint32_t lastTextureId_ = noTexture;
    RecentName recentNames_[64];

    bool fail(LoadResult result, LoadWhat what, uint32_t offset, uint32_t value = 0)
    {
        if (error_)
        {
            error_->result = result;
            error_->what = what;
            error_->offset = offset;
            error_->value = value;
            error_->fileSize = size_;
        }
        return false;
    }

    bool charge(uint64_t bytes, LoadWhat what, uint32_t offset)
    {
        if (bytes > budget_) return fail(LoadResult::tooMuchSharing, what, offset);
        budget_ -= bytes;
        return true;
    }

    // Checks that `count` elements of `elementSize` bytes at `offset` lie inside the file. A count
    // of 0 reads nothing, wherever the offset points (below 2^31).
    bool checkArray(uint32_t offset, uint32_t count, uint32_t elementSize, LoadWhat what, uint32_t owner)
    {
        if (offset >= firstUnreachableOffset) return fail(LoadResult::offsetTooLarge, what, owner, offset);
        if (count == 0) return true;
        const uint64_t length = uint64_t{count} * elementSize;
        if (offset > size_ || length > size_ - offset)
            return fail(LoadResult::arrayPastEnd, what, offset, count);
        return charge(length, what, offset);
    }

    // Reads the NUL-terminated name at `offset` into `out`, NUL included.
    bool readName(uint32_t offset, std::string& out, LoadWhat what, uint32_t owner)
    {
        if (offset >= firstUnreachableOffset) return fail(LoadResult::offsetTooLarge, what, owner, offset);
        if (offset >= size_) return fail(LoadResult::namePastEnd, what, offset);
        const uint8_t* start = bytes_ + offset;
        const void* nul = std::memchr(start, 0, static_cast<size_t>(size_ - offset));
        if (!nul) return fail(LoadResult::nameUnterminated, what, offset);
        const size_t length = static_cast<size_t>(static_cast<const uint8_t*>(nul) - start) + 1;
        // A short name lives inside its string object, so sharing it costs no memory: files whose
        // faces all point at one pooled name must not look like sharing bombs.
        if (length > inlineNameLength && !charge(length, what, offset)) return false;
        out.assign(reinterpret_cast<const char*>(start), length);
        return true;
    }

    // Reads the texture name at `offset` into the model's pool and gives its id. Faces one after the
    // other often point at one stored name, so the last offset read is remembered; editors also store
    // a copy of the name for every face, so names seen lately are recognised by their bytes.
    bool readTexture(uint32_t offset, uint32_t& id, uint32_t owner)
    {
        if (offset == lastTextureOffset_)
        {
            // The same bytes again: charged as if read again, so the sharing budget is as before.
            if (lastTextureLength_ > inlineNameLength &&
                !charge(lastTextureLength_, LoadWhat::textureName, offset))
                return false;
            id = lastTextureId_;
            return true;
        }
        if (offset >= firstUnreachableOffset)
            return fail(LoadResult::offsetTooLarge, LoadWhat::textureName, owner, offset);
        if (offset >= size_) return fail(LoadResult::namePastEnd, LoadWhat::textureName, offset);
        const uint8_t* start = bytes_ + offset;
        const size_t left = static_cast<size_t>(size_ - offset);
        size_t length = 0;
        ShortName name;
        if (left >= ShortName::capacity && readShortName(start, name))
            length = name.length;
        else
        {
            const void* nul = std::memchr(start, 0, left);
            if (!nul) return fail(LoadResult::nameUnterminated, LoadWhat::textureName, offset);
            length = static_cast<size_t>(static_cast<const uint8_t*>(nul) - start) + 1;
        }
        if (length > inlineNameLength && !charge(length, LoadWhat::textureName, offset)) return false;
        if (length <= ShortName::capacity)
        {
            if (length != name.length) name = ShortName::of(start, length); // a name near the end
            RecentName& recent = recentNames_[name.slot()];
            if (recent.length != name.length || recent.head != name.head || recent.tail != name.tail)
            {
                recent.id = root_->addTextureName(start, static_cast<uint32_t>(length));
                recent.head = name.head;
                recent.tail = name.tail;
                recent.length = name.length;
            }
            id = recent.id;
        }
        else
            id = root_->addTextureName(start, static_cast<uint32_t>(length));
        lastTextureOffset_ = offset;
        lastTextureLength_ = length;
        lastTextureId_ = id;
        return true;
    }

    bool loadPart(ObjectPart& part, uint32_t headerOffset, Links& links);

    // The parts still being read are the frames of loadTree's stack. A shallow stack is searched;
    // a deep one (a long chain) gets a bitmap of one bit per file offset, so a model of ordinary
    // shape never pays for a bitmap the size of an eighth of the file.
    static constexpr size_t searchedDepth = 64;
    struct Frame
    {
        ObjectPart* part;
        uint32_t offset;
        uint32_t siblingOffset; // 0 once begun, or when there is none
    };
    // The first frames live here; only a deep tree puts the rest on the heap.
    Frame shallow_[searchedDepth];
    std::vector<Frame> deep_;
    size_t depth_ = 0;

    Frame& top() { return depth_ <= searchedDepth ? shallow_[depth_ - 1] : deep_.back(); }

    bool isActive(uint32_t offset) const
    {
        if (active_.empty())
        {
            for (size_t i = 0; i < depth_; ++i)
                if (shallow_[i].offset == offset) return true;
            return false;
        }
        return (active_[offset / 64] >> (offset % 64) & 1u) != 0;
    }
    void push(const Frame& frame)
    {
        if (depth_ < searchedDepth)
            shallow_[depth_] = frame;
        else
            deep_.push_back(frame);
        ++depth_;
        if (active_.empty() && depth_ > searchedDepth)
        {
            active_.assign(static_cast<size_t>(size_ / 64 + 1), 0);
            for (const Frame& below : shallow_)
                active_[below.offset / 64] |= uint64_t{1} << (below.offset % 64);
        }
        if (!active_.empty()) active_[frame.offset / 64] |= uint64_t{1} << (frame.offset % 64);
    }
    void pop()
    {
        const uint32_t offset = top().offset;
        if (!active_.empty()) active_[offset / 64] &= ~(uint64_t{1} << (offset % 64));
        if (depth_ > searchedDepth) deep_.pop_back();
        --depth_;
    }
};

bool Reader::loadPart(ObjectPart& part, uint32_t headerOffset, Links& links)
{
    if (headerOffset > size_ || headerSize > size_ - headerOffset)
        return fail(LoadResult::headerPastEnd, LoadWhat::partHeader, headerOffset);
    if (!charge(headerSize, LoadWhat::partHeader, headerOffset)) return false;
    const uint8_t* header = bytes_ + headerOffset;
    const uint32_t version = load32(header + HeaderWord::version);
    const uint32_t reservedZero = load32(header + HeaderWord::reservedZero);
    if (version != 1) return fail(LoadResult::badVersion, LoadWhat::partHeader, headerOffset, version);
    if (reservedZero != 0)
        return fail(LoadResult::badReservedZero, LoadWhat::partHeader, headerOffset, reservedZero);

    part.version = version;
    part.reservedZero = reservedZero;
    const uint32_t vertexCount = load32(header + HeaderWord::vertexCount);
    const uint32_t faceCount = load32(header + HeaderWord::faceCount);
    part.protectedFace = load32(header + HeaderWord::protectedFace);
    part.positionX = load32(header + HeaderWord::positionX);
    part.positionY = load32(header + HeaderWord::positionY);
    part.positionZ = load32(header + HeaderWord::positionZ);
    const uint32_t nameOffset = load32(header + HeaderWord::nameOffset);
    const uint32_t vertexArrayOffset = load32(header + HeaderWord::vertexArrayOffset);
    const uint32_t faceArrayOffset = load32(header + HeaderWord::faceArrayOffset);
    links.sibling = load32(header + HeaderWord::siblingOffset);
    links.child = load32(header + HeaderWord::childOffset);

    if (!checkArray(vertexArrayOffset, vertexCount, vertexSize, LoadWhat::vertexArray, headerOffset))
        return false;

    if (!checkArray(faceArrayOffset, faceCount, faceRecordSize, LoadWhat::faceArray, headerOffset))
        return false;
    // Every index array is checked and charged before any face is made, so a million records
    // sharing one huge index array fail at once instead of after allocating a million faces. The
    // charges bound the sum of the counts by the load's budget.
    uint64_t indexTotal = 0;
    for (uint32_t i = 0; i < faceCount; ++i)
    {
        const uint32_t recordOffset = faceArrayOffset + i * faceRecordSize;
        const uint8_t* record = bytes_ + recordOffset;
        if (!checkArray(load32(record + FaceWord::indexArrayOffset), load32(record + FaceWord::indexCount),
                        indexSize, LoadWhat::indexArray, recordOffset))
            return false;
        indexTotal += load32(record + FaceWord::indexCount);
    }
    if (indexTotal > 0xFFFFFFFFu)
        return fail(LoadResult::tooMuchSharing, LoadWhat::indexArray, faceArrayOffset);

    // The three arrays in one block sized from the checked counts, filled straight from the bytes
    // without a zero-fill first.
    part.allocateArrays(vertexCount, faceCount, static_cast<uint32_t>(indexTotal));
    const uint8_t* v = bytes_ + vertexArrayOffset;
    for (Vertex& vertex : part.vertexes())
    {
        vertex = Vertex{load32(v), load32(v + 4), load32(v + 8)};
        v += vertexSize;
    }
    const std::span<uint16_t> indexes = part.indexes();
    uint32_t nextIndex = 0;
    const std::span<Face> faces = part.faces();
    for (uint32_t i = 0; i < faceCount; ++i)
    {
        const uint32_t recordOffset = faceArrayOffset + i * faceRecordSize;
        const uint8_t* record = bytes_ + recordOffset;
        Face& face = faces[i];
        face.colourIndex = load32(record + FaceWord::colourIndex);
        face.indexCount = load32(record + FaceWord::indexCount);
        face.faceWord2 = load32(record + FaceWord::word2);
        face.textureId = noTexture;
        const uint8_t* p = bytes_ + load32(record + FaceWord::indexArrayOffset);
        if constexpr (std::endian::native == std::endian::little)
        {
            // Most faces have 3 or 4 indexes: one 8-byte copy takes them, and the slots it fills
            // past the face's own are the next faces' and written again by them. Only where 8
            // bytes are not there to read or to fill does the copy take exactly the face's.
            uint16_t* const to = indexes.data() + nextIndex;
            if (face.indexCount <= 4 && bytes_ + size_ - p >= 8 && indexes.size() - nextIndex >= 4)
                std::memcpy(to, p, 8);
            else
                std::memcpy(to, p, size_t{face.indexCount} * 2);
            nextIndex += face.indexCount;
        }
        else
            for (uint32_t k = 0; k < face.indexCount; ++k, p += 2)
                indexes[nextIndex++] = load16(p);
        const uint32_t textureNameOffset = load32(record + FaceWord::textureNameOffset);
        face.extra0 = load32(record + FaceWord::extra0);
        face.extra1 = load32(record + FaceWord::extra1);
        face.extra2 = load32(record + FaceWord::extra2);
        if (textureNameOffset != 0 && !readTexture(textureNameOffset, face.textureId, recordOffset))
        {
            part.shrinkArrays(0, 0, 0); // the faces after this one were never written
            return false;
        }
    }
    return readName(nameOffset, part.name, LoadWhat::partName, headerOffset);
}

bool Reader::loadTree(ObjectPart& root)
{
    root_ = &root;
    // One frame per part whose reading has begun and whose sibling subtree is not finished yet:
    // exactly the parts a recursive reader would still be inside, so a link to one of them is a
    // cycle. A part without links finishes at once and needs no frame; a frame's child is begun as
    // soon as the frame is made, so the frame keeps only the sibling still to come.
    ObjectPart* next = &root;
    uint32_t nextOffset = 0;
    LoadWhat link = LoadWhat::partHeader;
    uint32_t owner = 0;
    for (;;)
    {
        if (next)
        {
            if (nextOffset >= firstUnreachableOffset)
                return fail(LoadResult::offsetTooLarge, link, owner, nextOffset);
            if (isActive(nextOffset)) return fail(LoadResult::cycle, link, owner, nextOffset);
            Links links;
            if (!loadPart(*next, nextOffset, links)) return false;
            ObjectPart* const part = next;
            next = nullptr;
            if (links.child != 0 || links.sibling != 0)
            {
                push(Frame{part, nextOffset, links.sibling});
                if (links.child != 0)
                {
                    part->child = std::make_unique<ObjectPart>();
                    next = part->child.get();
                    owner = nextOffset;
                    nextOffset = links.child;
                    link = LoadWhat::childLink;
                    continue;
                }
            }
        }
        if (depth_ == 0) return true;
        Frame& frame = top();
        if (frame.siblingOffset != 0)
        {
            frame.part->sibling = std::make_unique<ObjectPart>();
            next = frame.part->sibling.get();
            nextOffset = frame.siblingOffset;
            frame.siblingOffset = 0;
            link = LoadWhat::siblingLink;
            owner = frame.offset;
            continue;
        }
        pop();
    }
}

const char* whatText(LoadWhat what)
{
    switch (what)
    {
    case LoadWhat::file:
        return "file";
    case LoadWhat::partHeader:
        return "part header";
    case LoadWhat::vertexArray:
        return "vertex array";
    case LoadWhat::faceArray:
        return "face array";
    case LoadWhat::indexArray:
        return "index array";
    case LoadWhat::textureName:
        return "texture name";
    case LoadWhat::partName:
        return "part name";
    case LoadWhat::childLink:
        return "child link";
    case LoadWhat::siblingLink:
        return "sibling link";
    }
    return "record";
}

} // namespace

bool ObjectPart::loadModelBytes(const uint8_t* bytes, size_t size, LoadError* error)
{
    if (error) *error = LoadError{};
    if (size > maxModelFileSize)
    {
        if (error)
        {
            error->result = LoadResult::fileTooLarge;
            error->fileSize = size;
        }
        return false;
    }
    if (textureNames) textureNames->clear();
    Reader reader(bytes, size, error);
    return reader.loadTree(*this);
}

bool checkModelStart(const uint8_t* head, size_t headSize, uint64_t fileSize, LoadError* error)
{
    if (error) *error = LoadError{};
    if (fileSize > maxModelFileSize)
    {
        if (error)
        {
            error->result = LoadResult::fileTooLarge;
            error->fileSize = fileSize;
        }
        return false;
    }
    // Past the header's end nothing is read: the header fits (headSize is the file's whole start)
    // before any field is looked at.
    if (headSize < headerSize && fileSize > headSize) return true;
    Reader reader(head, fileSize, error);
    return reader.checkFirstHeader();
}

bool ObjectPart::loadModelFile(const char* path, LoadError* error)
{
    if (error) *error = LoadError{};
    std::vector<uint8_t> bytes;
    platform::IoError ioError;
    LoadError startError;
    const platform::StartCheck acceptStart =
        [](const uint8_t* head, size_t headSize, uint64_t fileSize, void* context)
    { return checkModelStart(head, headSize, fileSize, static_cast<LoadError*>(context)); };
    if (!platform::readWholeFileChecked(path, bytes, maxModelFileSize, modelStartSize, acceptStart,
                                        &startError, &ioError))
    {
        if (ioError.step == platform::IoStep::refused)
        {
            if (error) *error = startError;
        }
        else if (error)
        {
            error->result = ioError.step == platform::IoStep::tooLarge ? LoadResult::fileTooLarge
                                                                       : LoadResult::openFailed;
            error->ioError = ioError;
            const int64_t size = platform::fileSize(path);
            error->fileSize = size < 0 ? 0 : static_cast<uint64_t>(size);
        }
        return false;
    }
    return loadModelBytes(bytes.data(), bytes.size(), error);
}

std::string describeLoadError(const LoadError& error)
{
    char text[256];
    const char* what = whatText(error.what);
    const unsigned offset = error.offset;
    const unsigned value = error.value;
    const unsigned long long size = error.fileSize;
    switch (error.result)
    {
    case LoadResult::ok:
        return "no error";
    case LoadResult::openFailed:
        return platform::describeIoError(error.ioError);
    case LoadResult::fileTooLarge:
        if (size > 0)
            std::snprintf(text, sizeof text, "the file is too large to be a 3DO model (%llu bytes)", size);
        else
            std::snprintf(text, sizeof text, "the file is too large to be a 3DO model");
        break;
    case LoadResult::headerPastEnd:
        std::snprintf(text, sizeof text, "part header at 0x%X runs past the end of the file (size 0x%llX)",
                      offset, size);
        break;
    case LoadResult::badVersion:
        std::snprintf(text, sizeof text, "version %u in the part header at offset 0x%X", value, offset);
        break;
    case LoadResult::badReservedZero:
        std::snprintf(text, sizeof text, "reserved word %u (must be 0) in the part header at offset 0x%X",
                      value, offset);
        break;
    case LoadResult::offsetTooLarge:
        std::snprintf(text, sizeof text, "%s offset 0x%X in the record at 0x%X is beyond 2 GiB", what, value,
                      offset);
        break;
    case LoadResult::arrayPastEnd:
        std::snprintf(text, sizeof text, "%s at 0x%X runs past the end of the file (size 0x%llX)", what,
                      offset, size);
        break;
    case LoadResult::namePastEnd:
        std::snprintf(text, sizeof text, "%s at 0x%X is past the end of the file (size 0x%llX)", what, offset,
                      size);
        break;
    case LoadResult::nameUnterminated:
        std::snprintf(text, sizeof text, "%s at 0x%X runs to the end of the file without its NUL", what,
                      offset);
        break;
    case LoadResult::cycle:
        std::snprintf(text, sizeof text, "%s of the part at 0x%X leads back to the part at 0x%X", what,
                      offset, value);
        break;
    case LoadResult::tooMuchSharing:
        std::snprintf(text, sizeof text,
                      "records shared so often that the model would be over %llu times the file's size "
                      "(at the %s at 0x%X)",
                      static_cast<unsigned long long>(materialiseFactor), what, offset);
        break;
    }
    return text;
}

} // namespace scourvane
