#include "archive/zip_builder.h"

#include <zlib.h>

namespace scourvane::test
{

namespace
{

std::vector<uint8_t> rawDeflate(const std::vector<uint8_t>& in)
{
    z_stream s{};
    deflateInit2(&s, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out(deflateBound(&s, static_cast<uLong>(in.size())) + 16);
    s.next_in = const_cast<Bytef*>(in.data());
    s.avail_in = static_cast<uInt>(in.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

void u16(std::vector<uint8_t>& v, uint64_t x)
{
    pushLe(v, x, 2);
}
void u32(std::vector<uint8_t>& v, uint64_t x)
{
    pushLe(v, x, 4);
}
void u64(std::vector<uint8_t>& v, uint64_t x)
{
    pushLe(v, x, 8);
}

} // namespace

std::vector<uint8_t> buildZip(const std::vector<ZipSpec>& entries, const ZipLayout& layout)
{
    std::vector<uint8_t> out = layout.prefix;
    std::vector<uint8_t> central;
    for (const ZipSpec& e : entries)
    {
        const std::vector<uint8_t> packed = e.method == 8 ? rawDeflate(e.data) : e.data;
        const uint32_t crc = static_cast<uint32_t>(crc32(0, e.data.data(), static_cast<uInt>(e.data.size())));
        const uint64_t offset = out.size();
        // From the version needed to the extra field's length, the same in both headers but for
        // the local header's zeros ahead of a data descriptor.
        const auto shared = [&](std::vector<uint8_t>& v, bool zeros, uint16_t zip64Extra)
        {
            u16(v, e.zip64 ? 45 : 20);
            u16(v, e.flags | (e.descriptor ? 8 : 0));
            u16(v, e.method);
            u32(v, 0x5A210000);
            u32(v, zeros ? 0 : crc);
            u32(v, e.zip64 ? 0xFFFFFFFF : zeros ? 0 : packed.size());
            u32(v, e.zip64 ? 0xFFFFFFFF : zeros ? 0 : e.data.size());
            u16(v, e.name.size());
            u16(v, e.zip64 ? zip64Extra + 9 : 9);
        };
        // An extended-timestamp field, which a rewrite must keep.
        const auto timestamp = [](std::vector<uint8_t>& v)
        {
            u16(v, 0x5455);
            u16(v, 5);
            v.push_back(1);
            u32(v, 0x5F000000);
        };
        const bool zeros = e.descriptor;
        u32(out, 0x04034b50);
        shared(out, zeros, 20);
        out.insert(out.end(), e.name.begin(), e.name.end());
        if (e.zip64)
        {
            u16(out, 1);
            u16(out, 16);
            u64(out, zeros ? 0 : e.data.size());
            u64(out, zeros ? 0 : packed.size());
        }
        timestamp(out);
        out.insert(out.end(), packed.begin(), packed.end());
        if (e.descriptor)
        {
            u32(out, 0x08074b50);
            u32(out, crc);
            pushLe(out, packed.size(), e.zip64 ? 8 : 4);
            pushLe(out, e.data.size(), e.zip64 ? 8 : 4);
        }
        u32(central, 0x02014b50);
        u16(central, 0x031E);
        shared(central, false, 28);
        u16(central, 0); // comment length
        u16(central, 0); // disk
        u16(central, 0); // internal attributes
        u32(central, 0x81A40000);
        u32(central, e.zip64 ? 0xFFFFFFFF : offset);
        central.insert(central.end(), e.name.begin(), e.name.end());
        if (e.zip64)
        {
            u16(central, 1);
            u16(central, 24);
            u64(central, e.data.size());
            u64(central, packed.size());
            u64(central, offset);
        }
        timestamp(central);
    }
    const uint64_t centralAt = out.size();
    out.insert(out.end(), central.begin(), central.end());
    const uint64_t count = entries.size();
    if (layout.zip64End)
    {
        const uint64_t recordAt = out.size();
        u32(out, 0x06064b50);
        u64(out, 44);
        u16(out, 45);
        u16(out, 45);
        u32(out, 0);
        u32(out, 0);
        u64(out, count);
        u64(out, count);
        u64(out, central.size());
        u64(out, centralAt);
        u32(out, 0x07064b50);
        u32(out, 0);
        u64(out, recordAt);
        u32(out, 1);
    }
    u32(out, 0x06054b50);
    u16(out, 0);
    u16(out, 0);
    u16(out, layout.zip64End ? 0xFFFF : count);
    u16(out, layout.zip64End ? 0xFFFF : count);
    u32(out, layout.zip64End ? 0xFFFFFFFF : central.size());
    u32(out, layout.zip64End ? 0xFFFFFFFF : centralAt);
    u16(out, layout.comment.size());
    out.insert(out.end(), layout.comment.begin(), layout.comment.end());
    return out;
}

size_t findSignature(const std::vector<uint8_t>& b, uint32_t signature, size_t from)
{
    for (size_t at = from; at + 4 <= b.size(); ++at)
        if (le32(b, at) == signature) return at;
    return b.size();
}

} // namespace scourvane::test
