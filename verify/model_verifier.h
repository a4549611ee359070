// Proof that a cleaned model draws what the original drew, checked over the two file images alone.
// It reads both images by the meaning of the format and by the cleaning rules, and shares no code
// with the reader, the cleaner or the writer, so a fault in any of them cannot hide itself here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace scourvane
{

// Why a cleaned image was refused.
enum class VerifyResult : uint8_t
{
    ok,
    originalUnreadable,   // the original image breaks the format (it should have failed its load)
    cleanedUnreadable,    // a record of the cleaned image lies outside it, or a name runs off its end
    treeDiffers,          // a part has a child or sibling in one image and not in the other
    headerDiffers,        // version, position, reservedZero or protectedFace differs
    nameDiffers,          // a part's name differs
    faceCountDiffers,     // not exactly the faces the rules keep (or a part's one point) are there
    faceDiffers,          // a kept face's colour, carried words, index count or texture name differs
    cornerDiffers,        // a kept face's corner is at other coordinates (or its index is out of range)
    pointDiffers,         // a part left without faces has something else than its one point
    untouchedPartDiffers, // a part beyond what cleaning can renumber was changed
    tooMuchWork,          // the original's records are shared so heavily that checking would not end soon
};

struct VerifyError
{
    VerifyResult result = VerifyResult::ok;
    uint32_t part = 0;           // 0-based number of the part, counted depth first (child before sibling)
    uint32_t face = 0xFFFFFFFFu; // the original's face number, or all bits set when none is at fault
};

// True when `cleaned` is, part for part and in the same order, what cleaning `original` must give:
// the same tree, names, positions and other header words; in each part exactly the faces the rules
// keep (a texture, a colour other than 0, the protected face, or a line), in their order, with the
// same colour, texture name and carried words and the same vertex coordinates at each corner; a
// part left without faces holding exactly its one point at the origin; and a part beyond cleaning's
// limits (more than 65535 vertexes, or an index at or beyond its vertex count) left exactly as it
// was. Both images are read as hostile bytes: every offset is checked, nothing recurses, and the
// work is bounded by the original's size. On false, `error` (when given) says what and where.
bool verifyCleanedImage(const uint8_t* original, size_t originalSize, const uint8_t* cleaned,
                        size_t cleanedSize, VerifyError* error = nullptr);

// A sentence for a refusal, such as "face 3 of part 2 has another texture name".
std::string describeVerifyError(const VerifyError& error);

} // namespace scourvane
