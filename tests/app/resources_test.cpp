// The compiled-in resources: strings, picture sizes and formats, the icon, and the artwork the
// buttons rely on (greyed disabled faces, pressed faces that differ). The focused frames' being
// lighter and the About dialog are judged on screen by scripts/gui_test.py.
#include "app/application.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numeric>
#include <utility>
#include <vector>

namespace scourvane
{
namespace
{

HINSTANCE self()
{
    return GetModuleHandleA(nullptr);
}

// The raw bytes of a resource of this program, or null.
const uint8_t* resourceBytes(int id, int type)
{
    HRSRC found = FindResourceA(self(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(type));
    return found == nullptr ? nullptr
                            : static_cast<const uint8_t*>(LockResource(LoadResource(self(), found)));
}

template <typename T> T field(const uint8_t* bytes, size_t offset)
{
    T value{};
    std::memcpy(&value, bytes + offset, sizeof(value));
    return value;
}

// The luminance and mean saturation of a loaded picture's pixels, for judging the artwork.
struct Picture
{
    explicit Picture(const BitmapImage& image)
    {
        BITMAPINFO info{};
        info.bmiHeader = {static_cast<DWORD>(sizeof(info.bmiHeader)),
                          image.width,
                          -image.height,
                          1,
                          32,
                          BI_RGB,
                          0,
                          0,
                          0,
                          0,
                          0};
        std::vector<RGBQUAD> pixels(static_cast<size_t>(image.width * image.height));
        HDC dc = CreateCompatibleDC(nullptr);
        GetDIBits(dc, image.handle, 0, static_cast<UINT>(image.height), pixels.data(), &info, DIB_RGB_COLORS);
        DeleteDC(dc);
        for (const RGBQUAD& p : pixels)
        {
            luminance.push_back(0.299 * p.rgbRed + 0.587 * p.rgbGreen + 0.114 * p.rgbBlue);
            meanSaturation +=
                std::max({p.rgbRed, p.rgbGreen, p.rgbBlue}) - std::min({p.rgbRed, p.rgbGreen, p.rgbBlue});
        }
        meanSaturation /= static_cast<double>(pixels.size());
    }

    // Standard deviation of luminance: how much the lettering stands out from the plate.
    double contrast() const
    {
        const double n = static_cast<double>(luminance.size());
        const double mean = std::accumulate(luminance.begin(), luminance.end(), 0.0) / n;
        const double meanSquare =
            std::inner_product(luminance.begin(), luminance.end(), luminance.begin(), 0.0) / n;
        return std::sqrt(meanSquare - mean * mean);
    }

    std::vector<double> luminance;
    double meanSaturation = 0;
};

TEST(StringTable, MissingStringIsEmptyAndOneLongerThanTheScratchBufferIsCutTo4095Characters)
{
    Application app(self());
    EXPECT_EQ(app.loadStringResource(4711), "");
    const std::string text = app.loadStringResource(4000); // 5000 characters, linked in by the test only
    ASSERT_EQ(text.size(), 4095u);
    EXPECT_EQ(text.substr(0, 20), "abcdefghijabcdefghij");
}

TEST(Bitmaps, EveryPictureIsAnUncompressedPalettePictureAndEachButtonsPicturesHaveTheirSizes)
{
    std::vector<int> ids{IDB_BACKGROUND};
    for (int id = IDB_FRAME_WIDE_FOCUSED; id <= IDB_QUIT_NORMAL; ++id)
        ids.push_back(id);
    for (int id : ids)
    {
        SCOPED_TRACE(id);
        const uint8_t* bytes = resourceBytes(id, 2); // RT_BITMAP
        ASSERT_NE(bytes, nullptr);
        const auto header = field<BITMAPINFOHEADER>(bytes, 0);
        EXPECT_EQ(header.biBitCount, 8);
        EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    }
    auto size = [](const BitmapImage& image) { return std::make_pair(image.width, image.height); };
    const Application app(self());
    EXPECT_EQ(size(app.background), std::make_pair(512, 359));
    for (int i = 0; i < buttonCount; ++i)
    {
        SCOPED_TRACE(i);
        const BitmapButton& button = *app.buttons[static_cast<size_t>(i)];
        const int faceWidth = i < 2 ? 276 : 120; // Select and Clean are wide, About and Quit narrow
        for (const BitmapImage* face : {&button.faceNormal, &button.facePressed, &button.faceDisabled})
            EXPECT_EQ(size(*face), std::make_pair(faceWidth, 20));
        ASSERT_TRUE(button.hasFrames());
        EXPECT_EQ(size(*button.frameFocused), std::make_pair(faceWidth + 23, 31));
        EXPECT_EQ(size(*button.frameUnfocused), std::make_pair(faceWidth + 23, 31));
    }
    const BitmapImage missing(self(), 999);
    EXPECT_EQ(missing.handle, nullptr);
    EXPECT_EQ(size(missing), std::make_pair(0, 0));
}

TEST(Artwork, DisabledFacesAreGreyAndSubduedAndPressedFacesDiffer)
{
    const Application app(self());
    for (const auto& button : app.buttons)
    {
        SCOPED_TRACE(&button - app.buttons.data());
        const Picture normal(button->faceNormal);
        const Picture pressed(button->facePressed);
        const Picture disabled(button->faceDisabled);
        EXPECT_LT(disabled.meanSaturation, 8.0) << "a neutral steel grey";
        EXPECT_LT(disabled.contrast(), normal.contrast() * 0.6);
        EXPECT_GT(normal.contrast(), 20.0) << "the lettering stands out";
        ASSERT_EQ(pressed.luminance.size(), normal.luminance.size());
        size_t differing = 0;
        for (size_t i = 0; i < normal.luminance.size(); ++i)
            differing += std::abs(normal.luminance[i] - pressed.luminance[i]) > 30 ? 1 : 0;
        EXPECT_GT(differing, normal.luminance.size() / 4);
    }
}

TEST(Icon, GroupHoldsA32And16PixelSixteenColourImage)
{
    const uint8_t* group = resourceBytes(IDI_APPLICATION_ICON, 14); // RT_GROUP_ICON
    ASSERT_NE(group, nullptr);
    // GRPICONDIR: reserved, type, count; then 14-byte entries of width, height, colours, ..., bit count.
    ASSERT_EQ(field<uint16_t>(group, 4), 2);
    for (int i = 0; i < 2; ++i)
    {
        const uint8_t* entry = group + 6 + 14 * i;
        EXPECT_EQ(entry[0], i == 0 ? 32 : 16);
        EXPECT_EQ(entry[1], entry[0]);
        EXPECT_EQ(entry[2], 16) << "colour count";
        EXPECT_EQ(field<uint16_t>(entry, 6), 4) << "bits per pixel";
    }
    EXPECT_NE(LoadIconA(self(), MAKEINTRESOURCEA(IDI_APPLICATION_ICON)), nullptr);
}

TEST(VersionInfo, NamesTheProduct)
{
    EXPECT_NE(resourceBytes(1, 16), nullptr); // RT_VERSION
    EXPECT_NE(resourceBytes(1, 24), nullptr); // RT_MANIFEST
}

} // namespace
} // namespace scourvane
