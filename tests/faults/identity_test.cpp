// One file or folder however it is named: a path cannot hide that it lies inside a folder, and two
// names are one exactly when the system takes them for one. That a second spelling or a link cannot
// pass for another file is attacked end to end by scripts/fault_test.sh (a file named twice).
#include "platform/file_io.h"
#include "platform/folder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace scourvane
{
namespace
{

namespace fs = std::filesystem;
using platform::isSameOrInside;

TEST(FileIdentity, APathIsInsideAFolderHoweverEitherIsSpelt)
{
    test::TempDir dir;
    const std::string sources = dir.file("mod");
    fs::create_directories(sources + "/objects3d");
    fs::create_directory(dir.file("out"));
    fs::create_directory(dir.file("modx"));
    EXPECT_TRUE(isSameOrInside(sources.c_str(), sources.c_str()));
    EXPECT_TRUE(isSameOrInside((sources + "/objects3d").c_str(), sources.c_str()));
    EXPECT_TRUE(isSameOrInside((dir.file("out") + "/../mod/objects3d/new/deeper").c_str(), sources.c_str()))
        << "a path that does not exist yet is judged by the folders above it";
    EXPECT_FALSE(isSameOrInside(dir.file("out").c_str(), sources.c_str()));
    EXPECT_FALSE(isSameOrInside(dir.file("modx").c_str(), sources.c_str()))
        << "a longer name is another folder";
    EXPECT_FALSE(isSameOrInside(sources.c_str(), (sources + "/objects3d").c_str())) << "above is not inside";
    EXPECT_FALSE(isSameOrInside(sources.c_str(), dir.file("gone").c_str()));
#ifndef _WIN32
    // A link inside the output folder to the sources, and a link that is the output folder itself.
    fs::create_directory_symlink(sources, dir.file("out/alias"));
    fs::create_directory_symlink(sources, dir.file("alias"));
    EXPECT_TRUE(isSameOrInside(dir.file("out/alias/objects3d/a.3do").c_str(), sources.c_str()));
    EXPECT_TRUE(isSameOrInside(dir.file("alias").c_str(), sources.c_str()));
    EXPECT_TRUE(isSameOrInside((sources + "/objects3d").c_str(), dir.file("alias").c_str()));
#endif
}

#ifdef _WIN32
// `wide` in the process's code page; empty when the code page cannot hold it.
std::string inCodePage(const std::wstring& wide)
{
    BOOL lost = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0,
                                           nullptr, &lost);
    if (length <= 0 || lost) return {};
    std::string text(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), text.data(), length, nullptr,
                        nullptr);
    return text;
}

TEST(NameKey, TwoNamesShareAKeyExactlyWhenWindowsComparesThemAsOne)
{
    // Case anywhere in Unicode is one name (Cyrillic, Latin-1, Greek with its final sigma); a sharp s
    // is not two letters and an accent apart is not the accented letter, as the file system's
    // ordinal comparison has it; '/' and '\' are one separator.
    const std::vector<std::pair<std::wstring, std::wstring>> pairs{
        {L"out\\\u0416.3do", L"out\\\u0436.3do"},
        {L"\u00c4rger.3DO", L"\u00e4rger.3do"},
        {L"\u03a3\u039f\u03a6\u039f\u03a3", L"\u03c3\u03bf\u03c6\u03bf\u03c2"},
        {L"a.3do", L"b.3do"},
        {L"stra\u00dfe.3do", L"STRASSE.3do"},
        {L"\u00e9.3do", L"e\u0301.3do"},
        {L"I.3do", L"\u0131.3do"},
        {L"dir/A.3do", L"DIR\\a.3do"}};
    int compared = 0;
    for (const auto& [first, second] : pairs)
    {
        const std::string a = inCodePage(first);
        const std::string b = inCodePage(second);
        if (a.empty() || b.empty()) continue; // the code page cannot name them
        std::wstring firstSeparated = first;
        std::wstring secondSeparated = second;
        for (std::wstring* text : {&firstSeparated, &secondSeparated})
            for (wchar_t& unit : *text)
                if (unit == L'/') unit = L'\\';
        const bool oneName =
            CompareStringOrdinal(firstSeparated.c_str(), -1, secondSeparated.c_str(), -1, TRUE) == CSTR_EQUAL;
        EXPECT_EQ(platform::nameKey(a) == platform::nameKey(b), oneName) << a << " and " << b;
        ++compared;
    }
    EXPECT_GE(compared, 4) << "the code page named too few of the pairs";
}
#else
TEST(NameKey, PosixNamesAreOneOnlyByteForByte)
{
    EXPECT_EQ(platform::nameKey("out/\xd0\x96.3do"), platform::nameKey("out/\xd0\x96.3do"));
    EXPECT_NE(platform::nameKey("out/\xd0\x96.3do"), platform::nameKey("out/\xd0\xb6.3do"))
        << "Cyrillic case";
    EXPECT_NE(platform::nameKey("A.3do"), platform::nameKey("a.3do"));
}
#endif

} // namespace
} // namespace scourvane
