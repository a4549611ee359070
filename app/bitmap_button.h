// Owner-drawn picture buttons with a focus frame, their tooltips, the thread message hook that feeds
// the tooltip control, and the keyboard handling shared by the four command buttons.
#pragma once

#include "app/bitmap_image.h"

#include <windows.h>

#include <memory>
#include <string>

namespace scourvane
{

class Application;

class BitmapButton
{
  public:
    // Loads the three faces, and the two frames when both numbers are nonzero (else no frames).
    BitmapButton(HINSTANCE instance, int normalFace, int pressedFace, int disabledFace, int unfocusedFrame,
                 int focusedFrame);
    BitmapButton(const BitmapButton&) = delete;
    BitmapButton& operator=(const BitmapButton&) = delete;

    // Creates the button window as a child of `parent` at (x, y), sized to the frame (or the face
    // when there is none), subclasses it and registers its face area as a tool of the application's
    // tooltip control with the text of string `tooltipStringId`.
    void create(Application& application, HWND parent, int controlId, int x, int y, unsigned tooltipStringId);

    // Paints the whole button for one WM_DRAWITEM: the frame chosen by the focus, then the pressed,
    // disabled or normal face.
    void draw(const DRAWITEMSTRUCT& item) const;

    bool hasFrames() const { return frameFocused != nullptr && frameUnfocused != nullptr; }

    HWND window = nullptr;
    BitmapImage faceNormal;
    BitmapImage facePressed;
    BitmapImage faceDisabled;
    std::unique_ptr<BitmapImage> frameFocused;
    std::unique_ptr<BitmapImage> frameUnfocused;
    std::string tooltipText;
    WNDPROC baseProc = nullptr;
};

// Where the face sits inside a framed button.
inline constexpr int faceOffsetX = 12;
inline constexpr int faceOffsetY = 6;

// Creates the tooltip control (always tips, no owner) into theApplication->tooltipWindow.
void createTooltipControl();

// Installs getMessageHook for the calling thread into theApplication->messageHook.
void installMessageHook();

// Switches the tooltip control on; it stays on for the life of the program.
void activateTooltip();

// Gives the four command buttons their windows, as children of `parent` (called on WM_CREATE).
void createButtons(HWND parent);

// Draws button 0 to 3 for control identifiers 1000 to 1003; other identifiers are ignored.
void onDrawItem(HWND window, UINT controlId, const DRAWITEMSTRUCT* item);

// WH_GETMESSAGE hook: relays single mouse clicks and moves over the main window's descendants to the
// tooltip control, and never changes the message.
LRESULT CALLBACK getMessageHook(int code, WPARAM wParam, LPARAM lParam);

// Procedure installed on each command button: records the focus, moves it with Tab and Shift+Tab
// around the four buttons, clicks the button on Enter, and passes everything on.
LRESULT CALLBACK buttonSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace scourvane
