// The compiled-in resources: texts, picture sizes and formats, the icon, the About dialog, and the
// properties of the artwork the buttons rely on (lighter focus frame, greyed disabled face).
#include "app/application.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace scourvane
{
namespace
{

HINSTANCE self()
{
    return GetModuleHandleA(nullptr);
}

// The raw bytes of a resource of this program, or null.
const uint8_t* resourceBytes(int id, LPCSTR type, DWORD* size = nullptr)
{
    HRSRC found = FindResourceA(self(), MAKEINTRESOURCEA(id), type);
    if (found == nullptr) return nullptr;
    if (size != nullptr) *size = SizeofResource(self(), found);
    return static_cast<const uint8_t*>(LockResource(LoadResource(self(), found)));
}

// A bitmap resource decoded to RGB, for judging the artwork.
struct Picture
{
    int width = 0;
    int height = 0;
    int bitCount = 0;
    uint32_t compression = 0;
    std::vector<RGBQUAD> pixels; // top row first

    const RGBQUAD& at(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

Picture decode(int id)
{
    Picture picture;
    const auto* bytes = resourceBytes(id, MAKEINTRESOURCEA(2)); // RT_BITMAP
    if (bytes == nullptr) return picture;
    BITMAPINFOHEADER header;
    std::memcpy(&header, bytes, sizeof(header));
    picture.width = header.biWidth;
    picture.height = std::abs(header.biHeight);
    picture.bitCount = header.biBitCount;
    picture.compression = header.biCompression;
    if (header.biBitCount != 8 || header.biCompression != BI_RGB) return picture;
    const uint32_t colours = header.biClrUsed != 0 ? header.biClrUsed : 256;
    const auto* palette = reinterpret_cast<const RGBQUAD*>(bytes + header.biSize);
    const uint8_t* rows = bytes + header.biSize + colours * sizeof(RGBQUAD);
    const int stride = (picture.width + 3) & ~3;
    picture.pixels.resize(static_cast<size_t>(picture.width * picture.height));
    for (int y = 0; y < picture.height; ++y)
    {
        const uint8_t* row = rows + (picture.height - 1 - y) * stride; // stored bottom-up
        for (int x = 0; x < picture.width; ++x)
            picture.pixels[static_cast<size_t>(y * picture.width + x)] = palette[row[x]];
    }
    return picture;
}

double luminance(const RGBQUAD& p)
{
    return 0.299 * p.rgbRed + 0.587 * p.rgbGreen + 0.114 * p.rgbBlue;
}

double saturation(const RGBQUAD& p)
{
    const int high = std::max({p.rgbRed, p.rgbGreen, p.rgbBlue});
    const int low = std::min({p.rgbRed, p.rgbGreen, p.rgbBlue});
    return high - low;
}

// Mean luminance of the frame's border, outside the well that the face covers.
double frameBorderLuminance(const Picture& frame)
{
    double sum = 0;
    int count = 0;
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x)
        {
            const bool inWell = x >= 10 && x < frame.width - 9 && y >= 4 && y < frame.height - 3;
            if (!inWell)
            {
                sum += luminance(frame.at(x, y));
                ++count;
            }
        }
    return sum / count;
}

double meanSaturation(const Picture& picture)
{
    double sum = 0;
    for (const auto& p : picture.pixels)
        sum += saturation(p);
    return sum / static_cast<double>(picture.pixels.size());
}

// Standard deviation of luminance: how much the lettering stands out from the plate.
double contrast(const Picture& picture)
{
    double sum = 0;
    double squares = 0;
    for (const auto& p : picture.pixels)
    {
        const double l = luminance(p);
        sum += l;
        squares += l * l;
    }
    const double n = static_cast<double>(picture.pixels.size());
    return std::sqrt(squares / n - (sum / n) * (sum / n));
}

TEST(StringTable, HoldsTheClassNameTitleAndTooltipTexts)
{
    Application app(self());
    EXPECT_EQ(app.loadStringResource(IDS_CLASS_NAME), "QMK3DOScourvaner");
    EXPECT_EQ(app.loadStringResource(IDS_WINDOW_TITLE), "Quenmark 3DO Scourvane");
    EXPECT_EQ(app.loadStringResource(IDS_TIP_SELECT), "Select the 3DO file(s) you wish to Scourvane");
    EXPECT_EQ(app.loadStringResource(IDS_TIP_CLEAN), "Scourvane the selected 3DO file(s)");
    EXPECT_EQ(app.loadStringResource(IDS_TIP_ABOUT), "About 3DO Scourvane");
    EXPECT_EQ(app.loadStringResource(IDS_TIP_QUIT), "Quit 3DO Scourvane");
}

TEST(StringTable, MissingStringGivesAnEmptyText)
{
    Application app(self());
    EXPECT_EQ(app.loadStringResource(4711), "");
}

TEST(StringTable, StringLongerThanTheScratchBufferIsCutTo4095Characters)
{
    Application app(self());
    const std::string text = app.loadStringResource(4000); // 5000 characters, linked in by the test only
    ASSERT_EQ(text.size(), 4095u);
    EXPECT_EQ(text.substr(0, 20), "abcdefghijabcdefghij");
}

TEST(Bitmaps, EveryPictureHasItsFixedSizeAndIsAnUncompressedPalettePicture)
{
    struct Expected
    {
        int id;
        int width;
        int height;
    };
    const Expected pictures[] = {
        {IDB_BACKGROUND, 512, 359},
        {IDB_FRAME_WIDE_FOCUSED, 299, 31},
        {IDB_FRAME_WIDE_UNFOCUSED, 299, 31},
        {IDB_CLEAN_DISABLED, 276, 20},
        {IDB_CLEAN_NORMAL, 276, 20},
        {IDB_CLEAN_PRESSED, 276, 20},
        {IDB_SELECT_DISABLED, 276, 20},
        {IDB_SELECT_NORMAL, 276, 20},
        {IDB_SELECT_PRESSED, 276, 20},
        {IDB_QUIT_PRESSED, 120, 20},
        {IDB_ABOUT_DISABLED, 120, 20},
        {IDB_ABOUT_NORMAL, 120, 20},
        {IDB_ABOUT_PRESSED, 120, 20},
        {IDB_FRAME_NARROW_FOCUSED, 143, 31},
        {IDB_FRAME_NARROW_UNFOCUSED, 143, 31},
        {IDB_QUIT_DISABLED, 120, 20},
        {IDB_QUIT_NORMAL, 120, 20},
    };
    for (const auto& expected : pictures)
    {
        SCOPED_TRACE(expected.id);
        const Picture picture = decode(expected.id);
        EXPECT_EQ(picture.width, expected.width);
        EXPECT_EQ(picture.height, expected.height);
        EXPECT_EQ(picture.bitCount, 8);
        EXPECT_EQ(picture.compression, static_cast<uint32_t>(BI_RGB));

        BitmapImage image(self(), expected.id);
        EXPECT_NE(image.handle, nullptr);
        EXPECT_EQ(image.width, expected.width);
        EXPECT_EQ(image.height, expected.height);
    }
}

TEST(Bitmaps, MissingPictureLoadsAsEmptyImage)
{
    BitmapImage image(self(), 999);
    EXPECT_EQ(image.handle, nullptr);
    EXPECT_EQ(image.width, 0);
    EXPECT_EQ(image.height, 0);
}

TEST(Artwork, FocusedFramesAreLighterThanUnfocusedOnes)
{
    EXPECT_GT(frameBorderLuminance(decode(IDB_FRAME_WIDE_FOCUSED)),
              frameBorderLuminance(decode(IDB_FRAME_WIDE_UNFOCUSED)) + 20);
    EXPECT_GT(frameBorderLuminance(decode(IDB_FRAME_NARROW_FOCUSED)),
              frameBorderLuminance(decode(IDB_FRAME_NARROW_UNFOCUSED)) + 20);
}

TEST(Artwork, DisabledFacesAreGreyAndSubduedAndPressedFacesDiffer)
{
    const int faces[][3] = {
        {IDB_SELECT_NORMAL, IDB_SELECT_PRESSED, IDB_SELECT_DISABLED},
        {IDB_CLEAN_NORMAL, IDB_CLEAN_PRESSED, IDB_CLEAN_DISABLED},
        {IDB_ABOUT_NORMAL, IDB_ABOUT_PRESSED, IDB_ABOUT_DISABLED},
        {IDB_QUIT_NORMAL, IDB_QUIT_PRESSED, IDB_QUIT_DISABLED},
    };
    for (const auto& set : faces)
    {
        SCOPED_TRACE(set[0]);
        const Picture normal = decode(set[0]);
        const Picture pressed = decode(set[1]);
        const Picture disabled = decode(set[2]);
        EXPECT_LT(meanSaturation(disabled), 8.0) << "a neutral steel grey";
        EXPECT_LT(contrast(disabled), contrast(normal) * 0.6);
        // Lettering on the normal face stands out: some near-white pixels in the middle row band.
        EXPECT_GT(contrast(normal), 20.0);
        int differing = 0;
        for (size_t i = 0; i < normal.pixels.size(); ++i)
            differing += std::abs(luminance(normal.pixels[i]) - luminance(pressed.pixels[i])) > 30 ? 1 : 0;
        EXPECT_GT(differing, static_cast<int>(normal.pixels.size() / 4));
    }
}

TEST(Icon, GroupHoldsA32And16PixelSixteenColourImage)
{
    DWORD size = 0;
    const auto* group = resourceBytes(IDI_APPLICATION_ICON, MAKEINTRESOURCEA(14), &size); // RT_GROUP_ICON
    ASSERT_NE(group, nullptr);
    // GRPICONDIR: reserved, type, count; then 14-byte entries.
    uint16_t count = 0;
    std::memcpy(&count, group + 4, 2);
    ASSERT_EQ(count, 2);
    std::vector<int> sizes;
    for (int i = 0; i < count; ++i)
    {
        const uint8_t* entry = group + 6 + 14 * i;
        uint16_t bitCount = 0;
        std::memcpy(&bitCount, entry + 6, 2);
        EXPECT_EQ(entry[2], 16) << "colour count";
        EXPECT_EQ(bitCount, 4);
        EXPECT_EQ(entry[0], entry[1]);
        sizes.push_back(entry[0]);
    }
    EXPECT_EQ(sizes, (std::vector<int>{32, 16}));
    EXPECT_NE(LoadIconA(self(), MAKEINTRESOURCEA(IDI_APPLICATION_ICON)), nullptr);
}

TEST(AboutDialog, TemplateIsACaptionlessModalFrameWithElevenControls)
{
    const auto* bytes = resourceBytes(IDD_ABOUT, MAKEINTRESOURCEA(5)); // RT_DIALOG
    ASSERT_NE(bytes, nullptr);
    DWORD style = 0;
    uint16_t items = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    std::memcpy(&style, bytes, 4);
    std::memcpy(&items, bytes + 8, 2);
    std::memcpy(&width, bytes + 14, 2);
    std::memcpy(&height, bytes + 16, 2);
    EXPECT_EQ(style, 0x800008C0u);
    EXPECT_EQ(items, 11);
    EXPECT_EQ(width, 288);
    EXPECT_EQ(height, 204);
}

TEST(VersionInfo, NamesTheProduct)
{
    EXPECT_NE(resourceBytes(1, MAKEINTRESOURCEA(16)), nullptr); // RT_VERSION
    EXPECT_NE(resourceBytes(1, MAKEINTRESOURCEA(24)), nullptr); // RT_MANIFEST
}

} // namespace
} // namespace scourvane
