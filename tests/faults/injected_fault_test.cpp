// Every file operation of a clean made to fail in turn, on copies of real models: whatever fails, the
// model on disk (and any backup) stays byte for byte as it was, no temporary file is left behind, the
// run goes on to the next file and log.txt says which file could not be read or written.
#include "batch/batch_run.h"
#include "batch/selection_list.h"
#include "platform/file_io.h"
#include "platform/shell_recording.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#ifdef _WIN32
#include <windows.h>
#endif

namespace scourvane
{
namespace
{

namespace fs = std::filesystem;
using platform::IoStep;

// A fault in reading can only make the load fail, one in writing only the save; open and close
// happen on both sides.
bool canFailRead(IoStep step)
{
    return step == IoStep::open || step == IoStep::read || step == IoStep::close;
}

// Calls `attempt` with a fault planned at each operation of each kind in turn, from the first
// until an attempt that the fault did not reach (`attempt` returns false then).
void forEachFault(const std::function<bool(IoStep)>& attempt)
{
    constexpr uint32_t maxNth = 64; // past the last operation of any run here
    for (IoStep step : {IoStep::open, IoStep::read, IoStep::close, IoStep::create, IoStep::write,
                        IoStep::flush, IoStep::rename})
    {
        bool reached = true;
        for (uint32_t nth = 1; reached && nth <= maxNth; ++nth)
        {
            SCOPED_TRACE(std::string(platform::ioStepText(step)) + ", operation " + std::to_string(nth));
            platform::injectFault(step, nth);
            reached = attempt(step);
            platform::clearFaults();
            EXPECT_TRUE(reached || nth > 1) << "the first such operation cannot be made to fail";
        }
        EXPECT_FALSE(reached) << platform::ioStepText(step) << ": still failing after " << maxNth;
    }
}

struct Model
{
    std::string name;
    std::vector<uint8_t> original;
    std::vector<uint8_t> cleaned; // the bytes a fault-free clean writes
};

std::set<std::string> filesUnder(const std::string& folder)
{
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files.insert(entry.path().string());
    return files;
}

// True when `text` holds `head`, then `path` in double quotes. Built by appending: GCC 12 warns
// falsely (-Wrestrict) on chains of string additions.
bool holds(const std::string& text, const char* head, const std::string& path)
{
    std::string wanted = head;
    wanted += '"';
    wanted += path;
    wanted += '"';
    return text.find(wanted) != std::string::npos;
}

// Three real models that cleaning changes, in a folder that is also the current directory, and the
// selection of all three as the window's Select would leave it.
class InjectedFaults : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        platform::clearFaults();
        for (const std::string& path : test::corpusFiles())
        {
            Model model{fs::path(path).filename().string(), test::readBytes(path), {}};
            if (model.original.size() < 2000 || model.original.size() > 40000) continue;
            const std::string copy = dir.file(model.name);
            test::writeBytes(copy, model.original);
            if (cleanFile(copy.c_str()).outcome == FileOutcome::cleaned)
                model.cleaned = test::readBytes(copy);
            fs::remove(copy);
            if (!model.cleaned.empty() && model.cleaned != model.original) models.push_back(std::move(model));
            if (models.size() == 3) break;
        }
        if (models.size() < 3)
            GTEST_SKIP() << "the corpus of real models is not at " << test::corpusDir()
                         << " (set SCOURVANE_CORPUS_DIR)";
        std::error_code ec;
        previous_ = fs::current_path(ec);
        fs::current_path(dir.path(), ec);
        ASSERT_FALSE(ec);
        folder = dir.file("models");
        fs::create_directory(folder);
        std::string names;
        for (const Model& model : models)
            names += model.name + '\0';
        selection = folder + '\0' + names + '\0';
        selection.resize(selectionBufferSize, '\0');
        shell::recording::reset();
    }
    void TearDown() override
    {
        platform::clearFaults();
        std::error_code ec;
        if (!previous_.empty()) fs::current_path(previous_, ec);
    }

    // Where the run finds a model of the selection: the folder, a backslash and the name.
    std::string pathOf(const Model& model) const { return folder + "\\" + model.name; }

    std::string run()
    {
        for (const Model& model : models)
            test::writeBytes(pathOf(model), model.original);
        RunContext context;
        context.selectionBuffer = selection.data();
        runCleaning(context);
        const std::vector<uint8_t> bytes = test::readBytes(dir.file("log.txt"));
        return std::string(bytes.begin(), bytes.end());
    }

    test::TempDir dir;
    std::vector<Model> models;
    std::string folder;
    std::string selection;

  private:
    fs::path previous_;
};

TEST_F(InjectedFaults, EachFaultInARunCostsOneFileOnlyAndTheLogNamesIt)
{
    std::set<std::string> expectedFiles{dir.file("log.txt")};
    for (const Model& model : models)
        expectedFiles.insert(fs::path(pathOf(model)).string());
    forEachFault(
        [&](IoStep step)
        {
            const std::string text = run();
            int failed = 0;
            for (const Model& model : models)
            {
                const bool cleaned = holds(text, "\r\nFile cleaned: ", pathOf(model));
                const bool readError = holds(text, "\r\nError reading file: ", pathOf(model));
                const bool writeError = holds(text, "\r\nError writing file: ", pathOf(model));
                EXPECT_EQ(int{cleaned} + int{readError} + int{writeError}, 1) << model.name << " in\n"
                                                                              << text;
                EXPECT_EQ(test::readBytes(pathOf(model)), cleaned ? model.cleaned : model.original)
                    << model.name;
                EXPECT_TRUE(!readError || canFailRead(step)) << model.name;
                EXPECT_TRUE(!writeError || step != IoStep::read) << model.name;
                failed += cleaned ? 0 : 1;
            }
            EXPECT_LE(failed, 1) << "one fault cost more than one file:\n" << text;
            const std::string summary =
                "\r\n" + std::to_string(3 - failed) + " out of 3 files cleaned successfully";
            EXPECT_NE(text.find(summary), std::string::npos) << text;
            EXPECT_EQ(text.rfind("Report:", 0), 0u) << text;
            EXPECT_EQ(filesUnder(dir.path()), expectedFiles) << "a temporary file was left";
            return failed != 0;
        });
}

TEST_F(InjectedFaults, AFailedBackupOrSaveKeepsTheModelAndAnyBackupWhole)
{
    FileStepOptions options;
    options.keepBackup = true;
    const std::string path = pathOf(models[0]);
    const std::string backup = path + ".bak";
    forEachFault(
        [&](IoStep)
        {
            fs::remove(backup);
            test::writeBytes(path, models[0].original);
            const bool reached = cleanFile(path.c_str(), options).outcome != FileOutcome::cleaned;
            EXPECT_EQ(test::readBytes(path), reached ? models[0].original : models[0].cleaned);
            std::set<std::string> files = filesUnder(dir.path());
            files.erase(backup);
            EXPECT_EQ(files, std::set<std::string>{fs::path(path).string()}) << "a temporary file was left";
            EXPECT_TRUE(fs::exists(backup) || reached) << "cleaned without a backup";
            if (fs::exists(backup))
            {
                EXPECT_EQ(test::readBytes(backup), models[0].original) << "the backup is not the original";
            }
            return reached;
        });
}

#ifdef _WIN32
// Another program holding the model open: one that lets nobody in stops the load; one that lets
// others read and write but not rename stops the new file from taking the model's place.
TEST(HeldModels, AModelHeldOpenByAnotherProgramIsReportedAndKept)
{
    const struct
    {
        DWORD access, share;
        FileOutcome outcome;
    } cases[] = {{GENERIC_READ | GENERIC_WRITE, 0, FileOutcome::readFailed},
                 {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, FileOutcome::writeFailed}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.share);
        test::TempDir dir;
        const std::string path = dir.file("m.3do");
        auto root = test::makePart("m");
        test::setVertexes(*root, {{1, 1, 1}, {1, 1, 1}});
        test::addFace(*root, test::makeFace(0, {0, 1, 0})); // dead: cleaning has work to do
        ASSERT_TRUE(root->saveModelFile(path.c_str()));
        const std::vector<uint8_t> original = test::readBytes(path);
        HANDLE held = CreateFileA(path.c_str(), c.access, c.share, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_EQ(cleanFile(path.c_str()).outcome, c.outcome);
        CloseHandle(held);
        EXPECT_EQ(test::readBytes(path), original);
        EXPECT_EQ(filesUnder(dir.path()).size(), 1u) << "a temporary file was left";
    }
}
#endif

} // namespace
} // namespace scourvane
