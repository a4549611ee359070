// The zip reader and rewriter: hand-laid layouts everywhere, archives of other tools where they are
// installed (checked afterwards by unzip and Python's zipfile).
#include "archive/archive.h"
#include "archive/zip_builder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

namespace scourvane
{
namespace
{

using archive::Archive;
using archive::ArchiveResult;
using archive::Replacement;
using test::sampleBytes;
using test::ZipLayout;
using test::ZipSpec;

std::vector<ZipSpec> sampleEntries(bool descriptor, bool zip64)
{
    return {
        ZipSpec{"units/ARM.3do", sampleBytes(30000, 1), 8, 0, descriptor, zip64},
        ZipSpec{"stored.3DO", sampleBytes(700, 2), 0, 0, descriptor, zip64},
        ZipSpec{"folder/", {}, 0, 0, false, false},
        ZipSpec{"sound.zst", sampleBytes(500, 3), 93, 0, descriptor, zip64}, // zstd: kept raw, never decoded
        ZipSpec{"secret.3do", sampleBytes(400, 4), 0, 1, false, zip64}};     // encrypted
}

TEST(ZipArchive, RewriteReplacesModelsAndKeepsEveryOtherEntryByteForByteInEveryLayout)
{
    // Plain entries come with the bytes ahead; ZIP64 fields without descriptors are also made by
    // Info-ZIP (a streamed entry) and Python in the other tools' test below.
    struct Case
    {
        const char* name;
        bool descriptor, zip64;
        ZipLayout layout;
    };
    const Case cases[] = {
        {"descriptors", true, false, {}},
        {"zip64 descriptors", true, true, {{}, "", true}},
        {"prefix and comment", false, false, {sampleBytes(300, 9), "a comment kept as it was", false}}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::vector<ZipSpec> specs = sampleEntries(c.descriptor, c.zip64);
        const std::vector<uint8_t> image = test::buildZip(specs, c.layout);
        Archive opened;
        ASSERT_EQ(describeArchiveError(opened.open(image.data(), image.size())), "");
        ASSERT_EQ(opened.entries().size(), specs.size());
        std::vector<uint8_t> bytes;
        for (size_t i = 0; i < 3; ++i)
        {
            EXPECT_EQ(opened.entries()[i].path, specs[i].name);
            ASSERT_TRUE(opened.read(i, bytes).ok());
            EXPECT_EQ(bytes, specs[i].data);
            std::vector<uint8_t> start;
            ASSERT_TRUE(opened.readStart(i, 52, start).ok());
            EXPECT_EQ(start, std::vector<uint8_t>(bytes.begin(),
                                                  bytes.begin() + std::min<size_t>(52, bytes.size())));
        }
        EXPECT_TRUE(opened.entries()[2].folder);
        EXPECT_EQ(opened.read(3, bytes).result, ArchiveResult::unsupportedMethod);
        EXPECT_EQ(opened.read(4, bytes).result, ArchiveResult::encryptedEntry);

        const std::vector<uint8_t> arm = sampleBytes(12000, 7);
        const std::vector<uint8_t> stored = sampleBytes(300, 8);
        const Replacement replacements[] = {{0, arm}, {1, stored}};
        std::vector<uint8_t> rewritten;
        ASSERT_EQ(describeArchiveError(opened.rewrite(replacements, rewritten)), "");
        ASSERT_EQ(describeArchiveError(archive::verifyRewrite(image.data(), image.size(), rewritten.data(),
                                                              rewritten.size(), replacements)),
                  "");
        Archive after;
        ASSERT_TRUE(after.open(rewritten.data(), rewritten.size()).ok());
        ASSERT_TRUE(after.read(0, bytes).ok());
        EXPECT_EQ(bytes, arm);
        ASSERT_TRUE(after.read(1, bytes).ok());
        EXPECT_EQ(bytes, stored);
        EXPECT_EQ(after.zip().entries()[0].method, 8);
        EXPECT_EQ(after.zip().entries()[1].method, 0);
        EXPECT_EQ(after.zip().entries()[0].descriptorLength, opened.zip().entries()[0].descriptorLength);
        for (size_t i = 2; i < specs.size(); ++i)
        {
            const auto a = opened.zip().rawEntry(i);
            const auto b = after.zip().rawEntry(i);
            EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end())) << specs[i].name;
        }
        // The replaced entry's other extra field (the timestamp) is still there.
        EXPECT_NE(test::findSignature(rewritten, 0x00055455), rewritten.size());
        EXPECT_TRUE(std::equal(c.layout.prefix.begin(), c.layout.prefix.end(), rewritten.begin()));
        EXPECT_TRUE(std::equal(image.end() - static_cast<long>(c.layout.comment.size()), image.end(),
                               rewritten.end() - static_cast<long>(c.layout.comment.size())));
        EXPECT_EQ(test::findSignature(rewritten, 0x06064b50) != rewritten.size(), c.layout.zip64End);
    }
}

TEST(ZipArchive, RefusesToReplaceEncryptedUndecodableOrMisnamedEntries)
{
    const std::vector<uint8_t> image = test::buildZip(sampleEntries(false, false), {});
    Archive opened;
    ASSERT_TRUE(opened.open(image.data(), image.size()).ok());
    const std::vector<uint8_t> bytes = {1, 2, 3};
    std::vector<uint8_t> out;
    const std::pair<std::vector<Replacement>, ArchiveResult> cases[] = {
        {{{4, bytes}}, ArchiveResult::encryptedEntry},
        {{{3, bytes}}, ArchiveResult::unsupportedMethod},
        {{{2, bytes}}, ArchiveResult::badReplacement},
        {{{0, bytes}, {0, bytes}}, ArchiveResult::badReplacement},
        {{{99, bytes}}, ArchiveResult::badReplacement}};
    for (const auto& [replacements, result] : cases)
        EXPECT_EQ(opened.rewrite(replacements, out).result, result);
    // A verification that is handed other bytes than the image holds says which entry differs.
    const Replacement claimed[] = {{0, bytes}};
    const archive::ArchiveError error =
        archive::verifyRewrite(image.data(), image.size(), image.data(), image.size(), claimed);
    EXPECT_EQ(error.result, ArchiveResult::rewriteMismatch);
    EXPECT_EQ(error.entry, "units/ARM.3do");
}

TEST(ZipArchive, CountsPastSixtyFiveThousandEntriesAreWrittenThroughZip64)
{
    std::vector<ZipSpec> specs(70000);
    for (size_t i = 0; i < specs.size(); ++i)
    {
        std::string name = "e";
        name += std::to_string(i); // (not "e" + ...: GCC 12 warns wrongly of overlapping copies)
        specs[i] = ZipSpec{name, {}, 0, 0, false, false};
    }
    specs[5].data = sampleBytes(100, 5);
    std::vector<uint8_t> image = test::buildZip(specs, {{}, "", true});
    Archive opened;
    ASSERT_TRUE(opened.open(image.data(), image.size()).ok());
    const std::vector<uint8_t> model = sampleBytes(50, 6);
    const Replacement replacements[] = {{5, model}};
    std::vector<uint8_t> rewritten;
    ASSERT_TRUE(opened.rewrite(replacements, rewritten).ok());
    EXPECT_TRUE(
        archive::verifyRewrite(image.data(), image.size(), rewritten.data(), rewritten.size(), replacements)
            .ok());
    EXPECT_EQ(test::le32(rewritten, rewritten.size() - 22 + 8), 0xFFFFFFFFu); // both counts marked
}

#ifndef _WIN32
bool haveTool(const std::string& name)
{
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}
int run(const std::string& command)
{
    return std::system(command.c_str());
}

// Archives made by other tools: each one read, its model replaced, checked by unzip and Python.
TEST(ZipArchive, ArchivesOfOtherToolsStayValidForUnzipAndPythonAfterARewrite)
{
    const test::TempDir dir;
    const std::string src = dir.file("src");
    run("mkdir -p '" + src + "/units' '" + src + "/empty'");
    const std::map<std::string, std::vector<uint8_t>> files = {{"units/ARMCOM.3DO", sampleBytes(40000, 1)},
                                                               {"readme.txt", sampleBytes(3000, 2)},
                                                               {"big.bin", sampleBytes(300000, 3)}};
    for (const auto& [name, bytes] : files)
        test::writeBytes(src + "/" + name, bytes);

    struct Tool
    {
        const char* name;
        const char* program;
        std::string command; // makes OUT from the files in src
    };
    const std::string py = "python3 -c \"import zipfile,sys,os; ";
    const Tool tools[] = {
        {"Info-ZIP", "zip", "cd '" + src + "' && zip -q -r -9 OUT . && echo kept | zip -q -z OUT"},
        {"Info-ZIP streamed", "zip",
         "cd '" + src + "' && cat units/ARMCOM.3DO | zip -q -fd OUT - && zip -q OUT readme.txt"},
        {"Python", "python3",
         "cd '" + src + "' && " + py +
             "z=zipfile.ZipFile('OUT','w'); z.write('units/ARMCOM.3DO',compress_type=zipfile.ZIP_DEFLATED); "
             "z.write('readme.txt'); w=z.open('big.bin','w',force_zip64=True); "
             "w.write(open('big.bin','rb').read()); "
             "w.close(); z.comment=b'py'; z.close()\""},
        {"7-Zip", "7zz", "cd '" + src + "' && 7zz a -tzip -mx=9 OUT . >/dev/null"},
        {"bsdtar", "bsdtar", "cd '" + src + "' && bsdtar --format zip -cf - . > OUT"},
    };
    int made = 0;
    for (const Tool& tool : tools)
    {
        SCOPED_TRACE(tool.name);
        if (!haveTool(tool.program))
        {
            std::printf("skipping %s: %s is not installed\n", tool.name, tool.program);
            continue;
        }
        const std::string zipPath = dir.file(std::string("made") + std::to_string(made++) + ".zip");
        std::string command = tool.command;
        for (size_t at; (at = command.find("OUT")) != std::string::npos;)
            command.replace(at, 3, zipPath);
        ASSERT_EQ(run(command), 0) << command;
        const std::vector<uint8_t> image = test::readBytes(zipPath);
        Archive opened;
        ASSERT_EQ(describeArchiveError(opened.open(image.data(), image.size())), "");
        std::vector<Replacement> replacements;
        const std::vector<uint8_t> model = sampleBytes(9000, 77);
        std::vector<uint8_t> bytes;
        for (size_t i = 0; i < opened.entries().size(); ++i)
        {
            const std::string& path = opened.entries()[i].path;
            if (opened.entries()[i].folder) continue;
            ASSERT_TRUE(opened.read(i, bytes).ok()) << path;
            const std::string name =
                path == "-" ? "units/ARMCOM.3DO" : path.substr(path.rfind("./", 0) == 0 ? 2 : 0);
            ASSERT_EQ(bytes, files.at(name)) << path;
            if (name == "units/ARMCOM.3DO") replacements.push_back({i, model});
        }
        ASSERT_EQ(replacements.size(), 1u);
        std::vector<uint8_t> rewritten;
        ASSERT_TRUE(opened.rewrite(replacements, rewritten).ok());
        ASSERT_TRUE(archive::verifyRewrite(image.data(), image.size(), rewritten.data(), rewritten.size(),
                                           replacements)
                        .ok());
        const std::string outPath = zipPath + ".new.zip";
        test::writeBytes(outPath, rewritten);
        EXPECT_EQ(run("unzip -tqq '" + outPath + "' >/dev/null"), 0);
        const std::string modelPath = dir.file("model.bin");
        test::writeBytes(modelPath, model);
        const std::string name = opened.entries()[replacements[0].entry].path;
        EXPECT_EQ(run(py + "z=zipfile.ZipFile('" + outPath +
                      "'); assert z.testzip() is None; assert z.read('" + name + "')==open('" + modelPath +
                      "','rb').read()\""),
                  0);
    }
}
#endif

} // namespace
} // namespace scourvane
