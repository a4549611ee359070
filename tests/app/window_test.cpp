// The main window's buttons, their tooltip tools and drawing, the message hook, the commands that do
// nothing and a failed start, in-process on a real (Wine or Windows) desktop. Focus, keys, the About
// dialog, the window's frame and the ways to end the program are left to scripts/gui_test.py.
#include "app/application.h"
#include "resources/resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

namespace scourvane
{
namespace
{

HINSTANCE self()
{
    return GetModuleHandleA(nullptr);
}

bool haveDesktop()
{
    HWND probe = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, self(), nullptr);
    if (probe == nullptr) return false;
    DestroyWindow(probe);
    return true;
}

// Dispatches every queued message; true when a quit message was among them.
bool drainMessages()
{
    bool quit = false;
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
    {
        quit = quit || message.message == WM_QUIT;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return quit;
}

std::array<LONG, 4> corners(const RECT& rect)
{
    return {rect.left, rect.top, rect.right, rect.bottom};
}

// The tool of `window` with identifier `id` in the tooltip control, its text in `text`.
TTTOOLINFOA toolOf(HWND tooltip, HWND window, UINT_PTR id, char* text = nullptr)
{
    TTTOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.hwnd = window;
    tool.uId = id;
    tool.lpszText = text;
    EXPECT_TRUE(SendMessageA(tooltip, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&tool)));
    return tool;
}

class MainWindowTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        if (!haveDesktop())
            GTEST_SKIP() << "no desktop to create windows on (run under Wine with an X display)";
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

    HWND button(int index) const { return app->buttons[static_cast<size_t>(index)]->window; }

    std::unique_ptr<Application> app;
};

TEST_F(MainWindowTest, EachButtonSitsInItsPlaceWithATooltipToolOverItsFaceOnly)
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
    for (int i = 0; i < buttonCount; ++i)
    {
        SCOPED_TRACE(i);
        RECT rect{};
        GetWindowRect(button(i), &rect);
        MapWindowPoints(nullptr, app->mainWindow, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(corners(rect), corners(buttons[i].place));
        char text[256] = {};
        const TTTOOLINFOA tool = toolOf(app->tooltipWindow, button(i), static_cast<UINT_PTR>(1000 + i), text);
        EXPECT_EQ(tool.uFlags & (TTF_IDISHWND | TTF_SUBCLASS), 0u);
        EXPECT_EQ(corners(tool.rect), (std::array<LONG, 4>{12, 6, buttons[i].faceWidth + 12, 26}));
        EXPECT_STREQ(text, buttons[i].tip);
    }
    // Tips show whether or not the main window is active.
    EXPECT_NE(GetWindowLongPtrA(app->tooltipWindow, GWL_STYLE) & TTS_ALWAYSTIP, 0);
    EXPECT_EQ(GetParent(app->tooltipWindow), nullptr);
}

TEST_F(MainWindowTest, ButtonWithoutBothFramesIsTheSizeOfItsFaceAndItsToolCoversAllOfIt)
{
    BitmapButton bare(self(), IDB_QUIT_NORMAL, IDB_QUIT_PRESSED, IDB_QUIT_DISABLED, 0,
                      IDB_FRAME_NARROW_FOCUSED);
    EXPECT_FALSE(bare.hasFrames());
    bare.create(*app, app->mainWindow, 2000, 0, 0, IDS_TIP_QUIT);
    RECT rect{};
    GetClientRect(bare.window, &rect);
    EXPECT_EQ(corners(rect), (std::array<LONG, 4>{0, 0, 120, 20}));
    TTTOOLINFOA tool = toolOf(app->tooltipWindow, bare.window, 2000);
    EXPECT_EQ(corners(tool.rect), (std::array<LONG, 4>{0, 0, 120, 20}));
    SendMessageA(app->tooltipWindow, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    DestroyWindow(bare.window);
}

// Renders `paint` into a 32-bit memory picture of w x h, so results compare pixel for pixel.
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

TEST_F(MainWindowTest, ButtonDrawsTheFrameOfItsFocusAndThePressedOrDisabledFace)
{
    const BitmapButton& select = *app->buttons[0];
    const BitmapImage& focused = *select.frameFocused;
    const BitmapImage& unfocused = *select.frameUnfocused;
    auto drawn = [&](UINT state)
    {
        DRAWITEMSTRUCT item{};
        item.itemState = state;
        return rendered(unfocused.width, unfocused.height,
                        [&](HDC dc)
                        {
                            item.hDC = dc;
                            select.draw(item);
                        });
    };
    auto composed = [&](const BitmapImage& frame, const BitmapImage& face)
    {
        return rendered(frame.width, frame.height,
                        [&](HDC dc)
                        {
                            frame.draw(dc, 0, 0);
                            face.draw(dc, 12, 6);
                        });
    };
    EXPECT_EQ(drawn(0), composed(unfocused, select.faceNormal));
    EXPECT_EQ(drawn(ODS_FOCUS), composed(focused, select.faceNormal));
    EXPECT_EQ(drawn(ODS_SELECTED | ODS_FOCUS), composed(focused, select.facePressed));
    EXPECT_EQ(drawn(ODS_DISABLED), composed(unfocused, select.faceDisabled));
    EXPECT_EQ(drawn(ODS_DISABLED | ODS_SELECTED), composed(unfocused, select.facePressed)) << "pressed wins";
}

// Records the messages that the message hook hands to the tooltip control.
std::vector<UINT> relayed;
WNDPROC tooltipBaseProc = nullptr;

LRESULT CALLBACK recordRelay(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == TTM_RELAYEVENT) relayed.push_back(reinterpret_cast<const MSG*>(lParam)->message);
    return CallWindowProcA(tooltipBaseProc, window, message, wParam, lParam);
}

TEST_F(MainWindowTest, HookRelaysSingleClicksAndMovesOverTheWindowButNotDoubleClicksOrOtherWindows)
{
    // The hook is called directly, so the messages never reach the button and run no command. That it
    // is installed shows end to end, where tooltips appear over the faces.
    tooltipBaseProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(app->tooltipWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&recordRelay)));
    relayed.clear();
    auto hook = [](int code, HWND window, UINT message)
    {
        MSG retrieved{window, message, 0, MAKELPARAM(2, 2), 0, {}};
        getMessageHook(code, PM_REMOVE, reinterpret_cast<LPARAM>(&retrieved));
    };
    for (UINT message : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN,
                         WM_RBUTTONUP, WM_KEYDOWN, WM_MBUTTONDOWN})
        hook(HC_ACTION, button(0), message);
    hook(HC_ACTION, GetDesktopWindow(), WM_MOUSEMOVE); // not within the main window
    hook(-1, button(0), WM_MOUSEMOVE);
    SetWindowLongPtrA(app->tooltipWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(tooltipBaseProc));
    EXPECT_EQ(relayed,
              (std::vector<UINT>{WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP}));
}

TEST_F(MainWindowTest, DoubleClickNotificationsAndUnknownControlsRunNoCommand)
{
    onCommand(button(3), IDC_QUIT, BN_DOUBLECLICKED);
    onCommand(nullptr, 999, BN_CLICKED);
    EXPECT_FALSE(drainMessages());
}

// The message box seen by a thread timer, which then closes it with OK.
struct
{
    bool seen = false;
    std::string caption;
    std::string text;
} box;

void CALLBACK inspectBox(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = GetActiveWindow();
    char text[512] = {};
    GetClassNameA(dialog, text, sizeof(text));
    if (std::strcmp(text, "#32770") != 0) return; // not open yet; the timer fires again
    KillTimer(nullptr, timer);
    box.seen = true;
    GetWindowTextA(dialog, text, sizeof(text));
    box.caption = text;
    GetDlgItemTextA(dialog, 0xFFFF, text, sizeof(text));
    box.text = text;
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

TEST(StartUpFailure, ClassThatCannotBeRegisteredIsReportedAndNoWindowIsMade)
{
    if (!haveDesktop()) GTEST_SKIP() << "no desktop to create windows on (run under Wine with an X display)";
    Application app(self());
    theApplication = &app;
    // Someone else already holds the class name in this process.
    WNDCLASSA taken{};
    taken.lpfnWndProc = &DefWindowProcA;
    taken.hInstance = self();
    taken.lpszClassName = "QMK3DOScourvaner";
    ASSERT_NE(RegisterClassA(&taken), 0);

    const UINT_PTR timer = SetTimer(nullptr, 0, 50, &inspectBox);
    EXPECT_FALSE(createUserInterface(SW_SHOW)); // returns once the box is closed
    KillTimer(nullptr, timer);
    EXPECT_EQ(app.mainWindow, nullptr);
    EXPECT_TRUE(box.seen);
    EXPECT_EQ(box.caption, "Quenmark 3DO Scourvane");
    EXPECT_EQ(box.text, "Could not register the window class!");

    DestroyWindow(app.tooltipWindow);
    drainMessages();
    UnregisterClassA("QMK3DOScourvaner", self());
    theApplication = nullptr;
}

} // namespace
} // namespace scourvane
