#include "archive/lz77.h"

#include <algorithm>
#include <limits>

namespace scourvane::archive::detail
{

namespace
{

constexpr size_t kWindow = 4096;
constexpr size_t kMinMatch = 2;
constexpr size_t kMaxMatch = 17;
// With matches of at most 17 bytes, a longer search finds little more: 64 candidates keep the
// encoder near the decoder's pace.
constexpr size_t kChainLimit = 64;

// The tag bytes of an encoding: each one is placed ahead of the eight items it describes.
class TagBits
{
  public:
    explicit TagBits(std::vector<uint8_t>& out) : out_(out), tagAt_(out.size()) { out_.push_back(0); }

    // Marks the next item a match or a literal, opening a new tag byte after every eighth.
    void start(bool match)
    {
        if (items_ == 8)
        {
            tagAt_ = out_.size();
            out_.push_back(0);
            items_ = 0;
        }
        if (match) out_[tagAt_] = static_cast<uint8_t>(out_[tagAt_] | (1u << items_));
        ++items_;
    }

    // The end match (window position 0), then a last tag byte for a decoder that fetches the next
    // one as soon as eight items are done.
    void finish()
    {
        start(true);
        out_.push_back(0);
        out_.push_back(0);
        if (items_ == 8) out_.push_back(0);
    }

  private:
    std::vector<uint8_t>& out_;
    size_t tagAt_;
    unsigned items_ = 0;
};

} // namespace

ArchiveResult lz77Decode(const uint8_t* input, size_t inputSize, size_t expectedSize, uint8_t* out)
{
    uint8_t window[kWindow] = {};
    size_t cursor = 1;
    size_t in = 0;
    size_t written = 0;
    unsigned tag = 0;
    unsigned bitsLeft = 0;
    for (;;)
    {
        if (bitsLeft == 0)
        {
            if (in >= inputSize) return ArchiveResult::badCompressedData;
            tag = input[in++];
            bitsLeft = 8;
        }
        const bool match = (tag & 1) != 0;
        tag >>= 1;
        --bitsLeft;
        if (!match)
        {
            if (in >= inputSize) return ArchiveResult::badCompressedData;
            if (written == expectedSize) return ArchiveResult::sizeMismatch;
            const uint8_t byte = input[in++];
            out[written++] = byte;
            window[cursor] = byte;
            cursor = (cursor + 1) % kWindow;
            continue;
        }
        if (inputSize - in < 2) return ArchiveResult::badCompressedData;
        const unsigned word = static_cast<unsigned>(input[in] | (input[in + 1] << 8));
        in += 2;
        size_t from = word >> 4;
        if (from == 0) break;
        const size_t length = (word & 0x0F) + kMinMatch;
        if (length > expectedSize - written) return ArchiveResult::sizeMismatch;
        for (size_t k = 0; k < length; ++k)
        {
            const uint8_t byte = window[from];
            out[written++] = byte;
            window[cursor] = byte;
            cursor = (cursor + 1) % kWindow;
            from = (from + 1) % kWindow;
        }
    }
    return written == expectedSize ? ArchiveResult::ok : ArchiveResult::sizeMismatch;
}

void lz77Encode(const uint8_t* input, size_t inputSize, std::vector<uint8_t>& out, Lz77Tables& tables)
{
    // Chains of earlier positions by their first two bytes. A position's link is written before any
    // chain reaches it, and a value below this chunk's base ends a chain, so nothing needs clearing
    // but once in four billion bytes.
    std::vector<uint32_t>& head = tables.head;
    std::vector<uint32_t>& previous = tables.previous;
    if (tables.base == 0 || tables.base > std::numeric_limits<uint32_t>::max() - 2 * (inputSize + 1))
    {
        head.assign(65536, 0);
        tables.base = 1;
    }
    const uint32_t base = tables.base;
    tables.base += static_cast<uint32_t>(inputSize + 1);
    if (previous.size() < inputSize) previous.resize(inputSize);
    TagBits tags(out);
    const auto remember = [&](size_t at)
    {
        if (inputSize - at < kMinMatch) return;
        const size_t key = static_cast<size_t>(input[at] | (input[at + 1] << 8));
        previous[at] = head[key];
        head[key] = base + static_cast<uint32_t>(at);
    };

    size_t at = 0;
    while (at < inputSize)
    {
        size_t bestLength = 0;
        size_t bestFrom = 0;
        if (inputSize - at >= kMinMatch)
        {
            const size_t limit = std::min(kMaxMatch, inputSize - at);
            const size_t key = static_cast<size_t>(input[at] | (input[at + 1] << 8));
            size_t steps = 0;
            for (uint32_t candidate = head[key]; candidate >= base && steps < kChainLimit;
                 candidate = previous[candidate - base], ++steps)
            {
                const size_t from = candidate - base;
                const size_t distance = at - from;
                if (distance >= kWindow) break;
                // The window position the decoder will read from; 0 would end the stream.
                if (((from + 1) % kWindow) == 0) continue;
                const size_t reach = std::min(limit, distance);
                size_t length = 0;
                while (length < reach && input[from + length] == input[at + length])
                    ++length;
                if (length > bestLength)
                {
                    bestLength = length;
                    bestFrom = from;
                    if (length == limit) break;
                }
            }
        }
        if (bestLength >= kMinMatch)
        {
            tags.start(true);
            const unsigned word =
                static_cast<unsigned>((((bestFrom + 1) % kWindow) << 4) | (bestLength - kMinMatch));
            out.push_back(static_cast<uint8_t>(word));
            out.push_back(static_cast<uint8_t>(word >> 8));
            for (size_t k = 0; k < bestLength; ++k)
                remember(at + k);
            at += bestLength;
        }
        else
        {
            tags.start(false);
            out.push_back(input[at]);
            remember(at);
            ++at;
        }
    }
    tags.finish();
}

} // namespace scourvane::archive::detail
