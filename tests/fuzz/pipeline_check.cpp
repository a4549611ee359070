// The properties checked on fuzzed inputs. The cleaning itself is compared with a plain reference in
// the cleaner's tests; here any bytes must load or fail with a reason, and the trees made from them
// must survive the writer and a second clean.
#include "fuzz/pipeline_check.h"

#include "clean/part_cleaner.h"
#include "model/byte_key_table.h"
#include "model/model_reader.h"
#include "model/model_writer.h"
#include "support/part_helpers.h"
#include "verify/model_verifier.h"

#include <cstring>
#include <vector>

namespace scourvane::fuzz
{

namespace
{

// Builds the image of `root` and reloads it: it must be as long as modelImageSize says and reload as
// the same tree. A tree of 2 GiB or more must be refused, leaving `image` empty.
std::string roundTrip(const ObjectPart& root, std::vector<uint8_t>& image)
{
    image.clear();
    const uint64_t predicted = modelImageSize(root);
    const bool built = buildModelImage(root, image);
    if (predicted >= (uint64_t{1} << 31)) return built ? "an image of 2^31 bytes or more was built" : "";
    if (!built) return "buildModelImage failed on a tree of ordinary size";
    if (image.size() != predicted) return "the image is not as long as modelImageSize says";
    ObjectPart reloaded;
    LoadError error;
    if (!reloaded.loadModelBytes(image.data(), image.size(), &error))
        return "the image does not load: " + describeLoadError(error);
    if (!sameTree(root, reloaded)) return "the image reloads as another tree";
    return "";
}

} // namespace

std::string checkPipeline(const uint8_t* data, size_t size)
{
    ObjectPart root;
    LoadError error;
    if (!root.loadModelBytes(data, size, &error))
        return error.result == LoadResult::ok ? "a failed load gave no reason" : "";

    // The writer must round-trip any loaded tree, cleaned or not.
    std::vector<uint8_t> image;
    std::string problem = roundTrip(root, image);
    if (!problem.empty() || image.empty()) return problem.empty() ? "" : "before cleaning: " + problem;
    cleanPart(root);
    problem = roundTrip(root, image);
    if (!problem.empty() || image.empty()) return problem.empty() ? "" : "after cleaning: " + problem;
    // The verifier must never stop a model that the cleaner and the writer got right.
    VerifyError refusal;
    if (!verifyCleanedImage(data, size, image.data(), image.size(), &refusal))
        return "the verifier refuses the cleaned image: " + describeVerifyError(refusal);

    ObjectPart again;
    again.loadModelBytes(image.data(), image.size());
    cleanPart(again);
    if (!sameTree(root, again)) return "a second clean changed the tree";
    std::vector<uint8_t> bytes;
    if (!buildModelImage(again, bytes) || bytes != image) return "a second clean gave other bytes";
    return "";
}

namespace
{

// The table as the plain list of keys it stands for, in slot order.
using Slots = std::vector<std::string>;

uint32_t findIn(const Slots& slots, const std::string& key)
{
    for (size_t i = 0; !key.empty() && i < slots.size(); ++i)
        if (slots[i] == key) return static_cast<uint32_t>(i);
    return noSlot;
}

std::string sameMembers(const ByteKeyTable& table, const Slots& slots)
{
    const size_t count = slots.size();
    if (table.count != count || table.keys.size() != count || table.keyLengths.size() != count)
        return "the slot arrays do not all hold count entries";
    for (size_t i = 0; i < count; ++i)
        if (table.keys[i] != slots[i] || table.keyLengths[i] != slots[i].size())
            return "slot " + std::to_string(i) + " holds another key";
    return "";
}

} // namespace

std::string checkByteKeyTable(const uint8_t* data, size_t size)
{
    size_t at = 0;
    auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
    // Short strings over a four-letter alphabet (NUL included), so that keys repeat often.
    auto shortString = [&](uint32_t maxLength)
    {
        std::string text(next() % (maxLength + 1), '\0');
        for (char& c : text)
            c = static_cast<char>(next() & 3);
        return text;
    };
    ByteKeyTable table;
    Slots slots;
    for (uint32_t step = 0; at < size; ++step)
    {
        const std::string where = " (operation " + std::to_string(step) + ")";
        const uint8_t op = next();
        const std::string key = shortString(4);
        const uint32_t keyLength = static_cast<uint32_t>(key.size());
        const uint32_t slot = findIn(slots, key);
        switch (op % 8)
        {
        case 0:
        case 1:
        case 2:
        case 6:
        {
            const uint32_t expected = key.empty()      ? noSlot
                                      : slot == noSlot ? static_cast<uint32_t>(slots.size())
                                                       : slot;
            if (table.intern(key.data(), keyLength) != expected)
                return "intern gave another slot than a scan of the slots" + where;
            if (!key.empty() && slot == noSlot) slots.push_back(key);
            break;
        }
        case 3:
            if (table.intern(nullptr, keyLength + 1) != noSlot) return "intern took a null key" + where;
            break;
        case 4:
            if (table.find(key.data(), keyLength) != slot || table.find(nullptr, keyLength) != noSlot)
                return "find disagrees with a scan of the slots" + where;
            break;
        case 5:
        {
            const uint32_t probe = next() % (keyLength + 1 + static_cast<uint32_t>(slots.size()));
            const bool expected = probe < slots.size() && slots[probe] == key;
            if (table.keyMatchesAt(probe, key.data(), keyLength) != expected ||
                table.keyMatchesAt(probe, nullptr, keyLength))
                return "keyMatchesAt disagrees with the slot's key" + where;
            break;
        }
        case 7:
            // Emptying is rare in use; keep it rare here so tables grow large. A cleared table
            // keeps its storage for the keys to come, a released one does not.
            if ((op & 0xF0) == 0xF0)
            {
                table.release();
                slots.clear();
            }
            else if ((op & 0xF0) == 0xE0)
            {
                table.clear();
                slots.clear();
            }
            break;
        }
        const std::string problem = sameMembers(table, slots);
        if (!problem.empty()) return problem + where;
    }
    return "";
}

} // namespace scourvane::fuzz
