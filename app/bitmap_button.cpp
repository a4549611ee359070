// The picture buttons: their faces drawn by state, the tooltips fed through a thread message hook, and
// the keys that move between the four command buttons.
#include "app/bitmap_button.h"

#include "app/application.h"
#include "resources/resource.h"

#include <commctrl.h>

namespace scourvane
{

namespace
{

struct ButtonLayout
{
    int controlId;
    int x;
    int y;
    unsigned tooltipString;
};

// Select and Clean stacked full width, About and Quit side by side below them.
constexpr ButtonLayout layouts[buttonCount] = {
    {IDC_SELECT, 107, 179, IDS_TIP_SELECT},
    {IDC_CLEAN, 107, 223, IDS_TIP_CLEAN},
    {IDC_ABOUT, 107, 280, IDS_TIP_ABOUT},
    {IDC_QUIT, 263, 280, IDS_TIP_QUIT},
};

int buttonIndexOf(HWND window)
{
    for (int i = 0; i < buttonCount; ++i)
    {
        const auto& button = theApplication->buttons[static_cast<size_t>(i)];
        if (button != nullptr && button->window == window) return i;
    }
    return -1;
}

bool isRelayedMouseMessage(UINT message)
{
    // A double-click is not relayed: the tooltip control would treat it as a fresh press.
    switch (message)
    {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        return true;
    default:
        return false;
    }
}

} // namespace

BitmapButton::BitmapButton(HINSTANCE instance, int normalFace, int pressedFace, int disabledFace,
                           int unfocusedFrame, int focusedFrame)
    : faceNormal(instance, normalFace), facePressed(instance, pressedFace),
      faceDisabled(instance, disabledFace)
{
    if (unfocusedFrame != 0 && focusedFrame != 0)
    {
        frameUnfocused = std::make_unique<BitmapImage>(instance, unfocusedFrame);
        frameFocused = std::make_unique<BitmapImage>(instance, focusedFrame);
    }
}

void BitmapButton::create(Application& application, HWND parent, int controlId, int x, int y,
                          unsigned tooltipStringId)
{
    const BitmapImage& sizeSource = hasFrames() ? *frameUnfocused : faceNormal;
    // No WS_TABSTOP: the buttons move the focus among themselves (buttonSubclassProc).
    window = CreateWindowExA(0, "button", "", WS_CHILD | WS_VISIBLE | BS_NOTIFY | BS_OWNERDRAW, x, y,
                             sizeSource.width, sizeSource.height, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)), application.instance,
                             nullptr);
    baseProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&buttonSubclassProc)));
    tooltipText = application.loadStringResource(tooltipStringId);

    // The tool covers only the face, so the frame border around it shows no tip.
    TTTOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.uFlags = 0;
    tool.hwnd = window;
    tool.uId = static_cast<UINT_PTR>(controlId);
    if (hasFrames())
        tool.rect =
            RECT{faceOffsetX, faceOffsetY, faceNormal.width + faceOffsetX, faceNormal.height + faceOffsetY};
    else
        tool.rect = RECT{0, 0, faceNormal.width, faceNormal.height};
    tool.hinst = application.instance;
    tool.lpszText = tooltipText.data();
    SendMessageA(application.tooltipWindow, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

void BitmapButton::draw(const DRAWITEMSTRUCT& item) const
{
    int faceX = 0;
    int faceY = 0;
    if (hasFrames())
    {
        const BitmapImage& frame = (item.itemState & ODS_FOCUS) != 0 ? *frameFocused : *frameUnfocused;
        frame.draw(item.hDC, 0, 0);
        faceX = faceOffsetX;
        faceY = faceOffsetY;
    }
    // Pressed wins over disabled: a click that disables the buttons still shows as a press.
    const BitmapImage* face = &faceNormal;
    if ((item.itemState & ODS_SELECTED) != 0)
        face = &facePressed;
    else if ((item.itemState & ODS_DISABLED) != 0)
        face = &faceDisabled;
    face->draw(item.hDC, faceX, faceY);
}

void createTooltipControl()
{
    Application& app = *theApplication;
    app.tooltipWindow =
        CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, app.instance, nullptr);
}

void installMessageHook()
{
    theApplication->messageHook =
        SetWindowsHookExA(WH_GETMESSAGE, &getMessageHook, nullptr, GetCurrentThreadId());
}

void activateTooltip()
{
    SendMessageA(theApplication->tooltipWindow, TTM_ACTIVATE, TRUE, 0);
}

void createButtons(HWND parent)
{
    Application& app = *theApplication;
    for (int i = 0; i < buttonCount; ++i)
    {
        const ButtonLayout& layout = layouts[i];
        app.buttons[static_cast<size_t>(i)]->create(app, parent, layout.controlId, layout.x, layout.y,
                                                    layout.tooltipString);
    }
}

void onDrawItem(HWND /*window*/, UINT controlId, const DRAWITEMSTRUCT* item)
{
    if (controlId < IDC_SELECT || controlId > IDC_QUIT || item == nullptr) return;
    const auto& button = theApplication->buttons[controlId - IDC_SELECT];
    if (button != nullptr) button->draw(*item);
}

LRESULT CALLBACK getMessageHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (theApplication == nullptr) return CallNextHookEx(nullptr, code, wParam, lParam);
    Application& app = *theApplication;
    const MSG* retrieved = reinterpret_cast<const MSG*>(lParam);
    if (code >= 0 && retrieved != nullptr && IsChild(app.mainWindow, retrieved->hwnd) &&
        isRelayedMouseMessage(retrieved->message))
    {
        MSG relay{};
        relay.hwnd = retrieved->hwnd;
        relay.message = retrieved->message;
        relay.wParam = retrieved->wParam;
        relay.lParam = retrieved->lParam;
        SendMessageA(app.tooltipWindow, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relay));
    }
    return CallNextHookEx(app.messageHook, code, wParam, lParam);
}

LRESULT CALLBACK buttonSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // After shut-down the button objects are gone; the windows only wait for the process to end.
    if (theApplication == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    Application& app = *theApplication;
    const int index = buttonIndexOf(window);
    if (index < 0) return 0;
    switch (message)
    {
    case WM_SETFOCUS:
        app.focusIndex = index;
        break;
    case WM_KEYDOWN:
        if (wParam == VK_TAB)
        {
            const int step = GetAsyncKeyState(VK_SHIFT) != 0 ? -1 : 1;
            int next = index + step;
            if (next < 0)
                next = buttonCount - 1;
            else if (next >= buttonCount)
                next = 0;
            SetFocus(app.buttons[static_cast<size_t>(next)]->window);
        }
        else if (wParam == VK_RETURN)
        {
            SendMessageA(window, BM_CLICK, 0, 0);
        }
        break;
    default:
        break;
    }
    return CallWindowProcA(app.buttons[static_cast<size_t>(index)]->baseProc, window, message, wParam,
                           lParam);
}

} // namespace scourvane
