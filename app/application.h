// The program's shell: the one Application object, the main window, its commands and the About dialog.
#pragma once

#include "app/bitmap_button.h"
#include "app/bitmap_image.h"
#include "batch/selection_list.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace scourvane
{

// Button order everywhere: 0 Select, 1 Clean, 2 About, 3 Quit.
inline constexpr int buttonCount = 4;

class Application
{
  public:
    // Loads the background and the buttons' pictures. No window exists afterwards.
    explicit Application(HINSTANCE instanceHandle);
    // Releases the buttons, the pictures, the strings and the selection, and removes the message hook.
    // Destroys no window.
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // A copy of string resource `id` (at most 4095 characters); empty when the resource is missing.
    std::string loadStringResource(unsigned id) const;

    // The selection list for the Clean command, or null when nothing is selected.
    const char* selection() const { return selectionBuffer.empty() ? nullptr : selectionBuffer.data(); }

    HINSTANCE instance;
    HWND mainWindow = nullptr;
    HWND tooltipWindow = nullptr;
    HHOOK messageHook = nullptr;
    std::string className;
    std::string windowTitle;
    BitmapImage background;
    std::array<std::unique_ptr<BitmapButton>, buttonCount> buttons;
    int32_t focusIndex = 0;
    // Empty while nothing is selected, else selectionBufferSize bytes, or more for a long list that
    // was dropped or given (see selectionFromPaths).
    std::vector<char> selectionBuffer;
    // The selection is a dropped folder's models in its subfolders: the log names them below it.
    bool namesBelowFolder = false;
};

// The one Application of the process, for the procedures the platform calls without a context.
extern Application* theApplication;

// Loads the strings, creates the tooltip control and the message hook, registers the window class and
// creates and shows the main window. False (after telling the user) when the class cannot be registered.
bool createUserInterface(int showCommand);

// The whole program: builds the Application, selects `startPaths` (the program's command line, as
// when files are dropped on its icon) once the window shows, runs the message loop and returns the
// quit code (or 1 when the window could not be made).
int runApplication(HINSTANCE instance, int showCommand, const std::vector<std::string>& startPaths);

// Makes `paths` (dropped on the window or given at start) the selection, as if they had been chosen
// with Select, and makes their folder the current one, where the Clean command writes log.txt.
// One folder without 3DO files of its own but with some in its subfolders asks whether to take those
// (Yes selects them, named in the log by their paths below the folder, where the log goes; No
// changes nothing). Paths from several folders, only folders without 3DO files, or a list too long
// to hold are refused with a message box and leave the selection and the current folder as they were.
void selectPaths(const std::vector<std::string>& paths);

// Files dropped on the main window (WM_DROPFILES): their paths go to selectPaths, unless a command
// runs (the buttons are disabled) or a dialog holds the window; the drop is released either way.
void onDropFiles(HDROP drop);

// Main window procedure: a flat switch handing each message to its handler; handled messages return 0.
LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Paints the background over the whole client area.
void onPaint(HWND window);

// Runs the command of a clicked button (BN_CLICKED) or records which button got the focus (BN_SETFOCUS).
void onCommand(HWND control, int controlId, int notificationCode);

// The Select command: the multi-selection open-file dialog fills the selection, or drops it on cancel.
void chooseFiles();

// The Clean command: hands the selection and the button windows to the batch run.
void cleanSelection();

// The About dialog: any command closes it.
INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace scourvane
