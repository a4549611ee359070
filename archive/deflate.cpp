// zlib's z_stream counts in uInt, so long buffers go through in slices.
#include "archive/deflate.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace scourvane::archive::detail
{

namespace
{

constexpr size_t kSlice = std::numeric_limits<uInt>::max() / 2;

int windowBits(Wrapper wrapper)
{
    return wrapper == Wrapper::raw ? -15 : 15;
}

} // namespace

ArchiveResult inflateBounded(const uint8_t* input, size_t inputSize, size_t expectedSize, Wrapper wrapper,
                             std::vector<uint8_t>& out)
{
    out.assign(expectedSize, 0);
    z_stream stream{};
    if (inflateInit2(&stream, windowBits(wrapper)) != Z_OK) return ArchiveResult::badCompressedData;
    size_t inUsed = 0;
    size_t outUsed = 0;
    uint8_t spare = 0; // a one-byte landing place that tells a stream longer than declared
    int status = Z_OK;
    while (status == Z_OK)
    {
        const size_t inTake = std::min(inputSize - inUsed, kSlice);
        const size_t outTake = std::min(expectedSize - outUsed, kSlice);
        stream.next_in = const_cast<Bytef*>(input + inUsed);
        stream.avail_in = static_cast<uInt>(inTake);
        stream.next_out = outTake > 0 ? out.data() + outUsed : &spare;
        stream.avail_out = static_cast<uInt>(outTake > 0 ? outTake : 1);
        status = inflate(&stream, Z_NO_FLUSH);
        inUsed += inTake - stream.avail_in;
        if (outTake > 0)
            outUsed += outTake - stream.avail_out;
        else if (stream.avail_out == 0)
        {
            inflateEnd(&stream);
            return ArchiveResult::sizeMismatch;
        }
        if (status == Z_BUF_ERROR && inUsed == inputSize) break; // input ran out before the stream's end
        if (status == Z_BUF_ERROR) status = Z_OK;
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END) return ArchiveResult::badCompressedData;
    if (outUsed != expectedSize) return ArchiveResult::sizeMismatch;
    if (inUsed != inputSize) return ArchiveResult::badCompressedData;
    return ArchiveResult::ok;
}

ArchiveResult inflateStart(const uint8_t* input, size_t inputSize, size_t count, Wrapper wrapper,
                           std::vector<uint8_t>& out)
{
    out.assign(count, 0);
    z_stream stream{};
    if (inflateInit2(&stream, windowBits(wrapper)) != Z_OK) return ArchiveResult::badCompressedData;
    size_t inUsed = 0;
    size_t outUsed = 0;
    int status = Z_OK;
    while (status == Z_OK && outUsed < count && inUsed < inputSize)
    {
        const size_t inTake = std::min(inputSize - inUsed, kSlice);
        const size_t outTake = std::min(count - outUsed, kSlice);
        stream.next_in = const_cast<Bytef*>(input + inUsed);
        stream.avail_in = static_cast<uInt>(inTake);
        stream.next_out = out.data() + outUsed;
        stream.avail_out = static_cast<uInt>(outTake);
        status = inflate(&stream, Z_NO_FLUSH);
        inUsed += inTake - stream.avail_in;
        outUsed += outTake - stream.avail_out;
        if (status == Z_BUF_ERROR) status = Z_OK;
    }
    inflateEnd(&stream);
    out.resize(outUsed);
    return status == Z_OK || status == Z_STREAM_END ? ArchiveResult::ok : ArchiveResult::badCompressedData;
}

ArchiveResult deflateAll(const uint8_t* input, size_t inputSize, Wrapper wrapper, std::vector<uint8_t>& out)
{
    z_stream stream{};
    if (deflateInit2(&stream, 9, Z_DEFLATED, windowBits(wrapper), 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return ArchiveResult::badCompressedData;
    out.clear();
    size_t inUsed = 0;
    int status = Z_OK;
    uint8_t block[65536];
    while (status != Z_STREAM_END)
    {
        const size_t inTake = std::min(inputSize - inUsed, kSlice);
        stream.next_in = const_cast<Bytef*>(input + inUsed);
        stream.avail_in = static_cast<uInt>(inTake);
        stream.next_out = block;
        stream.avail_out = sizeof block;
        const int flush = inUsed + inTake == inputSize ? Z_FINISH : Z_NO_FLUSH;
        status = deflate(&stream, flush);
        if (status == Z_STREAM_ERROR)
        {
            deflateEnd(&stream);
            return ArchiveResult::badCompressedData;
        }
        inUsed += inTake - stream.avail_in;
        out.insert(out.end(), block, block + (sizeof block - stream.avail_out));
    }
    deflateEnd(&stream);
    return ArchiveResult::ok;
}

uint32_t crc32Of(const uint8_t* data, size_t size)
{
    uLong crc = crc32(0L, Z_NULL, 0);
    size_t done = 0;
    while (done < size)
    {
        const size_t take = std::min(size - done, kSlice);
        crc = crc32(crc, data + done, static_cast<uInt>(take));
        done += take;
    }
    return static_cast<uint32_t>(crc);
}

} // namespace scourvane::archive::detail
