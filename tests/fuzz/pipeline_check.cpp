// The pipeline properties checked on fuzzed inputs. Every check compares against what the model
// promises (counts, the keep rule, first-use numbering, the layout size), never against the code
// that produced the result, so a mistake in either shows up as a difference.
#include "fuzz/pipeline_check.h"

#include "clean/part_cleaner.h"
#include "model/byte_key_table.h"
#include "model/model_reader.h"
#include "model/model_writer.h"

#include <cstring>
#include <set>
#include <tuple>
#include <vector>

namespace scourvane::fuzz
{

namespace
{

std::vector<const ObjectPart*> partsInWalkOrder(const ObjectPart& root)
{
    std::vector<const ObjectPart*> parts;
    walkParts(root, [&](const ObjectPart& part) { parts.push_back(&part); });
    return parts;
}

// A stored name is its bytes up to and including the first NUL, and nothing after it.
bool isWholeName(const std::string& name)
{
    return !name.empty() && name.find('\0') == name.size() - 1;
}

std::string checkShape(const ObjectPart& root)
{
    uint32_t vertexes = 0;
    uint32_t faces = 0;
    std::string problem;
    walkParts(root,
              [&](const ObjectPart& part)
              {
                  if (!problem.empty()) return;
                  if (part.vertexCount != part.vertexes.size())
                      problem = "vertexCount differs from the length of the vertex array";
                  else if (part.faceCount != part.faces.size())
                      problem = "faceCount differs from the length of the face array";
                  else if (part.version != 1 || part.reservedZero != 0)
                      problem = "a part with a bad version or reserved word got into the tree";
                  else if (!isWholeName(part.name))
                      problem = "a part name is not ended by its only NUL";
                  for (const Face& face : part.faces)
                  {
                      if (face.indexCount != face.indexes.size())
                          problem = "indexCount differs from the length of the index list";
                      else if (face.hasTexture() && !isWholeName(face.textureName))
                          problem = "a texture name is not ended by its only NUL";
                  }
                  vertexes += part.vertexCount;
                  faces += part.faceCount;
              });
    if (!problem.empty()) return problem;
    if (root.countVertexes() != vertexes) return "countVertexes differs from the sum over the parts";
    if (root.countFaces() != faces) return "countFaces differs from the sum over the parts";
    return "";
}

bool keptByRule(const Face& face, uint32_t number, uint32_t protectedFace)
{
    return face.hasTexture() || face.colourIndex != 0 || number == protectedFace || face.indexes.size() == 2;
}

// `before` is the part as loaded, `after` the same part once cleaned.
std::string checkCleanedPart(const ObjectPart& before, const ObjectPart& after)
{
    if (before.name != after.name || before.version != after.version ||
        before.reservedZero != after.reservedZero || before.positionX != after.positionX ||
        before.positionY != after.positionY || before.positionZ != after.positionZ)
        return "cleaning changed a part's name, version, reserved word or position";
    if (!partWithinCleaningLimits(before))
    {
        if (before.vertexes != after.vertexes || before.faces != after.faces ||
            before.protectedFace != after.protectedFace)
            return "a part beyond the cleaning limits was changed";
        return "";
    }

    std::vector<uint32_t> kept;
    for (uint32_t number = 0; number < before.faces.size(); ++number)
        if (keptByRule(before.faces[number], number, before.protectedFace)) kept.push_back(number);

    if (kept.empty())
    {
        Face point;
        point.indexCount = 1;
        point.indexes = {0};
        if (after.faces.size() != 1 || !(after.faces[0] == point) || after.vertexes.size() != 1 ||
            !(after.vertexes[0] == Vertex{}))
            return "a part left without faces did not get exactly one point at the origin";
        if (after.protectedFace != before.protectedFace)
            return "protectedFace changed in a part left without faces";
        return "";
    }

    if (after.faces.size() != kept.size()) return "the faces kept are not the ones the keep rule keeps";
    uint32_t expectedProtected = before.protectedFace;
    size_t used = 0;
    for (size_t k = 0; k < kept.size(); ++k)
    {
        const Face& old = before.faces[kept[k]];
        const Face& now = after.faces[k];
        if (kept[k] == before.protectedFace) expectedProtected = static_cast<uint32_t>(k);
        if (old.colourIndex != now.colourIndex || old.faceWord2 != now.faceWord2 ||
            old.extra0 != now.extra0 || old.extra1 != now.extra1 || old.extra2 != now.extra2 ||
            old.textureName != now.textureName)
            return "a kept face lost one of its carried words or its texture name";
        if (old.indexes.size() != now.indexes.size()) return "a kept face changed its number of indexes";
        for (size_t i = 0; i < now.indexes.size(); ++i)
        {
            const size_t index = now.indexes[i];
            if (index > used) return "vertexes are not numbered in the order the kept faces first use them";
            if (index == used) ++used;
            if (index >= after.vertexes.size()) return "a cleaned face refers past the vertex array";
            if (!(after.vertexes[index] == before.vertexes[old.indexes[i]]))
                return "a corner of a kept face moved to other coordinates";
        }
    }
    if (used != after.vertexes.size()) return "the cleaned part keeps vertexes that no face uses";
    std::set<std::tuple<uint32_t, uint32_t, uint32_t>> coordinates;
    for (const Vertex& vertex : after.vertexes)
        if (!coordinates.emplace(vertex.x, vertex.y, vertex.z).second)
            return "two vertexes with the same coordinates survived cleaning";
    if (after.protectedFace != expectedProtected)
        return "protectedFace does not follow the protected face to its new position";
    return "";
}

// The size of the image the writer must make for the tree, from the layout rule alone: 52 per part,
// each distinct texture name with its NUL once, 2 per index, 12 per vertex, 32 per face and each
// part's name with its NUL.
uint64_t layoutSize(const ObjectPart& root)
{
    uint64_t size = 0;
    std::set<std::string> textureNames;
    walkParts(root,
              [&](const ObjectPart& part)
              {
                  size += 52 + 12 * uint64_t{part.vertexes.size()} + 32 * uint64_t{part.faces.size()};
                  size += part.name.empty() ? 1 : part.name.size();
                  for (const Face& face : part.faces)
                  {
                      size += 2 * uint64_t{face.indexes.size()};
                      if (face.hasTexture()) textureNames.insert(face.textureName);
                  }
              });
    for (const std::string& name : textureNames)
        size += name.size();
    return size;
}

// Builds the image and checks its size three ways: the bytes made, the writer's prediction and the
// layout rule.
std::string buildChecked(const ObjectPart& root, std::vector<uint8_t>& image)
{
    const uint64_t predicted = modelImageSize(root);
    if (predicted != layoutSize(root)) return "modelImageSize differs from the size the layout rule gives";
    const bool built = root.buildModelImage(image);
    if (predicted >= (uint64_t{1} << 31)) return built ? "an image of 2^31 bytes or more was built" : "";
    if (!built) return "buildModelImage failed on a tree of ordinary size";
    if (image.size() != predicted) return "the image is not as long as modelImageSize says";
    return "";
}

} // namespace

std::string checkPipeline(const uint8_t* data, size_t size)
{
    ObjectPart root;
    LoadError error;
    if (!root.loadModelBytes(data, size, &error))
    {
        if (error.result == LoadResult::ok) return "a failed load gave no reason";
        if (describeLoadError(error).empty()) return "a failed load has no description";
        return "";
    }
    if (error.result != LoadResult::ok) return "a successful load reported an error";
    std::string problem = checkShape(root);
    if (!problem.empty()) return "after loading: " + problem;

    // The writer must round-trip any loaded tree, cleaned or not.
    std::vector<uint8_t> image;
    problem = buildChecked(root, image);
    if (!problem.empty() || image.empty()) return problem.empty() ? "" : "before cleaning: " + problem;
    ObjectPart loaded;
    if (!loaded.loadModelBytes(image.data(), image.size()))
        return "the image of the loaded tree does not load";
    if (!sameTree(root, loaded)) return "the image of the loaded tree reloads as another tree";

    cleanPart(root);
    problem = checkShape(root);
    if (!problem.empty()) return "after cleaning: " + problem;
    const std::vector<const ObjectPart*> before = partsInWalkOrder(loaded);
    const std::vector<const ObjectPart*> after = partsInWalkOrder(root);
    if (before.size() != after.size()) return "cleaning changed the number of parts";
    for (size_t i = 0; i < before.size(); ++i)
    {
        problem = checkCleanedPart(*before[i], *after[i]);
        if (!problem.empty()) return problem;
    }

    problem = buildChecked(root, image);
    if (!problem.empty()) return "after cleaning: " + problem;
    ObjectPart reloaded;
    LoadError reloadError;
    if (!reloaded.loadModelBytes(image.data(), image.size(), &reloadError))
        return "the cleaned image does not load: " + describeLoadError(reloadError);
    if (!sameTree(root, reloaded)) return "the cleaned image reloads as another tree";

    cleanPart(reloaded);
    if (!sameTree(root, reloaded)) return "a second clean changed the tree";
    std::vector<uint8_t> again;
    if (!reloaded.buildModelImage(again) || again != image) return "a second clean gave other bytes";
    return "";
}

namespace
{

// Reads the operation stream; past its end every byte is 0.
class ByteStream
{
  public:
    ByteStream(const uint8_t* data, size_t size) : data_(data), left_(size) {}
    bool empty() const { return left_ == 0; }
    uint8_t next()
    {
        if (left_ == 0) return 0;
        --left_;
        return *data_++;
    }
    // A short string over a four-letter alphabet (NUL included), so that keys repeat often.
    std::string shortString(uint32_t maxLength)
    {
        const uint32_t length = next() % (maxLength + 1);
        std::string text;
        for (uint32_t i = 0; i < length; ++i)
            text.push_back(static_cast<char>(next() & 3));
        return text;
    }

  private:
    const uint8_t* data_;
    size_t left_;
};

// The table as the plain list of slots it stands for, searched from slot 0.
struct ReferenceTable
{
    std::vector<std::pair<std::string, std::string>> slots; // key ("" for a grown, unset slot), value

    uint32_t find(const std::string& key) const
    {
        if (key.empty()) return noSlot;
        for (size_t i = 0; i < slots.size(); ++i)
            if (slots[i].first == key) return static_cast<uint32_t>(i);
        return noSlot;
    }
};

std::string sameMembers(const ByteKeyTable& table, const ReferenceTable& reference)
{
    const size_t count = reference.slots.size();
    if (table.count != count || table.keys.size() != count || table.keyLengths.size() != count ||
        table.values.size() != count || table.valueLengths.size() != count)
        return "the slot arrays do not all hold count entries";
    for (size_t i = 0; i < count; ++i)
    {
        const auto& [key, value] = reference.slots[i];
        if (table.keys[i] != key || table.keyLengths[i] != key.size())
            return "slot " + std::to_string(i) + " holds another key";
        if (table.values[i] != value || table.valueLengths[i] != value.size())
            return "slot " + std::to_string(i) + " holds another value";
    }
    return "";
}

uint32_t length32(const std::string& text)
{
    return static_cast<uint32_t>(text.size());
}

} // namespace

std::string checkByteKeyTable(const uint8_t* data, size_t size)
{
    ByteStream in(data, size);
    ByteKeyTable table;
    ReferenceTable reference;
    for (uint32_t step = 0; !in.empty(); ++step)
    {
        const std::string where = " (operation " + std::to_string(step) + ")";
        const uint8_t op = in.next();
        const std::string key = in.shortString(4);
        switch (op % 10)
        {
        case 0:
        case 1:
        case 2:
        {
            // Values are sometimes none: a null pointer (with any length) or a length of 0.
            const std::string value = in.shortString(5);
            const bool nullValue = (op & 0x10) != 0;
            const uint32_t valueLength = nullValue ? 3u : length32(value);
            const bool isNew =
                table.set(key.data(), length32(key), nullValue ? nullptr : value.data(), valueLength);
            uint32_t slot = reference.find(key);
            const bool expectNew = !key.empty() && slot == noSlot;
            if (!key.empty())
            {
                if (slot == noSlot)
                {
                    reference.slots.emplace_back(key, "");
                    slot = static_cast<uint32_t>(reference.slots.size() - 1);
                }
                reference.slots[slot].second = nullValue ? std::string() : value;
            }
            if (isNew != expectNew) return "set gave the wrong answer to whether the key was new" + where;
            break;
        }
        case 3:
            if (table.set(nullptr, length32(key) + 1, key.data(), length32(key)))
                return "set with no key claimed a new key" + where;
            break;
        case 4:
            if (table.contains(key.data(), length32(key)) != (reference.find(key) != noSlot))
                return "contains disagrees with a scan of the slots" + where;
            break;
        case 5:
        {
            uint32_t valueLength = 12345;
            const uint8_t* value = table.get(key.data(), length32(key), &valueLength);
            const uint32_t slot = reference.find(key);
            const std::string expected = slot == noSlot ? std::string() : reference.slots[slot].second;
            if (valueLength != expected.size()) return "get gave the wrong value length" + where;
            if ((value == nullptr) != expected.empty() ||
                (value && std::memcmp(value, expected.data(), expected.size()) != 0))
                return "get gave the wrong value" + where;
            break;
        }
        case 6:
            if (table.find(key.data(), length32(key)) != reference.find(key) ||
                table.find(nullptr, length32(key)) != noSlot)
                return "find disagrees with a scan of the slots" + where;
            break;
        case 7:
        {
            const uint32_t slot =
                in.next() % (length32(key) + 1 + static_cast<uint32_t>(reference.slots.size()));
            const bool expected = slot < reference.slots.size() && reference.slots[slot].first == key;
            if (table.keyMatchesAt(slot, key.data(), length32(key)) != expected)
                return "keyMatchesAt disagrees with the slot's key" + where;
            if (table.keyMatchesAt(slot, nullptr, length32(key)))
                return "keyMatchesAt matched no key" + where;
            break;
        }
        case 8:
            table.grow();
            reference.slots.emplace_back();
            break;
        case 9:
            // Releasing is rare in use; keep it rare here so tables grow large.
            if ((op & 0xF0) == 0xF0)
            {
                table.release();
                reference.slots.clear();
            }
            break;
        }
        const std::string problem = sameMembers(table, reference);
        if (!problem.empty()) return problem + where;
    }
    return "";
}

} // namespace scourvane::fuzz
