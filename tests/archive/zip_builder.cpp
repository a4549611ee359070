#include "archive/zip_builder.h"

#include <zlib.h>

namespace scourvane::test
{

namespace
{

void u16(std::vector<uint8_t>& v, uint32_t x)
{
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
void u32(std::vector<uint8_t>& v, uint32_t x)
{
    u16(v, x & 0xFFFF);
    u16(v, x >> 16);
}
void u64(std::vector<uint8_t>& v, uint64_t x)
{
    u32(v, static_cast<uint32_t>(x));
    u32(v, static_cast<uint32_t>(x >> 32));
}

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

} // namespace

std::vector<uint8_t> buildZip(const std::vector<ZipSpec>& entries, const ZipLayout& layout)
{
    std::vector<uint8_t> out = layout.prefix;
    std::vector<uint8_t> central;
    for (const ZipSpec& e : entries)
    {
        const std::vector<uint8_t> packed = e.method == 8 ? rawDeflate(e.data) : e.data;
        const uint32_t crc = static_cast<uint32_t>(crc32(0, e.data.data(), static_cast<uInt>(e.data.size())));
        const uint16_t flags = static_cast<uint16_t>(e.flags | (e.descriptor ? 8 : 0));
        const uint64_t offset = out.size();
        // Local header.
        u32(out, 0x04034b50);
        u16(out, e.zip64 ? 45 : 20);
        u16(out, flags);
        u16(out, e.method);
        u32(out, 0x5A210000);
        const bool zeros = e.descriptor;
        u32(out, zeros ? 0 : crc);
        u32(out, e.zip64 ? 0xFFFFFFFF : zeros ? 0 : static_cast<uint32_t>(packed.size()));
        u32(out, e.zip64 ? 0xFFFFFFFF : zeros ? 0 : static_cast<uint32_t>(e.data.size()));
        u16(out, static_cast<uint32_t>(e.name.size()));
        u16(out, e.zip64 ? 20 + 9 : 9);
        out.insert(out.end(), e.name.begin(), e.name.end());
        if (e.zip64)
        {
            u16(out, 1);
            u16(out, 16);
            u64(out, zeros ? 0 : e.data.size());
            u64(out, zeros ? 0 : packed.size());
        }
        u16(out, 0x5455); // an extended-timestamp field, which a rewrite must keep
        u16(out, 5);
        out.push_back(1);
        u32(out, 0x5F000000);
        out.insert(out.end(), packed.begin(), packed.end());
        if (e.descriptor)
        {
            u32(out, 0x08074b50);
            u32(out, crc);
            if (e.zip64)
            {
                u64(out, packed.size());
                u64(out, e.data.size());
            }
            else
            {
                u32(out, static_cast<uint32_t>(packed.size()));
                u32(out, static_cast<uint32_t>(e.data.size()));
            }
        }
        // Central record.
        u32(central, 0x02014b50);
        u16(central, 0x031E);
        u16(central, e.zip64 ? 45 : 20);
        u16(central, flags);
        u16(central, e.method);
        u32(central, 0x5A210000);
        u32(central, crc);
        u32(central, e.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(packed.size()));
        u32(central, e.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(e.data.size()));
        u16(central, static_cast<uint32_t>(e.name.size()));
        u16(central, e.zip64 ? 28 + 9 : 9);
        u16(central, 0);
        u16(central, 0);
        u16(central, 0);
        u32(central, 0x81A40000);
        u32(central, e.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(offset));
        central.insert(central.end(), e.name.begin(), e.name.end());
        if (e.zip64)
        {
            u16(central, 1);
            u16(central, 24);
            u64(central, e.data.size());
            u64(central, packed.size());
            u64(central, offset);
        }
        u16(central, 0x5455);
        u16(central, 5);
        central.push_back(1);
        u32(central, 0x5F000000);
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
    u16(out, layout.zip64End ? 0xFFFF : static_cast<uint32_t>(count));
    u16(out, layout.zip64End ? 0xFFFF : static_cast<uint32_t>(count));
    u32(out, layout.zip64End ? 0xFFFFFFFF : static_cast<uint32_t>(central.size()));
    u32(out, layout.zip64End ? 0xFFFFFFFF : static_cast<uint32_t>(centralAt));
    u16(out, static_cast<uint32_t>(layout.comment.size()));
    out.insert(out.end(), layout.comment.begin(), layout.comment.end());
    return out;
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
void setLe32(std::vector<uint8_t>& b, size_t at, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(value >> (8 * i));
}
void setLe16(std::vector<uint8_t>& b, size_t at, uint16_t value)
{
    b[at] = static_cast<uint8_t>(value);
    b[at + 1] = static_cast<uint8_t>(value >> 8);
}
size_t findSignature(const std::vector<uint8_t>& b, uint32_t signature, size_t from)
{
    for (size_t at = from; at + 4 <= b.size(); ++at)
        if (le32(b, at) == signature) return at;
    return b.size();
}

} // namespace scourvane::test
