// The verifier walks the two images side by side with an explicit stack of header pairs. Each part of
// the original is compared with the part at the same place in the cleaned tree; every read is checked
// against its image, and a work budget bounds the walk even where the original's records share.
#include "verify/model_verifier.h"

#include <cstring>
#include <vector>

namespace scourvane
{

namespace
{

constexpr uint64_t headerSize = 52;
constexpr uint64_t faceSize = 32;
constexpr uint64_t vertexSize = 12;
constexpr uint64_t offsetLimit = uint64_t{1} << 31;
constexpr uint32_t maxCleanableVertexes = 65535;
constexpr uint32_t noFace = 0xFFFFFFFFu;

// A file image: bounds-checked little-endian reads.
struct Image
{
    const uint8_t* bytes;
    size_t size;

    bool holds(uint64_t offset, uint64_t length) const
    {
        // An empty array may point anywhere below 2^31, as the reader allows.
        if (length == 0) return offset < offsetLimit;
        return offset < offsetLimit && offset <= size && length <= size - offset;
    }
    uint32_t word(uint64_t offset) const
    {
        const uint8_t* p = bytes + offset;
        return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
    }
    uint16_t half(uint64_t offset) const
    {
        return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
    }
};

struct Header
{
    uint32_t version, vertexCount, faceCount, protectedFace, positionX, positionY, positionZ, nameOffset,
        reservedZero, vertexArrayOffset, faceArrayOffset, siblingOffset, childOffset;
};

struct FaceRecord
{
    uint32_t colourIndex, indexCount, faceWord2, indexArrayOffset, textureNameOffset, extra0, extra1, extra2;
};

bool readHeader(const Image& image, uint64_t offset, Header& h)
{
    if (!image.holds(offset, headerSize)) return false;
    uint32_t w[13];
    for (uint64_t i = 0; i < 13; ++i)
        w[i] = image.word(offset + 4 * i);
    h = {w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], w[8], w[9], w[10], w[11], w[12]};
    return image.holds(h.vertexArrayOffset, uint64_t{h.vertexCount} * vertexSize) &&
           image.holds(h.faceArrayOffset, uint64_t{h.faceCount} * faceSize);
}

// The face record `number` of a header already checked by readHeader, and its index array.
bool readFace(const Image& image, const Header& h, uint32_t number, FaceRecord& f)
{
    const uint64_t at = h.faceArrayOffset + uint64_t{number} * faceSize;
    uint32_t w[8];
    for (uint64_t i = 0; i < 8; ++i)
        w[i] = image.word(at + 4 * i);
    f = {w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]};
    return image.holds(f.indexArrayOffset, uint64_t{f.indexCount} * 2);
}

bool sameCarriedWords(const FaceRecord& a, const FaceRecord& b)
{
    return a.colourIndex == b.colourIndex && a.indexCount == b.indexCount && a.faceWord2 == b.faceWord2 &&
           a.extra0 == b.extra0 && a.extra1 == b.extra1 && a.extra2 == b.extra2;
}

// The work budget: the reader refuses a file whose records would come to more than 4 times its size
// plus 1 MiB, and the walk below reads each record of both images at most a few times, so a budget
// of 16 times the size plus 4 MiB never stops a model the reader took, yet ends any walk that shared
// records or links in a loop would make endless.
class Verifier
{
  public:
    Verifier(const Image& original, const Image& cleaned)
        : original_(original), cleaned_(cleaned), budget_(uint64_t{original.size} * 16 + (uint64_t{4} << 20))
    {
    }

    VerifyError run()
    {
        if (cleaned_.size >= offsetLimit) return fail(VerifyResult::cleanedUnreadable);
        std::vector<std::pair<uint32_t, uint32_t>> pending{{0u, 0u}};
        while (!pending.empty())
        {
            const auto [originalAt, cleanedAt] = pending.back();
            pending.pop_back();
            Header o, c;
            if (!spend(headerSize * 2)) return fail(VerifyResult::tooMuchWork);
            if (!readHeader(original_, originalAt, o)) return fail(VerifyResult::originalUnreadable);
            if (!readHeader(cleaned_, cleanedAt, c)) return fail(VerifyResult::cleanedUnreadable);
            if (!comparePart(o, c)) return error_;
            if ((o.siblingOffset != 0) != (c.siblingOffset != 0) ||
                (o.childOffset != 0) != (c.childOffset != 0))
                return fail(VerifyResult::treeDiffers);
            // Child first, then sibling, as a reader walks; the numbers in errors follow that order.
            if (o.siblingOffset != 0) pending.emplace_back(o.siblingOffset, c.siblingOffset);
            if (o.childOffset != 0) pending.emplace_back(o.childOffset, c.childOffset);
            ++part_;
        }
        return error_;
    }

  private:
    bool spend(uint64_t units)
    {
        if (units > budget_) return false;
        budget_ -= units;
        return true;
    }

    VerifyError fail(VerifyResult result, uint32_t face = noFace)
    {
        error_ = {result, part_, face};
        return error_;
    }
    bool refuse(VerifyResult result, uint32_t face = noFace)
    {
        fail(result, face);
        return false;
    }

    // Compares the NUL-ended names at the two offsets, byte for byte up to the original's NUL.
    bool sameName(uint32_t originalAt, uint32_t cleanedAt, VerifyResult differs, uint32_t face = noFace)
    {
        if (!original_.holds(originalAt, 1)) return refuse(VerifyResult::originalUnreadable, face);
        const void* end = std::memchr(original_.bytes + originalAt, 0, original_.size - originalAt);
        if (end == nullptr) return refuse(VerifyResult::originalUnreadable, face);
        const size_t length =
            static_cast<size_t>(static_cast<const uint8_t*>(end) - original_.bytes) - originalAt + 1;
        if (!spend(length)) return refuse(VerifyResult::tooMuchWork);
        if (!cleaned_.holds(cleanedAt, length)) return refuse(VerifyResult::cleanedUnreadable, face);
        if (std::memcmp(original_.bytes + originalAt, cleaned_.bytes + cleanedAt, length) != 0)
            return refuse(differs, face);
        return true;
    }

    // Whether cleaning can renumber the part, and if so how many faces the rules keep and where the
    // protected face goes among them.
    bool withinCleaningLimits(const Header& o, bool& within, uint32_t& kept, uint32_t& protectedAfter)
    {
        within = o.vertexCount <= maxCleanableVertexes;
        kept = 0;
        protectedAfter = o.protectedFace;
        for (uint32_t f = 0; within && f < o.faceCount; ++f)
        {
            FaceRecord face;
            if (!spend(faceSize)) return refuse(VerifyResult::tooMuchWork);
            if (!readFace(original_, o, f, face)) return refuse(VerifyResult::originalUnreadable, f);
            if (!spend(uint64_t{face.indexCount} * 2)) return refuse(VerifyResult::tooMuchWork);
            for (uint32_t i = 0; within && i < face.indexCount; ++i)
                within = original_.half(face.indexArrayOffset + uint64_t{i} * 2) < o.vertexCount;
            if (!keeps(face, f, o.protectedFace)) continue;
            if (f == o.protectedFace) protectedAfter = kept;
            ++kept;
        }
        return true;
    }

    bool comparePart(const Header& o, const Header& c)
    {
        if (o.version != c.version || o.positionX != c.positionX || o.positionY != c.positionY ||
            o.positionZ != c.positionZ || o.reservedZero != c.reservedZero)
            return refuse(VerifyResult::headerDiffers);
        if (!sameName(o.nameOffset, c.nameOffset, VerifyResult::nameDiffers)) return false;
        bool within = false;
        uint32_t kept = 0, protectedAfter = 0;
        if (!withinCleaningLimits(o, within, kept, protectedAfter)) return false;
        if (!within) return compareUntouched(o, c);
        if (kept == 0) return compareSinglePoint(o, c);
        if (c.faceCount != kept) return refuse(VerifyResult::faceCountDiffers);
        if (c.protectedFace != protectedAfter) return refuse(VerifyResult::headerDiffers);

        uint32_t next = 0; // the cleaned face that the next kept face must match
        for (uint32_t f = 0; f < o.faceCount; ++f)
        {
            FaceRecord a, b;
            readFace(original_, o, f, a);
            if (!keeps(a, f, o.protectedFace)) continue;
            if (!spend(faceSize)) return refuse(VerifyResult::tooMuchWork);
            if (!readFace(cleaned_, c, next++, b)) return refuse(VerifyResult::cleanedUnreadable, f);
            if (!sameCarriedWords(a, b) || (a.textureNameOffset != 0) != (b.textureNameOffset != 0))
                return refuse(VerifyResult::faceDiffers, f);
            if (a.textureNameOffset != 0 &&
                !sameName(a.textureNameOffset, b.textureNameOffset, VerifyResult::faceDiffers, f))
                return false;
            if (!spend(uint64_t{a.indexCount} * 2)) return refuse(VerifyResult::tooMuchWork);
            for (uint32_t i = 0; i < a.indexCount; ++i)
            {
                const uint64_t from =
                    o.vertexArrayOffset + original_.half(a.indexArrayOffset + uint64_t{i} * 2) * vertexSize;
                const uint32_t to = cleaned_.half(b.indexArrayOffset + uint64_t{i} * 2);
                if (to >= c.vertexCount ||
                    std::memcmp(original_.bytes + from,
                                cleaned_.bytes + c.vertexArrayOffset + to * vertexSize, vertexSize) != 0)
                    return refuse(VerifyResult::cornerDiffers, f);
            }
        }
        return true;
    }

    static bool keeps(const FaceRecord& face, uint32_t number, uint32_t protectedFace)
    {
        return face.textureNameOffset != 0 || face.colourIndex != 0 || number == protectedFace ||
               face.indexCount == 2;
    }

    bool compareSinglePoint(const Header& o, const Header& c)
    {
        if (c.protectedFace != o.protectedFace) return refuse(VerifyResult::headerDiffers);
        if (c.faceCount != 1 || c.vertexCount != 1) return refuse(VerifyResult::pointDiffers);
        FaceRecord point;
        if (!readFace(cleaned_, c, 0, point) || point.indexCount != 1)
            return refuse(VerifyResult::pointDiffers);
        const FaceRecord expected{0, 1, 0, point.indexArrayOffset, 0, 0, 0, 0};
        static constexpr uint8_t origin[vertexSize] = {};
        if (!sameCarriedWords(point, expected) || point.textureNameOffset != 0 ||
            cleaned_.half(point.indexArrayOffset) != 0 ||
            std::memcmp(cleaned_.bytes + c.vertexArrayOffset, origin, vertexSize) != 0)
            return refuse(VerifyResult::pointDiffers);
        return true;
    }

    // A part that cleaning cannot renumber must come out word for word, only its offsets new.
    bool compareUntouched(const Header& o, const Header& c)
    {
        if (c.vertexCount != o.vertexCount || c.faceCount != o.faceCount ||
            c.protectedFace != o.protectedFace)
            return refuse(VerifyResult::untouchedPartDiffers);
        if (!spend(uint64_t{o.vertexCount} * vertexSize)) return refuse(VerifyResult::tooMuchWork);
        if (o.vertexCount != 0 &&
            std::memcmp(original_.bytes + o.vertexArrayOffset, cleaned_.bytes + c.vertexArrayOffset,
                        size_t{o.vertexCount} * vertexSize) != 0)
            return refuse(VerifyResult::untouchedPartDiffers);
        for (uint32_t f = 0; f < o.faceCount; ++f)
        {
            FaceRecord a, b;
            if (!spend(faceSize)) return refuse(VerifyResult::tooMuchWork);
            if (!readFace(original_, o, f, a)) return refuse(VerifyResult::originalUnreadable, f);
            if (!readFace(cleaned_, c, f, b)) return refuse(VerifyResult::cleanedUnreadable, f);
            if (!sameCarriedWords(a, b) || (a.textureNameOffset != 0) != (b.textureNameOffset != 0))
                return refuse(VerifyResult::untouchedPartDiffers, f);
            if (a.textureNameOffset != 0 &&
                !sameName(a.textureNameOffset, b.textureNameOffset, VerifyResult::untouchedPartDiffers, f))
                return false;
            if (!spend(uint64_t{a.indexCount} * 2)) return refuse(VerifyResult::tooMuchWork);
            if (a.indexCount != 0 &&
                std::memcmp(original_.bytes + a.indexArrayOffset, cleaned_.bytes + b.indexArrayOffset,
                            size_t{a.indexCount} * 2) != 0)
                return refuse(VerifyResult::untouchedPartDiffers, f);
        }
        return true;
    }

    Image original_;
    Image cleaned_;
    uint64_t budget_;
    uint32_t part_ = 0;
    VerifyError error_;
};

} // namespace

bool verifyCleanedImage(const uint8_t* original, size_t originalSize, const uint8_t* cleaned,
                        size_t cleanedSize, VerifyError* error)
{
    const VerifyError result = Verifier({original, originalSize}, {cleaned, cleanedSize}).run();
    if (error) *error = result;
    return result.result == VerifyResult::ok;
}

std::string describeVerifyError(const VerifyError& error)
{
    const std::string part = "part " + std::to_string(error.part);
    const std::string face =
        error.face == noFace ? part : "face " + std::to_string(error.face) + " of " + part;
    switch (error.result)
    {
    case VerifyResult::ok:
        return "the cleaned model draws the same";
    case VerifyResult::originalUnreadable:
        return "the original breaks the format at " + face;
    case VerifyResult::cleanedUnreadable:
        return "the cleaned image cannot be read at " + face;
    case VerifyResult::treeDiffers:
        return part + " has another child or sibling";
    case VerifyResult::headerDiffers:
        return part + " has another header";
    case VerifyResult::nameDiffers:
        return part + " has another name";
    case VerifyResult::faceCountDiffers:
        return part + " does not keep exactly the faces it must";
    case VerifyResult::faceDiffers:
        return face + " has another colour, texture name or other word";
    case VerifyResult::cornerDiffers:
        return face + " has a corner at other coordinates";
    case VerifyResult::pointDiffers:
        return part + " is left without faces but not with its one point";
    case VerifyResult::untouchedPartDiffers:
        return face + " is beyond what cleaning can renumber but was changed";
    case VerifyResult::tooMuchWork:
        return "the original shares its records too heavily to check";
    }
    return "unknown refusal";
}

} // namespace scourvane
