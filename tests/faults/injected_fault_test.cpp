// Every file operation of a save made to fail in turn, on copies of real models: whatever fails, the
// model on disk stays byte for byte as it was, no temporary file is left behind, the run goes on to
// the next file and log.txt says which file could not be read or written.
#include "batch/batch_run.h"
#include "batch/selection_list.h"
#include "platform/file_io.h"
#include "platform/shell_recording.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

namespace scourvane
{
namespace
{

namespace fs = std::filesystem;
using platform::IoStep;

// Every operation the fault plan can make fail.
const IoStep allSteps[] = {IoStep::open,  IoStep::read,  IoStep::close, IoStep::create,
                           IoStep::write, IoStep::flush, IoStep::rename};

const char* stepName(IoStep step)
{
    return platform::ioStepText(step);
}

// A fault in reading can only make the load fail, one in writing only the save; open and close
// happen on both sides.
bool canFailRead(IoStep step)
{
    return step == IoStep::open || step == IoStep::read || step == IoStep::close;
}
bool canFailWrite(IoStep step)
{
    return step != IoStep::read;
}

// Enough to go past the last operation of any save here: the loops stop at the first run that the
// fault did not reach.
constexpr uint32_t maxNth = 64;

struct Model
{
    std::string name;
    std::vector<uint8_t> original;
    std::vector<uint8_t> cleaned; // the bytes a fault-free clean writes
};

// Real models that cleaning changes, small enough to copy many times; the cleaned bytes come from a
// fault-free run on a copy.
std::vector<Model> corpusModels(size_t wanted)
{
    std::vector<Model> models;
    test::TempDir scratch;
    for (const std::string& path : test::corpusFiles())
    {
        Model model;
        model.name = fs::path(path).filename().string();
        model.original = test::readBytes(path);
        if (model.original.size() < 2000 || model.original.size() > 40000) continue;
        const std::string copy = scratch.file(model.name);
        test::writeBytes(copy, model.original);
        if (cleanFile(copy.c_str()).outcome != FileOutcome::cleaned) continue;
        model.cleaned = test::readBytes(copy);
        if (model.cleaned == model.original) continue;
        models.push_back(std::move(model));
        if (models.size() == wanted) break;
    }
    return models;
}

// True when `text` holds `head`, then `path` in double quotes, then `tail`. Built by appending:
// GCC 12 warns falsely (-Wrestrict) on chains of string additions.
bool holds(const std::string& text, const char* head, const std::string& path, const char* tail = "")
{
    std::string wanted = head;
    wanted += '"';
    wanted += path;
    wanted += '"';
    wanted += tail;
    return text.find(wanted) != std::string::npos;
}

// Every regular file under `folder`, as paths.
std::set<std::string> filesUnder(const std::string& folder)
{
    std::set<std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->is_regular_file()) files.insert(it->path().string());
    return files;
}

class InjectedFaults : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        platform::clearFaults();
        models = corpusModels(3);
        if (models.size() < 3)
            GTEST_SKIP() << "the corpus of real models is not at " << test::corpusDir()
                         << " (set SCOURVANE_CORPUS_DIR)";
    }
    void TearDown() override { platform::clearFaults(); }

    std::vector<Model> models;
};

TEST_F(InjectedFaults, ASingleSaveThatFailsAnywhereLeavesTheModelAsItWas)
{
    for (IoStep step : allSteps)
    {
        bool reached = true;
        for (uint32_t nth = 1; reached && nth <= maxNth; ++nth)
        {
            SCOPED_TRACE(std::string(stepName(step)) + ", operation " + std::to_string(nth));
            test::TempDir dir;
            const Model& model = models[0];
            const std::string path = dir.file(model.name);
            test::writeBytes(path, model.original);

            platform::injectFault(step, nth);
            const FileResult result = cleanFile(path.c_str());
            platform::clearFaults();

            reached = result.outcome != FileOutcome::cleaned;
            if (nth == 1)
            {
                EXPECT_TRUE(reached) << "the first such operation of a clean cannot be made to fail";
            }
            EXPECT_EQ(filesUnder(dir.path()), std::set<std::string>{path}) << "a temporary file was left";
            if (!reached)
            {
                EXPECT_EQ(test::readBytes(path), model.cleaned);
                continue;
            }
            EXPECT_EQ(test::readBytes(path), model.original);
            if (result.outcome == FileOutcome::readFailed)
            {
                EXPECT_TRUE(canFailRead(step));
                EXPECT_EQ(result.loadError.ioError.step, step) << describeFailure(result);
            }
            else
            {
                ASSERT_EQ(result.outcome, FileOutcome::writeFailed);
                EXPECT_TRUE(canFailWrite(step));
                EXPECT_EQ(result.saveError.ioError.step, step) << describeFailure(result);
            }
        }
        EXPECT_FALSE(reached) << stepName(step) << ": still failing after " << maxNth << " operations";
    }
}

TEST_F(InjectedFaults, AFailedBackupOrSaveKeepsTheModelAndAnyBackupWhole)
{
    FileStepOptions options;
    options.keepBackup = true;
    for (IoStep step : allSteps)
    {
        bool reached = true;
        for (uint32_t nth = 1; reached && nth <= maxNth; ++nth)
        {
            SCOPED_TRACE(std::string(stepName(step)) + ", operation " + std::to_string(nth));
            test::TempDir dir;
            const Model& model = models[1];
            const std::string path = dir.file(model.name);
            const std::string backup = path + ".bak";
            test::writeBytes(path, model.original);

            platform::injectFault(step, nth);
            const FileResult result = cleanFile(path.c_str(), options);
            platform::clearFaults();

            reached = result.outcome != FileOutcome::cleaned;
            std::set<std::string> files = filesUnder(dir.path());
            files.erase(backup);
            EXPECT_EQ(files, std::set<std::string>{path}) << "a temporary file was left";
            EXPECT_EQ(test::readBytes(path), reached ? model.original : model.cleaned);
            if (fs::exists(backup))
            {
                EXPECT_EQ(test::readBytes(backup), model.original) << "the backup is not the original";
            }
            else
            {
                EXPECT_NE(result.outcome, FileOutcome::cleaned) << "cleaned without a backup";
            }
        }
        EXPECT_FALSE(reached) << stepName(step) << ": still failing after " << maxNth << " operations";
    }
}

// The Clean command over three models in one folder, as the window runs it.
class InjectedFaultsInARun : public InjectedFaults
{
  protected:
    void SetUp() override
    {
        InjectedFaults::SetUp();
        if (IsSkipped()) return;
        std::error_code ec;
        previous_ = fs::current_path(ec);
        fs::current_path(dir.path(), ec);
        ASSERT_FALSE(ec);
        folder = dir.file("models");
        fs::create_directory(folder, ec);
        for (const Model& model : models)
            selection += model.name + '\0';
        selection = folder + '\0' + selection + '\0';
        selection.resize(selectionBufferSize, '\0');
        shell::recording::reset();
    }
    void TearDown() override
    {
        InjectedFaults::TearDown();
        std::error_code ec;
        if (!previous_.empty()) fs::current_path(previous_, ec);
    }

    // Where the run finds a model of the selection: the folder, a backslash and the name.
    std::string pathOf(const Model& model) const { return folder + "\\" + model.name; }

    void putOriginals()
    {
        for (const Model& model : models)
            test::writeBytes(pathOf(model), model.original);
    }

    void run()
    {
        RunContext context;
        context.selectionBuffer = selection.data();
        runCleaning(context);
    }

    std::string log() const
    {
        const std::vector<uint8_t> bytes = test::readBytes(dir.file("log.txt"));
        return std::string(bytes.begin(), bytes.end());
    }

    test::TempDir dir;
    std::string folder;
    std::string selection;

  private:
    fs::path previous_;
};

TEST_F(InjectedFaultsInARun, EachFaultCostsOneFileOnlyAndTheLogNamesIt)
{
    for (IoStep step : allSteps)
    {
        bool reached = true;
        for (uint32_t nth = 1; reached && nth <= maxNth; ++nth)
        {
            SCOPED_TRACE(std::string(stepName(step)) + ", operation " + std::to_string(nth));
            putOriginals();
            platform::injectFault(step, nth);
            run();
            platform::clearFaults();

            const std::string text = log();
            int failed = 0;
            for (const Model& model : models)
            {
                const bool cleaned = holds(text, "\r\nFile cleaned: ", pathOf(model), "\r\n");
                const bool readError = holds(text, "\r\nError reading file: ", pathOf(model));
                const bool writeError = holds(text, "\r\nError writing file: ", pathOf(model));
                EXPECT_EQ(int{cleaned} + int{readError} + int{writeError}, 1) << model.name << " in\n"
                                                                              << text;
                if (cleaned)
                {
                    EXPECT_EQ(test::readBytes(pathOf(model)), model.cleaned) << model.name;
                }
                else
                {
                    ++failed;
                    EXPECT_EQ(test::readBytes(pathOf(model)), model.original) << model.name;
                    EXPECT_TRUE(readError ? canFailRead(step) : canFailWrite(step)) << model.name;
                }
            }
            reached = failed != 0;
            EXPECT_LE(failed, 1) << "one fault cost more than one file:\n" << text;
            const std::string summary =
                "\r\n" + std::to_string(3 - failed) + " out of 3 files cleaned successfully";
            EXPECT_NE(text.find(summary), std::string::npos) << text;
            EXPECT_EQ(text.rfind("Report:", 0), 0u) << text;

            std::set<std::string> expected{dir.file("log.txt")};
            for (const Model& model : models)
                expected.insert(fs::path(pathOf(model)).string());
            EXPECT_EQ(filesUnder(dir.path()), expected) << "a temporary file was left";
        }
        EXPECT_FALSE(reached) << stepName(step) << ": still failing after " << maxNth << " operations";
    }
}

TEST_F(InjectedFaultsInARun, AFileRemovedOrReplacedByAFolderAfterSelectionIsReportedAndSkipped)
{
    putOriginals();
    // Selected, then gone: the second removed, the third replaced by a folder of the same name.
    fs::remove(pathOf(models[1]));
    fs::remove(pathOf(models[2]));
    fs::create_directory(pathOf(models[2]));

    run();

    const std::string text = log();
    EXPECT_TRUE(holds(text, "\r\nFile cleaned: ", pathOf(models[0]))) << text;
    EXPECT_TRUE(holds(text, "\r\nError reading file: ", pathOf(models[1]))) << text;
    EXPECT_TRUE(holds(text, "\r\nError reading file: ", pathOf(models[2]))) << text;
    EXPECT_NE(text.find("\r\n1 out of 3 files cleaned successfully"), std::string::npos) << text;
    EXPECT_EQ(test::readBytes(pathOf(models[0])), models[0].cleaned);
    EXPECT_FALSE(fs::exists(pathOf(models[1])));
    EXPECT_TRUE(fs::is_directory(pathOf(models[2])));
    EXPECT_TRUE(fs::is_empty(pathOf(models[2])));
}

} // namespace
} // namespace scourvane
