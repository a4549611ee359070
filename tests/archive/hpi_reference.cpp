#include "archive/hpi_reference.h"

#include "archive/archive_bytes.h"

#include <zlib.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>

namespace scourvane::test
{

namespace
{

// The per-byte exclusive-or every byte between header and copyright line goes through.
void crypt(std::vector<uint8_t>& image, uint32_t key, size_t from, size_t to)
{
    const uint32_t low = key & 0xFFu;
    if (low == 0 || low == 0xFF) return;
    const uint32_t k = ~((low >> 6) | (low << 2)) & 0xFFu;
    for (size_t pos = from; pos < to; ++pos)
        image[pos] = static_cast<uint8_t>((pos ^ k ^ ~uint32_t(image[pos])) & 0xFFu);
}

// Greedy LZSS over a short look-back; matches may overlap the bytes they produce.
std::vector<uint8_t> lzPack(const uint8_t* in, size_t n)
{
    std::vector<uint8_t> out;
    size_t tag = 0;
    int used = 8;
    auto item = [&](bool isMatch)
    {
        if (used == 8)
        {
            tag = out.size();
            out.push_back(0);
            used = 0;
        }
        if (isMatch) out[tag] = static_cast<uint8_t>(out[tag] | (1 << used));
        ++used;
    };
    size_t i = 0;
    while (i < n)
    {
        size_t bestLen = 0, bestDist = 0;
        for (size_t d = 1; d <= std::min<size_t>(i, 600); ++d)
        {
            if (((i - d + 1) & 0xFFF) == 0) continue;
            size_t len = 0;
            while (len < 17 && i + len < n && in[i + len] == in[i - d + len])
                ++len;
            if (len > bestLen) bestLen = len, bestDist = d;
        }
        if (bestLen >= 2)
        {
            item(true);
            const uint32_t word = uint32_t(((i - bestDist + 1) & 0xFFF) << 4) | uint32_t(bestLen - 2);
            out.push_back(static_cast<uint8_t>(word));
            out.push_back(static_cast<uint8_t>(word >> 8));
            i += bestLen;
        }
        else
        {
            item(false);
            out.push_back(in[i++]);
        }
    }
    item(true);
    out.push_back(0);
    out.push_back(0);
    return out;
}

bool lzUnpack(const uint8_t* in, size_t n, std::vector<uint8_t>& out, size_t limit)
{
    uint8_t window[4096] = {};
    unsigned cursor = 1;
    size_t p = 0;
    for (;;)
    {
        if (p >= n) return false;
        const unsigned flags = in[p++];
        for (int bit = 0; bit < 8; ++bit)
        {
            if (!(flags & (1u << bit)))
            {
                if (p >= n || out.size() >= limit) return false;
                out.push_back(in[p]);
                window[cursor] = in[p++];
                cursor = (cursor + 1) & 0xFFF;
                continue;
            }
            if (p + 2 > n) return false;
            unsigned word = in[p] | unsigned(in[p + 1]) << 8;
            p += 2;
            unsigned src = word >> 4;
            if (src == 0) return true;
            for (unsigned k = 0; k < (word & 15) + 2; ++k)
            {
                if (out.size() >= limit) return false;
                const uint8_t b = window[src];
                out.push_back(b);
                window[cursor] = b;
                cursor = (cursor + 1) & 0xFFF;
                src = (src + 1) & 0xFFF;
            }
        }
    }
}

struct Folder
{
    std::vector<std::string> order; // child names in first-seen order
    std::map<std::string, std::unique_ptr<Folder>> folders;
    std::map<std::string, size_t> files;
};

} // namespace

std::vector<uint8_t> refWriteHpi(const RefHpi& archive)
{
    std::vector<uint8_t> image(20, 0);
    setLe32(image, 0, 0x49504148);
    setLe32(image, 4, archive.version);
    setLe32(image, 12, archive.key);

    // File data first.
    std::vector<uint32_t> dataAt;
    for (const RefHpiFile& file : archive.files)
    {
        dataAt.push_back(static_cast<uint32_t>(image.size()));
        if (file.method == 0)
        {
            image.insert(image.end(), file.bytes.begin(), file.bytes.end());
            continue;
        }
        const size_t pieces = (file.bytes.size() + 65535) / 65536;
        const size_t table = image.size();
        image.resize(image.size() + 4 * pieces);
        for (size_t c = 0; c < pieces; ++c)
        {
            const uint8_t* piece = file.bytes.data() + c * 65536;
            const size_t n = std::min<size_t>(65536, file.bytes.size() - c * 65536);
            std::vector<uint8_t> packed;
            if (file.method == 1)
                packed = lzPack(piece, n);
            else
            {
                uLongf length = compressBound(static_cast<uLong>(n));
                packed.resize(length);
                compress2(packed.data(), &length, piece, static_cast<uLong>(n), 6);
                packed.resize(length);
            }
            uint32_t sum = 0;
            for (size_t x = 0; x < packed.size(); ++x)
            {
                if (file.encoded) packed[x] = static_cast<uint8_t>((packed[x] ^ (x & 0xFF)) + (x & 0xFF));
                sum += packed[x];
            }
            setLe32(image, table + 4 * c, static_cast<uint32_t>(19 + packed.size()));
            pushLe(image, 0x48535153);
            image.push_back(2);
            image.push_back(static_cast<uint8_t>(file.method));
            image.push_back(file.encoded ? 1 : 0);
            pushLe(image, packed.size());
            pushLe(image, n);
            pushLe(image, sum);
            image.insert(image.end(), packed.begin(), packed.end());
        }
    }

    // The tree, then the directory innermost first.
    Folder root;
    for (size_t i = 0; i < archive.files.size(); ++i)
    {
        Folder* folder = &root;
        std::string rest = archive.files[i].path;
        for (size_t slash; (slash = rest.find('/')) != std::string::npos; rest.erase(0, slash + 1))
        {
            const std::string name = rest.substr(0, slash);
            auto& sub = folder->folders[name];
            if (!sub)
            {
                sub = std::make_unique<Folder>();
                folder->order.push_back(name);
            }
            folder = sub.get();
        }
        folder->files[rest] = i;
        folder->order.push_back(rest);
    }
    const uint32_t start = static_cast<uint32_t>(image.size());
    std::function<uint32_t(const Folder&)> emit = [&](const Folder& folder) -> uint32_t
    {
        std::vector<uint32_t> names, targets;
        std::vector<uint8_t> flags;
        for (const std::string& name : folder.order)
        {
            names.push_back(static_cast<uint32_t>(image.size()));
            image.insert(image.end(), name.begin(), name.end());
            image.push_back(0);
        }
        for (const std::string& name : folder.order)
        {
            if (folder.folders.count(name))
            {
                targets.push_back(emit(*folder.folders.at(name)));
                flags.push_back(1);
                continue;
            }
            const RefHpiFile& file = archive.files[folder.files.at(name)];
            targets.push_back(static_cast<uint32_t>(image.size()));
            flags.push_back(0);
            pushLe(image, dataAt[folder.files.at(name)]);
            pushLe(image, file.bytes.size());
            image.push_back(static_cast<uint8_t>(file.method));
        }
        const uint32_t table = static_cast<uint32_t>(image.size());
        for (size_t i = 0; i < names.size(); ++i)
        {
            pushLe(image, names[i]);
            pushLe(image, targets[i]);
            image.push_back(flags[i]);
        }
        const uint32_t node = static_cast<uint32_t>(image.size());
        pushLe(image, names.size());
        pushLe(image, table);
        return node;
    };
    // The root node must sit at the directory's start: lay the tree out, then put a copy of the
    // root's node first by moving its 8 bytes there.
    image.resize(image.size() + 8);
    const uint32_t rootNode = emit(root);
    std::copy(image.begin() + rootNode, image.begin() + rootNode + 8, image.begin() + start);
    image.resize(rootNode);
    setLe32(image, 8, static_cast<uint32_t>(image.size()));
    setLe32(image, 16, start);
    crypt(image, archive.key, 20, image.size());
    if (archive.trailer)
    {
        const std::string line = "Copyright 1998 Cavedog Entertainment";
        image.insert(image.end(), line.begin(), line.end());
    }
    return image;
}

std::string refReadHpi(const std::vector<uint8_t>& image, RefHpi& archive)
{
    archive = RefHpi{};
    if (image.size() < 20 || le32(image, 0) != 0x49504148) return "no HAPI";
    archive.version = le32(image, 4);
    archive.key = le32(image, 12);
    const std::string tail = image.size() >= 56 ? std::string(image.end() - 36, image.end()) : std::string();
    archive.trailer = tail.rfind("Copyright ", 0) == 0 && tail.substr(14) == " Cavedog Entertainment";
    std::vector<uint8_t> plain = image;
    const size_t end = image.size() - (archive.trailer ? 36 : 0);
    crypt(plain, archive.key, 20, end);
    const uint32_t dirEnd = le32(image, 8);
    if (dirEnd > end) return "directory end past the data";

    std::string problem;
    std::function<void(uint32_t, const std::string&, int)> walk =
        [&](uint32_t node, const std::string& prefix, int depth)
    {
        if (depth > 40 || !problem.empty()) return void(problem = problem.empty() ? "too deep" : problem);
        const uint32_t count = le32(plain, node);
        const uint32_t table = le32(plain, node + 4);
        for (uint32_t i = 0; i < count && problem.empty(); ++i)
        {
            const size_t e = table + 9 * i;
            std::string name;
            for (size_t p = le32(plain, e); plain.at(p) != 0; ++p)
                name.push_back(static_cast<char>(plain[p]));
            const uint32_t target = le32(plain, e + 4);
            if (plain.at(e + 8) & 1)
            {
                walk(target, prefix + name + "/", depth + 1);
                continue;
            }
            RefHpiFile file;
            file.path = prefix + name;
            const uint32_t at = le32(plain, target);
            const uint32_t size = le32(plain, target + 4);
            file.method = plain.at(target + 8);
            if (file.method == 0)
            {
                file.bytes.assign(plain.begin() + at, plain.begin() + at + size);
                file.stored = file.bytes;
            }
            else
            {
                const size_t pieces = (size_t(size) + 65535) / 65536;
                size_t pos = at + 4 * pieces;
                for (size_t c = 0; c < pieces; ++c)
                {
                    const uint32_t total = le32(plain, at + 4 * c);
                    if (le32(plain, pos) != 0x48535153) return void(problem = file.path + ": no SQSH");
                    const int method = plain.at(pos + 5);
                    file.encoded = plain.at(pos + 6) != 0;
                    const uint32_t packedSize = le32(plain, pos + 7);
                    const uint32_t unpacked = le32(plain, pos + 11);
                    if (packedSize + 19 != total || unpacked > 65536)
                        return void(problem = file.path + ": sizes");
                    std::vector<uint8_t> packed(plain.begin() + pos + 19, plain.begin() + pos + total);
                    uint32_t sum = 0;
                    for (size_t x = 0; x < packed.size(); ++x)
                    {
                        sum += packed[x];
                        if (file.encoded)
                            packed[x] = static_cast<uint8_t>((packed[x] - (x & 0xFF)) ^ (x & 0xFF));
                    }
                    if (sum != le32(plain, pos + 15)) return void(problem = file.path + ": checksum");
                    std::vector<uint8_t> piece;
                    bool ok = true;
                    if (method == 1)
                        ok = lzUnpack(packed.data(), packed.size(), piece, unpacked);
                    else if (method == 2)
                    {
                        piece.resize(unpacked);
                        uLongf length = unpacked;
                        ok = uncompress(piece.data(), &length, packed.data(),
                                        static_cast<uLong>(packed.size())) == Z_OK &&
                             length == unpacked;
                    }
                    else
                        piece = packed;
                    if (!ok || piece.size() != unpacked)
                        return void(problem = file.path + ": chunk does not decode");
                    file.bytes.insert(file.bytes.end(), piece.begin(), piece.end());
                    pos += total;
                }
                file.stored.assign(plain.begin() + at, plain.begin() + pos);
                if (file.bytes.size() != size) return void(problem = file.path + ": size");
            }
            archive.files.push_back(std::move(file));
        }
    };
    walk(le32(image, 16), "", 0);
    return problem;
}

} // namespace scourvane::test
