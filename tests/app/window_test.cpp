// The main window, its picture buttons, the tooltip tools, the keyboard handling and the About dialog,
// exercised in-process on a real (Wine or Windows) desktop. Skipped where no window can be made.
#include "app/application.h"
#include "resources/resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

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

// Drops every queued message; true when a quit message was among them (its code in *quitCode).
bool drainMessages(WPARAM* quitCode = nullptr)
{
    bool quit = false;
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
    {
        if (message.message == WM_QUIT)
        {
            quit = true;
            if (quitCode != nullptr) *quitCode = message.wParam;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return quit;
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

TEST_F(MainWindowTest, ClientAreaIsTheBackgroundSizeAndTheWindowCannotBeResizedOrMaximised)
{
    RECT client{};
    GetClientRect(app->mainWindow, &client);
    EXPECT_EQ(client.right - client.left, 512);
    EXPECT_EQ(client.bottom - client.top, 359);
    const LONG_PTR style = GetWindowLongPtrA(app->mainWindow, GWL_STYLE);
    EXPECT_EQ(style & WS_MAXIMIZEBOX, 0);
    EXPECT_EQ(style & WS_THICKFRAME, 0);
    EXPECT_NE(style & WS_MINIMIZEBOX, 0);
    EXPECT_NE(style & WS_SYSMENU, 0);
}

TEST_F(MainWindowTest, WindowCarriesTheTitleAndClassFromTheStringTable)
{
    char text[256] = {};
    GetWindowTextA(app->mainWindow, text, sizeof(text));
    EXPECT_STREQ(text, "Quenmark 3DO Scourvane");
    GetClassNameA(app->mainWindow, text, sizeof(text));
    EXPECT_STREQ(text, "QMK3DOScourvaner");
}

TEST_F(MainWindowTest, ButtonsSitAtTheirPlacesWithTheirFramesSize)
{
    const RECT expected[buttonCount] = {
        {107, 179, 406, 210}, {107, 223, 406, 254}, {107, 280, 250, 311}, {263, 280, 406, 311}};
    for (int i = 0; i < buttonCount; ++i)
    {
        SCOPED_TRACE(i);
        RECT rect{};
        GetWindowRect(button(i), &rect);
        MapWindowPoints(nullptr, app->mainWindow, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(rect.left, expected[i].left);
        EXPECT_EQ(rect.top, expected[i].top);
        EXPECT_EQ(rect.right, expected[i].right);
        EXPECT_EQ(rect.bottom, expected[i].bottom);
        EXPECT_EQ(GetDlgCtrlID(button(i)), 1000 + i);
        EXPECT_EQ(GetWindowLongPtrA(button(i), GWL_STYLE) & WS_TABSTOP, 0);
    }
}

TEST_F(MainWindowTest, TooltipHasOneToolPerButtonCoveringOnlyItsFace)
{
    ASSERT_EQ(SendMessageA(app->tooltipWindow, TTM_GETTOOLCOUNT, 0, 0), 4);
    const char* texts[buttonCount] = {"Select the 3DO file(s) you wish to Scourvane",
                                      "Scourvane the selected 3DO file(s)", "About 3DO Scourvane",
                                      "Quit 3DO Scourvane"};
    const LONG faceWidths[buttonCount] = {276, 276, 120, 120};
    for (int i = 0; i < buttonCount; ++i)
    {
        SCOPED_TRACE(i);
        char text[256] = {};
        TTTOOLINFOA tool{};
        tool.cbSize = TTTOOLINFOA_V2_SIZE;
        tool.hwnd = button(i);
        tool.uId = static_cast<UINT_PTR>(1000 + i);
        tool.lpszText = text;
        ASSERT_TRUE(SendMessageA(app->tooltipWindow, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&tool)));
        EXPECT_EQ(tool.uFlags & (TTF_IDISHWND | TTF_SUBCLASS), 0u);
        EXPECT_EQ(tool.rect.left, 12);
        EXPECT_EQ(tool.rect.top, 6);
        EXPECT_EQ(tool.rect.right, faceWidths[i] + 12);
        EXPECT_EQ(tool.rect.bottom, 26);
        EXPECT_STREQ(text, texts[i]);
    }
}

TEST_F(MainWindowTest, TabMovesTheFocusForwardAroundTheFourButtonsAndRecordsIt)
{
    if (GetAsyncKeyState(VK_SHIFT) != 0) GTEST_SKIP() << "Shift is held down on this desktop";
    SetFocus(button(0));
    const int expected[] = {1, 2, 3, 0, 1};
    for (int next : expected)
    {
        SendMessageA(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
        EXPECT_EQ(GetFocus(), button(next));
        EXPECT_EQ(app->focusIndex, next);
    }
}

TEST_F(MainWindowTest, MainWindowHandsTheFocusBackToTheButtonThatHadItLast)
{
    EXPECT_EQ(GetFocus(), button(0)) << "Select has the focus at start";
    SetFocus(button(2));
    SetFocus(app->mainWindow);
    EXPECT_EQ(GetFocus(), button(2));
}

TEST_F(MainWindowTest, FocusNotificationRecordsTheButtonIndex)
{
    onCommand(button(3), IDC_QUIT, BN_SETFOCUS);
    EXPECT_EQ(app->focusIndex, 3);
    EXPECT_EQ(GetFocus(), button(3));
    onCommand(nullptr, 0, BN_SETFOCUS);
    EXPECT_EQ(app->focusIndex, 3);
}

TEST_F(MainWindowTest, EnterOnTheFocusedQuitButtonEndsTheLoopWithCodeZero)
{
    SetFocus(button(3));
    SendMessageA(button(3), WM_KEYDOWN, VK_RETURN, 0);
    WPARAM code = 99;
    EXPECT_TRUE(drainMessages(&code));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(IsWindow(app->mainWindow)) << "Quit leaves the window to the process's end";
}

TEST_F(MainWindowTest, DoubleClickNotificationsAndUnknownControlsRunNoCommand)
{
    onCommand(button(3), IDC_QUIT, BN_DOUBLECLICKED);
    onCommand(nullptr, 999, BN_CLICKED);
    EXPECT_FALSE(drainMessages());
}

TEST_F(MainWindowTest, ClosingTheWindowEndsTheLoopWithCodeZero)
{
    SendMessageA(app->mainWindow, WM_CLOSE, 0, 0);
    WPARAM code = 99;
    EXPECT_TRUE(drainMessages(&code));
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(IsWindow(app->mainWindow));
}

// Renders into a 32-bit memory picture so the result can be compared pixel for pixel.
class Canvas
{
  public:
    Canvas(int w, int h) : width(w), height(h)
    {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        previous = SelectObject(dc, bitmap);
    }
    ~Canvas()
    {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    std::vector<uint8_t> pixels() const
    {
        GdiFlush();
        const auto* start = static_cast<const uint8_t*>(bits);
        return std::vector<uint8_t>(start, start + width * height * 4);
    }

    int width;
    int height;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    void* bits = nullptr;
};

std::vector<uint8_t> drawnButton(const BitmapButton& target, UINT state)
{
    Canvas canvas(target.frameUnfocused->width, target.frameUnfocused->height);
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.itemState = state;
    item.hDC = canvas.dc;
    target.draw(item);
    return canvas.pixels();
}

std::vector<uint8_t> composed(const BitmapImage& frame, const BitmapImage& face)
{
    Canvas canvas(frame.width, frame.height);
    frame.draw(canvas.dc, 0, 0);
    face.draw(canvas.dc, 12, 6);
    return canvas.pixels();
}

TEST_F(MainWindowTest, ButtonDrawsTheFrameOfItsFocusAndThePressedOrDisabledFace)
{
    const BitmapButton& select = *app->buttons[0];
    EXPECT_EQ(drawnButton(select, 0), composed(*select.frameUnfocused, select.faceNormal));
    EXPECT_EQ(drawnButton(select, ODS_FOCUS), composed(*select.frameFocused, select.faceNormal));
    EXPECT_EQ(drawnButton(select, ODS_SELECTED | ODS_FOCUS),
              composed(*select.frameFocused, select.facePressed));
    EXPECT_EQ(drawnButton(select, ODS_DISABLED), composed(*select.frameUnfocused, select.faceDisabled));
    EXPECT_EQ(drawnButton(select, ODS_DISABLED | ODS_SELECTED),
              composed(*select.frameUnfocused, select.facePressed));
}

TEST_F(MainWindowTest, ButtonWithoutBothFramesIsTheSizeOfItsFaceAndItsToolCoversAllOfIt)
{
    BitmapButton bare(self(), IDB_QUIT_NORMAL, IDB_QUIT_PRESSED, IDB_QUIT_DISABLED, 0,
                      IDB_FRAME_NARROW_FOCUSED);
    EXPECT_FALSE(bare.hasFrames());
    bare.create(*app, app->mainWindow, 2000, 0, 0, IDS_TIP_QUIT);
    RECT rect{};
    GetClientRect(bare.window, &rect);
    EXPECT_EQ(rect.right, 120);
    EXPECT_EQ(rect.bottom, 20);
    TTTOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.hwnd = bare.window;
    tool.uId = 2000;
    ASSERT_TRUE(SendMessageA(app->tooltipWindow, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&tool)));
    EXPECT_EQ(tool.rect.left, 0);
    EXPECT_EQ(tool.rect.top, 0);
    EXPECT_EQ(tool.rect.right, 120);
    EXPECT_EQ(tool.rect.bottom, 20);
    SendMessageA(app->tooltipWindow, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    DestroyWindow(bare.window);
}

// Records what the message hook hands to the tooltip control.
std::vector<UINT>* relayedMessages = nullptr;
std::vector<HWND>* relayedWindows = nullptr;
WNDPROC tooltipBaseProc = nullptr;

LRESULT CALLBACK recordRelay(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == TTM_RELAYEVENT && relayedMessages != nullptr)
    {
        const MSG* relayed = reinterpret_cast<const MSG*>(lParam);
        relayedMessages->push_back(relayed->message);
        relayedWindows->push_back(relayed->hwnd);
    }
    return CallWindowProcA(tooltipBaseProc, window, message, wParam, lParam);
}

TEST_F(MainWindowTest, HookRelaysSingleClicksAndMovesOverTheWindowButNotDoubleClicksOrOtherWindows)
{
    // A plain child stands in for a button, so the clicks run no command.
    HWND child = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, app->mainWindow,
                                 nullptr, self(), nullptr);
    HWND stranger =
        CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, self(), nullptr);
    std::vector<UINT> messages;
    std::vector<HWND> windows;
    relayedMessages = &messages;
    relayedWindows = &windows;
    tooltipBaseProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(app->tooltipWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&recordRelay)));
    drainMessages();
    messages.clear();
    windows.clear();

    const UINT sent[] = {WM_MOUSEMOVE,   WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK,
                         WM_RBUTTONDOWN, WM_RBUTTONUP,   WM_KEYDOWN,   WM_MBUTTONDOWN};
    for (UINT message : sent)
        PostMessageA(child, message, 0, MAKELPARAM(2, 2));
    PostMessageA(stranger, WM_MOUSEMOVE, 0, 0);
    drainMessages();

    SetWindowLongPtrA(app->tooltipWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(tooltipBaseProc));
    relayedMessages = nullptr;
    relayedWindows = nullptr;
    DestroyWindow(stranger);
    DestroyWindow(child);

    // Real pointer motion over the window may add moves of its own; judge only the two test windows.
    std::vector<UINT> forChild;
    for (size_t i = 0; i < messages.size(); ++i)
    {
        EXPECT_NE(windows[i], stranger);
        if (windows[i] == child) forChild.push_back(messages[i]);
    }
    EXPECT_EQ(forChild,
              (std::vector<UINT>{WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP}));
}

TEST_F(MainWindowTest, TooltipShowsWhetherOrNotTheWindowIsActive)
{
    EXPECT_NE(GetWindowLongPtrA(app->tooltipWindow, GWL_STYLE) & TTS_ALWAYSTIP, 0);
    EXPECT_EQ(GetParent(app->tooltipWindow), nullptr);
}

// The About dialog is modal; a thread timer inspects it and sends it one command.
struct AboutProbe
{
    WPARAM command = 0;
    int childCount = 0;
    std::string okText;
    std::string firstLine;
    bool sawDialog = false;
};
AboutProbe* aboutProbe = nullptr;

BOOL CALLBACK countChild(HWND, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

void CALLBACK inspectAbout(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = GetActiveWindow();
    char name[64] = {};
    GetClassNameA(dialog, name, sizeof(name));
    if (std::strcmp(name, "#32770") != 0) return; // not open yet; the timer fires again
    KillTimer(nullptr, timer);
    aboutProbe->sawDialog = true;
    EnumChildWindows(dialog, &countChild, reinterpret_cast<LPARAM>(&aboutProbe->childCount));
    char text[256] = {};
    GetDlgItemTextA(dialog, IDC_ABOUT_OK, text, sizeof(text));
    aboutProbe->okText = text;
    GetWindowTextA(GetWindow(GetDlgItem(dialog, IDC_ABOUT_OK), GW_HWNDNEXT), text, sizeof(text));
    aboutProbe->firstLine = text;
    PostMessageA(dialog, WM_COMMAND, aboutProbe->command, 0);
}

TEST_F(MainWindowTest, AboutDialogShowsItsTextsAndClosesOnOkEnterEscOrAnyCommand)
{
    const WPARAM commands[] = {MAKEWPARAM(IDC_ABOUT_OK, BN_CLICKED), IDOK, IDCANCEL, 4242};
    for (WPARAM command : commands)
    {
        SCOPED_TRACE(command);
        AboutProbe probe;
        probe.command = command;
        aboutProbe = &probe;
        const UINT_PTR timer = SetTimer(nullptr, 0, 50, &inspectAbout);
        onCommand(button(2), IDC_ABOUT, BN_CLICKED); // returns when the dialog has closed
        KillTimer(nullptr, timer);
        aboutProbe = nullptr;
        EXPECT_TRUE(probe.sawDialog);
        EXPECT_EQ(probe.childCount, 11);
        EXPECT_EQ(probe.okText, "OK");
        EXPECT_EQ(probe.firstLine, "About 3DO Scourvane");
    }
}

// A message box seen by a thread timer while it is open, then closed with OK.
struct BoxProbe
{
    bool seen = false;
    std::string caption;
    std::string text;
};
BoxProbe* boxProbe = nullptr;

void CALLBACK inspectBox(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND box = GetActiveWindow();
    char name[64] = {};
    GetClassNameA(box, name, sizeof(name));
    if (std::strcmp(name, "#32770") != 0) return;
    KillTimer(nullptr, timer);
    char text[512] = {};
    GetWindowTextA(box, text, sizeof(text));
    boxProbe->caption = text;
    GetDlgItemTextA(box, 0xFFFF, text, sizeof(text)); // the message text's static control
    boxProbe->text = text;
    boxProbe->seen = true;
    PostMessageA(box, WM_COMMAND, IDOK, 0);
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

    BoxProbe probe;
    boxProbe = &probe;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, &inspectBox);
    const bool created = createUserInterface(SW_SHOW);
    KillTimer(nullptr, timer);
    boxProbe = nullptr;

    EXPECT_FALSE(created);
    EXPECT_EQ(app.mainWindow, nullptr);
    EXPECT_TRUE(probe.seen);
    EXPECT_EQ(probe.caption, "Quenmark 3DO Scourvane");
    EXPECT_EQ(probe.text, "Could not register the window class!");

    DestroyWindow(app.tooltipWindow);
    drainMessages();
    UnregisterClassA("QMK3DOScourvaner", self());
    theApplication = nullptr;
}

} // namespace
} // namespace scourvane
