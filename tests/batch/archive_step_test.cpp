// The per-archive step end to end on real files: models inside zip and TA archives cleaned with the
// guarantees of a loose model, every other entry kept, and the archive left whole on any failure.
#include "archive/archive.h"
#include "archive/hpi_reference.h"
#include "archive/zip_builder.h"
#include "batch/archive_step.h"
#include "platform/file_io.h"
#include "platform/folder.h"
#include "support/part_helpers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace scourvane::test
{
namespace
{
std::vector<uint8_t> cleanedOf(const std::vector<uint8_t>& model)
{
    const CleanedModel cleaned = cleanModelBytes(model.data(), model.size());
    return cleaned.figures.changed ? cleaned.image : model;
}

// The entries of an archive image by path, decoded.
std::vector<std::pair<std::string, std::vector<uint8_t>>> contentsOf(const std::vector<uint8_t>& image)
{
    archive::Archive opened;
    EXPECT_TRUE(opened.open(image.data(), image.size()).ok());
    std::vector<std::pair<std::string, std::vector<uint8_t>>> contents;
    for (size_t i = 0; i < opened.entries().size(); ++i)
    {
        std::vector<uint8_t> bytes;
        if (!opened.entries()[i].folder)
        {
            EXPECT_TRUE(opened.read(i, bytes).ok());
        }
        contents.emplace_back(opened.entries()[i].path, bytes);
    }
    return contents;
}

std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    platform::listFolderFiles(folder.c_str(), names);
    std::sort(names.begin(), names.end());
    return names;
}

const std::vector<uint8_t> texture(70000, 0x5A); // more than one TA chunk

std::vector<uint8_t> modZip(const std::vector<uint8_t>& second)
{
    return buildZip({{"objects3d/Dirty.3DO", dirtyModel()},
                     {"objects3d/second.3do", second, 0},
                     {"unittextures/tatex/t00.bmp", texture}},
                    {});
}

std::vector<uint8_t> modHpi(int method, uint32_t key)
{
    RefHpi hpi;
    hpi.key = key;
    hpi.files = {{"objects3d/Dirty.3DO", dirtyModel(), method, true, {}},
                 {"Textures/t.gaf", texture, method, false, {}}};
    return refWriteHpi(hpi);
}
} // namespace

TEST(ArchiveStep, ModelsInsideAreCleanedAndEveryOtherEntryKept)
{
    const std::vector<uint8_t> broken = {1, 0, 0, 0, 9};
    for (const std::vector<uint8_t>& original : {modZip(broken), modHpi(1, 0x7D), modHpi(2, 0), modHpi(0, 3)})
    {
        TempDir dir;
        const std::string path = dir.file("mod.sdz");
        writeBytes(path, original);
        EXPECT_EQ(archiveKindOfFile(path.c_str()),
                  archive::detectArchiveKind(original.data(), original.size()));
        ArchiveStepOptions options;
        options.file.keepBackup = true;
        options.workers = 2;
        const ArchiveRun run = cleanArchive(path.c_str(), options);
        ASSERT_EQ(run.outcome, ArchiveOutcome::cleaned) << describeArchiveFailure(run);
        EXPECT_TRUE(run.changed && run.written);
        EXPECT_LT(run.sizeAfter, run.sizeBefore);
        EXPECT_EQ(readBytes(path + ".bak"), original);

        auto before = contentsOf(original);
        auto after = contentsOf(readBytes(path));
        ASSERT_EQ(after.size(), before.size());
        EXPECT_EQ(after[0].second, cleanedOf(before[0].second));
        for (size_t i = 1; i < before.size(); ++i)
            EXPECT_EQ(after[i], before[i]);
        ASSERT_FALSE(run.models.empty());
        EXPECT_EQ(run.models[0].entry, "objects3d/Dirty.3DO");
        EXPECT_EQ(run.models[0].result.outcome, FileOutcome::cleaned);
        if (run.models.size() > 1)
        {
            EXPECT_EQ(run.models[1].result.outcome, FileOutcome::readFailed)
                << "a broken model stays as it is";
        }
        EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"mod.sdz", "mod.sdz.bak"}));

        // Cleaned again, nothing changes and nothing is written.
        const ArchiveRun again = cleanArchive(path.c_str(), options);
        EXPECT_EQ(again.outcome, ArchiveOutcome::cleaned);
        EXPECT_FALSE(again.changed || again.written);
    }
}

TEST(ArchiveStep, AnArchiveThatDoesNotReadWholeOrWouldNotProveIsLeftAsItWas)
{
    TempDir dir;
    const std::string path = dir.file("mod.zip");
    std::vector<uint8_t> original = modZip(dirtyModel());
    // The first model's stored CRC no longer matches its data.
    setLe32(original, 14, le32(original, 14) ^ 1);
    writeBytes(path, original);
    const ArchiveRun run = cleanArchive(path.c_str(), {});
    EXPECT_EQ(run.outcome, ArchiveOutcome::readFailed);
    EXPECT_NE(describeArchiveFailure(run).find("objects3d/Dirty.3DO"), std::string::npos)
        << describeArchiveFailure(run);
    EXPECT_EQ(readBytes(path), original);

    // A disk that keeps other bytes than it was given: the read-back proof refuses the new archive.
    const std::vector<uint8_t> good = modZip(dirtyModel());
    writeBytes(path, good);
    platform::injectCorruption(1);
    const ArchiveRun corrupted = cleanArchive(path.c_str(), {});
    platform::clearFaults();
    EXPECT_EQ(corrupted.outcome, ArchiveOutcome::notSameImage);
    EXPECT_EQ(readBytes(path), good);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"mod.zip"});

    // A dry run proves the new archive in memory and writes nothing.
    ArchiveStepOptions dry;
    dry.file.dryRun = true;
    const ArchiveRun preview = cleanArchive(path.c_str(), dry);
    EXPECT_EQ(preview.outcome, ArchiveOutcome::cleaned);
    EXPECT_TRUE(preview.changed && !preview.written);
    EXPECT_EQ(readBytes(path), good);

    // Entries named like models are looked at before they are decoded whole: one that would unpack
    // far beyond what models pack to (half a gigabyte from a kilobyte) is left unread, and a large
    // one whose first header is no model is left after its first bytes; the other models are
    // cleaned. A small one is read whole, so a size that lies fails the archive.
    std::vector<uint8_t> bomb = buildZip({{"objects3d/bomb.3do", std::vector<uint8_t>(1 << 20, 0)},
                                          {"objects3d/big.3do", std::vector<uint8_t>(2 << 20, 0), 0},
                                          {"objects3d/Dirty.3DO", dirtyModel()}},
                                         {});
    for (const size_t at : {size_t{22}, findSignature(bomb, 0x02014b50) + 24})
        setLe32(bomb, at, 1u << 29);
    writeBytes(path, bomb);
    const ArchiveRun bombed = cleanArchive(path.c_str(), {});
    EXPECT_EQ(bombed.outcome, ArchiveOutcome::cleaned) << describeArchiveFailure(bombed);
    ASSERT_EQ(bombed.models.size(), 3u);
    EXPECT_EQ(bombed.models[0].result.loadError.result, LoadResult::fileTooLarge);
    EXPECT_EQ(bombed.models[1].result.loadError.result, LoadResult::badVersion);
    EXPECT_TRUE(bombed.written && bombed.models[2].result.changed);
    std::vector<uint8_t> lying = modZip(dirtyModel());
    for (const size_t at : {size_t{22}, findSignature(lying, 0x02014b50) + 24})
        setLe32(lying, at, 100);
    writeBytes(path, lying);
    EXPECT_EQ(cleanArchive(path.c_str(), {}).outcome, ArchiveOutcome::readFailed);
    EXPECT_EQ(readBytes(path), lying);

    // A 7z archive is recognised and refused by name, never touched.
    const std::vector<uint8_t> sevenZip = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C, 0, 4, 1, 2, 3};
    writeBytes(path, sevenZip);
    EXPECT_EQ(cleanArchive(path.c_str(), {}).outcome, ArchiveOutcome::cannotRewrite);
    EXPECT_EQ(readBytes(path), sevenZip);
}

TEST(ArchiveStep, AnOutputCopyLeavesTheSourceAndExcludedModelsAlone)
{
    TempDir dir;
    const std::string path = dir.file("mod.hpi");
    const std::vector<uint8_t> original = modHpi(1, 0x11);
    writeBytes(path, original);
    const std::string output = dir.file("out/sub/mod.hpi");
    ArchiveStepOptions options;
    options.file.outputPath = output.c_str();
    options.file.makeOutputFolder = true;
    options.file.skipUnchanged = true;
    ArchiveRun run = cleanArchive(path.c_str(), options);
    ASSERT_EQ(run.outcome, ArchiveOutcome::cleaned) << describeArchiveFailure(run);
    EXPECT_TRUE(run.written);
    EXPECT_EQ(readBytes(path), original);
    EXPECT_NE(readBytes(output), original);
    EXPECT_FALSE(cleanArchive(path.c_str(), options).written) << "the output already holds it";

    options.excluded = [](std::string_view entry) { return entry.starts_with("objects3d/"); };
    options.file.outputPath = nullptr;
    run = cleanArchive(path.c_str(), options);
    EXPECT_TRUE(run.models.empty());
    EXPECT_FALSE(run.written);
    EXPECT_EQ(readBytes(path), original);
}

TEST(ArchiveStep, ARewrittenArchiveKeepsItsModificationTimeWhenAskedAndOnlyThen)
{
    TempDir dir;
    const std::string path = dir.file("mod.hpi");
    const std::vector<uint8_t> original = modHpi(1, 0x11);
    for (const bool preserve : {true, false})
    {
        SCOPED_TRACE(preserve ? "preserved" : "not preserved");
        writeBytes(path, original);
        const auto old = std::filesystem::last_write_time(path) - std::chrono::hours(24 * 400);
        std::filesystem::last_write_time(path, old);
        ArchiveStepOptions options;
        options.file.preserveTimes = preserve;
        const ArchiveRun run = cleanArchive(path.c_str(), options);
        ASSERT_EQ(run.outcome, ArchiveOutcome::cleaned) << describeArchiveFailure(run);
        EXPECT_TRUE(run.written);
        EXPECT_EQ(std::filesystem::last_write_time(path) == old, preserve);
    }
}

} // namespace scourvane::test
