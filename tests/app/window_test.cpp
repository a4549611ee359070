// The main window's buttons in-process: where they sit and what they tip, the picture each state draws
// and that the artwork shows those states, and the focus coming back to the button that last had it.
// Keys, tooltips appearing, the dialogs, the window's frame and the ways to end the program are driven
// end to end by scripts/gui_test.py.
#include "app/application.h"
#include "resources/resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace scourvane
{
namespace
{

HINSTANCE self()
{
    return GetModuleHandleA(nullptr);
}

// Dispatches every queued message; true when a quit message was among them.
bool drainMessages()
{
    bool quit = false;
    for (MSG message{}; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); DispatchMessageA(&message))
        quit = quit || message.message == WM_QUIT;
    return quit;
}

std::array<LONG, 4> corners(const RECT& rect)
{
    return {rect.left, rect.top, rect.right, rect.bottom};
}

class MainWindowTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        HWND probe =
            CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, self(), nullptr);
        if (probe == nullptr)
            GTEST_SKIP() << "no desktop to create windows on (run under Wine with an X display)";
        DestroyWindow(probe);
        app = std::make_unique<Application>(self());
        theApplication = app.get();
        ASSERT_TRUE(createUserInterface(SW_SHOW));
        drainMessages();
    }

    void TearDown() override
    {
        if (app == nullptr) return;
        DestroyWindow(app->mainWindow);
        DestroyWindow(app->tooltipWindow);
        drainMessages();
        UnregisterClassA(app->className.c_str(), self());
        app.reset();
        theApplication = nullptr;
    }

    std::unique_ptr<Application> app;
};

TEST_F(MainWindowTest, EachButtonSitsInItsPlaceAndTipsItsCommandOverItsFaceOnly)
{
    struct Expected
    {
        RECT place; // in the main window's client area
        LONG faceWidth;
        const char* tip;
    };
    const Expected buttons[buttonCount] = {
        {{107, 179, 406, 210}, 276, "Select the 3DO file(s) you wish to Scourvane"},
        {{107, 223, 406, 254}, 276, "Scourvane the selected 3DO file(s)"},
        {{107, 280, 250, 311}, 120, "About 3DO Scourvane"},
        {{263, 280, 406, 311}, 120, "Quit 3DO Scourvane"}};
    ASSERT_EQ(SendMessageA(app->tooltipWindow, TTM_GETTOOLCOUNT, 0, 0), 4);
    for (size_t i = 0; i < std::size(buttons); ++i)
    {
        SCOPED_TRACE(i);
        HWND window = app->buttons[i]->window;
        RECT rect{};
        GetWindowRect(window, &rect);
        MapWindowPoints(nullptr, app->mainWindow, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(corners(rect), corners(buttons[i].place));
        char text[256] = {};
        TTTOOLINFOA tool{};
        tool.cbSize = TTTOOLINFOA_V2_SIZE;
        tool.hwnd = window;
        tool.uId = 1000 + i;
        tool.lpszText = text;
        ASSERT_TRUE(SendMessageA(app->tooltipWindow, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&tool)));
        EXPECT_EQ(corners(tool.rect), (std::array<LONG, 4>{12, 6, buttons[i].faceWidth + 12, 26}));
        EXPECT_STREQ(text, buttons[i].tip);
    }
    EXPECT_NE(GetClassLongPtrA(app->mainWindow, GCLP_HICON), 0u) << "the program's icon";
}

TEST_F(MainWindowTest, TheWindowGivesTheFocusBackToTheButtonThatLastHadIt)
{
    SetFocus(app->buttons[3]->window);
    SetFocus(app->mainWindow); // as when the window is activated again
    EXPECT_EQ(GetFocus(), app->buttons[3]->window);
}

TEST_F(MainWindowTest, DoubleClickNotificationsAndUnknownControlsRunNoCommand)
{
    onCommand(app->buttons[3]->window, IDC_QUIT, BN_DOUBLECLICKED);
    onCommand(nullptr, 999, BN_CLICKED);
    EXPECT_FALSE(drainMessages());
}

// Renders `paint` into a 32-bit memory picture of w x h (blue, green, red, unused per pixel).
template <typename Paint> std::vector<uint8_t> rendered(int w, int h, Paint paint)
{
    BITMAPINFO info{};
    info.bmiHeader = {static_cast<DWORD>(sizeof(info.bmiHeader)), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    paint(dc);
    GdiFlush();
    const auto* start = static_cast<const uint8_t*>(bits);
    std::vector<uint8_t> pixels(start, start + w * h * 4);
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return pixels;
}

// The luminance of each pixel of a 32-bit picture (blue, green, red, unused).
std::vector<double> luminance(const std::vector<uint8_t>& bytes)
{
    std::vector<double> result;
    for (size_t i = 0; i + 3 < bytes.size(); i += 4)
        result.push_back(0.114 * bytes[i] + 0.587 * bytes[i + 1] + 0.299 * bytes[i + 2]);
    return result;
}

// Standard deviation of luminance: how much the lettering stands out from the plate.
double contrast(const std::vector<double>& luminance)
{
    double sum = 0, squares = 0;
    for (double l : luminance)
        sum += l, squares += l * l;
    const double n = static_cast<double>(luminance.size());
    return std::sqrt(squares / n - (sum / n) * (sum / n));
}

TEST(ButtonFaces, PressedFaceStandsApartDisabledFaceIsGreyedAndPressedWinsOverDisabled)
{
    const Application app(self());
    for (const auto& button : app.buttons)
    {
        SCOPED_TRACE(&button - app.buttons.data());
        const BitmapImage& face = button->faceNormal;
        // What the button draws over its face area (inside the frame, at 12, 6) in `state`.
        auto drawn = [&](UINT state)
        {
            return rendered(face.width, face.height,
                            [&](HDC dc)
                            {
                                SetViewportOrgEx(dc, -12, -6, nullptr);
                                DRAWITEMSTRUCT item{};
                                item.itemState = state;
                                item.hDC = dc;
                                button->draw(item);
                            });
        };
        EXPECT_EQ(drawn(0), rendered(face.width, face.height, [&](HDC dc) { face.draw(dc, 0, 0); }));
        EXPECT_EQ(drawn(ODS_SELECTED | ODS_DISABLED), drawn(ODS_SELECTED));
        const auto normal = luminance(drawn(0)), pressed = luminance(drawn(ODS_SELECTED));
        EXPECT_GT(contrast(normal), 20.0) << "the lettering stands out";
        EXPECT_LT(contrast(luminance(drawn(ODS_DISABLED))), contrast(normal) * 0.6) << "greyed out";
        size_t differing = 0;
        for (size_t i = 0; i < normal.size(); ++i)
            differing += std::abs(normal[i] - pressed[i]) > 30 ? 1 : 0;
        EXPECT_GT(differing, normal.size() / 4) << "pressing shows";
    }
}

} // namespace
} // namespace scourvane
