// Every file operation of a clean made to fail in turn, on copies of real models: whatever fails, the
// model on disk (and any backup) stays byte for byte as it was, no temporary file is left behind, the
// run goes on to the next file and log.txt says which file could not be read or written.
#include "batch/batch_run.h"
#include "batch/report.h"
#include "batch/selection_list.h"
#include "platform/file_io.h"
#include "platform/shell_recording.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

namespace scourvane
{
namespace
{

namespace fs = std::filesystem;
using platform::IoStep;

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

std::set<std::string> filesUnder(const std::string& folder)
{
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files.insert(entry.path().string());
    return files;
}

struct Model
{
    std::string path; // where the run finds it: the selection's folder, a backslash and the name
    std::vector<uint8_t> original;
    std::vector<uint8_t> cleaned; // the bytes a fault-free clean writes
};

// Three real models that cleaning changes, in a folder that is also the current directory, and the
// selection of all three as the window's Select would leave it.
class InjectedFaults : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        platform::clearFaults();
        const std::string folder = dir.file("models");
        fs::create_directory(folder);
        selection = folder + '\0';
        for (const std::string& corpusPath : test::corpusFiles())
        {
            const std::string name = fs::path(corpusPath).filename().string();
            Model model{folder + "\\" + name, test::readBytes(corpusPath), {}};
            if (model.original.size() < 2000 || model.original.size() > 40000) continue;
            test::writeBytes(model.path, model.original);
            if (cleanFile(model.path.c_str()).outcome == FileOutcome::cleaned)
                model.cleaned = test::readBytes(model.path);
            fs::remove(model.path);
            if (model.cleaned.empty() || model.cleaned == model.original) continue;
            models.push_back(std::move(model));
            selection += name + '\0';
            if (models.size() == 3) break;
        }
        if (models.size() < 3)
            GTEST_SKIP() << "the corpus of real models is not at " << test::corpusDir()
                         << " (set SCOURVANE_CORPUS_DIR)";
        selection.resize(selectionBufferSize, '\0');
        std::error_code ec;
        previous_ = fs::current_path(ec);
        fs::current_path(dir.path(), ec);
        ASSERT_FALSE(ec);
        shell::recording::reset();
    }
    void TearDown() override
    {
        platform::clearFaults();
        std::error_code ec;
        if (!previous_.empty()) fs::current_path(previous_, ec);
    }

    test::TempDir dir;
    std::vector<Model> models;
    std::string selection;

  private:
    fs::path previous_;
};

TEST_F(InjectedFaults, EachFaultInARunCostsOneFileOrTheLogOnlyAndTheLogNamesIt)
{
    std::set<std::string> expectedFiles{dir.file("log.txt")};
    for (const Model& model : models)
        expectedFiles.insert(fs::path(model.path).string());
    forEachFault(
        [&](IoStep step)
        {
            for (const Model& model : models)
                test::writeBytes(model.path, model.original);
            fs::remove(dir.file("log.txt"));
            RunContext context;
            context.selectionBuffer = selection.data();
            context.workers = 1; // the fault plan counts the operations of one thread
            runCleaning(context);
            if (!fs::exists(dir.file("log.txt")))
            {
                // The fault hit the log, which is then not written at all; every model is cleaned.
                EXPECT_NE(step, IoStep::read);
                for (const Model& model : models)
                    EXPECT_EQ(test::readBytes(model.path), model.cleaned) << model.path;
                std::set<std::string> withoutLog = expectedFiles;
                withoutLog.erase(dir.file("log.txt"));
                EXPECT_EQ(filesUnder(dir.path()), withoutLog) << "a temporary file was left";
                return true;
            }
            const std::vector<uint8_t> log = test::readBytes(dir.file("log.txt"));
            const std::string text(log.begin(), log.end());
            // Built by appending: GCC 12 warns falsely (-Wrestrict) on chains of string additions.
            auto logs = [&](const char* head, const Model& model)
            {
                std::string line = head;
                line += '"';
                line += model.path;
                line += '"';
                return text.find(line) != std::string::npos;
            };
            int failed = 0;
            for (const Model& model : models)
            {
                const bool cleaned = logs("\r\nFile cleaned: ", model);
                const bool readError = logs("\r\nError reading file: ", model);
                const bool writeError = logs("\r\nError writing file: ", model);
                EXPECT_EQ(int{cleaned} + int{readError} + int{writeError}, 1) << model.path << " in\n"
                                                                              << text;
                EXPECT_EQ(test::readBytes(model.path), cleaned ? model.cleaned : model.original)
                    << model.path;
                // A failed read stops the load or the save's read-back; a failed write only the save.
                EXPECT_TRUE(!readError || step == IoStep::open || step == IoStep::read ||
                            step == IoStep::close);
                failed += cleaned ? 0 : 1;
            }
            EXPECT_LE(failed, 1) << "one fault cost more than one file:\n" << text;
            const std::string summary = std::to_string(3 - failed) + " out of 3 files cleaned successfully";
            EXPECT_NE(text.find("\r\n" + summary), std::string::npos) << text;
            EXPECT_EQ(filesUnder(dir.path()), expectedFiles) << "a temporary file was left";
            return failed != 0;
        });
}

TEST_F(InjectedFaults, AFailedBackupOrSaveKeepsTheModelAndAnyBackupWhole)
{
    FileStepOptions options;
    options.keepBackup = true;
    const Model& model = models[0];
    const std::string backup = model.path + ".bak";
    forEachFault(
        [&](IoStep)
        {
            fs::remove(backup);
            test::writeBytes(model.path, model.original);
            const bool reached = cleanFile(model.path.c_str(), options).outcome != FileOutcome::cleaned;
            EXPECT_EQ(test::readBytes(model.path), reached ? model.original : model.cleaned);
            std::set<std::string> files = filesUnder(dir.path());
            const bool backedUp = files.erase(fs::path(backup).string()) == 1;
            EXPECT_TRUE(backedUp || reached) << "cleaned without a backup";
            EXPECT_EQ(files, std::set<std::string>{fs::path(model.path).string()})
                << "a temporary file was left";
            EXPECT_TRUE(!backedUp || test::readBytes(backup) == model.original)
                << "the backup is not the original";
            return reached;
        });
}

} // namespace
} // namespace scourvane
