// Shared set-up of the batch tests: a scratch folder that is also the current directory (the run
// writes log.txt there), a recording shell, and small models with known figures.
#pragma once

#include "batch/batch_run.h"
#include "batch/selection_list.h"
#include "platform/shell_recording.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace scourvane::test
{

// Sizes of the sample models as the writer lays them out.
inline constexpr int32_t plainSize = 130;   // one textured triangle, nothing to remove
inline constexpr int32_t singleSize = 180;  // one duplicate vertex and one dead face more
inline constexpr int32_t manySize = 280;    // three vertexes and two faces to remove
inline constexpr int32_t facelessSize = 54; // a part with nothing: gains a point
inline constexpr int32_t pointedSize = 100; // that part after cleaning

// One triangle with a texture: cleaning removes nothing.
std::unique_ptr<ObjectPart> plainModel();
// plainModel plus a vertex equal to vertex 0 and an untextured face of colour 0 using it.
std::unique_ptr<ObjectPart> singleModel();
// plainModel plus two duplicate vertexes, one unused vertex and two dead faces.
std::unique_ptr<ObjectPart> manyModel();
// One part with no vertexes and no faces.
std::unique_ptr<ObjectPart> facelessModel();

void writeModel(const std::string& path, const ObjectPart& root);

// A selection buffer of the full 32768 bytes: the strings, each with its NUL, then an empty one.
std::string selectionOf(const std::vector<std::string>& strings);

// Where the run looks for `name` in the multiple form: the directory, one backslash, the name.
// On Windows that is the file in the directory; elsewhere a file whose name holds the backslash.
std::string joinedPath(const std::string& directory, const std::string& name);

std::string readText(const std::string& path);

class BatchTest : public ::testing::Test
{
  protected:
    void SetUp() override;
    void TearDown() override;

    // Runs the Clean command on `selection` (null: nothing selected).
    void run(const std::string* selection);
    std::string log() const { return readText(dir.file("log.txt")); }
    bool logExists() const;
    const std::vector<shell::recording::Call>& calls() const { return shell::recording::calls(); }

    TempDir dir;
    int windows[5] = {};
    RunContext context;

  private:
    std::filesystem::path previousDirectory_;
};

} // namespace scourvane::test
