// The main window of the Windows program: its creation, messages and commands (Select, Clean, About,
// Quit, dropped files), and the About dialog.
#include "app/application.h"

#include "batch/batch_run.h"
#include "platform/file_io.h"
#include "platform/path.h"
#include "resources/resource.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <cstring>

namespace scourvane
{

Application* theApplication = nullptr;

namespace
{

// Caption, system menu and minimise box; no sizing border and no maximise box, so the client area
// always matches the background picture.
constexpr DWORD mainWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

constexpr size_t stringScratchSize = 4096;
constexpr size_t fileTitleSize = 260;

// Filter pairs, each text NUL-terminated, the list closed by one more NUL.
constexpr char openFileFilter[] = "All Files (*.*)\0*.*\0TA 3D Object Files (*.3do)\0*.3do\0";

void showRegistrationFailure(const Application& app)
{
    const char* text = GetLastError() == ERROR_CALL_NOT_IMPLEMENTED ? "This program requires Windows NT!"
                                                                    : "Could not register the window class!";
    MessageBoxA(nullptr, text, app.windowTitle.c_str(), MB_ICONHAND);
}

void onCreate(HWND window)
{
    createButtons(window);
    // Files dropped from Explorer (or any other program) arrive as WM_DROPFILES.
    DragAcceptFiles(window, TRUE);
}

// Why a set of dropped (or given) paths made no selection, for the message box that says so.
void showRefusal(PathsSelection result)
{
    const char* text = nullptr;
    const char* caption = nullptr;
    switch (result)
    {
    case PathsSelection::severalFolders:
        text = "Files of one folder can be dropped at a time.\nDrop the files of each folder separately.";
        caption = "Files From Several Folders!";
        break;
    case PathsSelection::nothingToSelect:
        text = "No 3DO files were found in the dropped folder.";
        caption = "No 3DO Files Dropped!";
        break;
    case PathsSelection::tooLong:
        text = "Too many files were dropped at once: their names would take more than 16 MB.\nDrop fewer "
               "files at a time.";
        caption = "Too Many Files Dropped!";
        break;
    case PathsSelection::made:
        return;
    }
    MessageBoxA(theApplication->mainWindow, text, caption, MB_OK | MB_ICONEXCLAMATION);
}

// Asks whether a dropped folder that holds no models itself should give the `count` models of its
// subfolders: a mod's folder keeps them in objects3d/ and the like.
bool askToTakeSubfolders(const std::string& folder, size_t count)
{
    const std::string number = std::to_string(count);
    const char* noun = count == 1 ? " 3DO file" : " 3DO files";
    std::string text = "The folder \"";
    text += platform::pathName(platform::trimmedFolder(folder));
    text += "\" holds no 3DO files itself, but its subfolders hold ";
    text += number;
    text += ".\n\nTake the ";
    text += number;
    text += noun;
    text += " in its subfolders? log.txt will go into this folder.";
    return MessageBoxA(theApplication->mainWindow, text.c_str(), "3DO Files In Subfolders",
                       MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void onDestroy()
{
    PostQuitMessage(0);
}

void onSetFocus()
{
    // The focus always passes on to the button that last had it.
    const auto& button = theApplication->buttons[static_cast<size_t>(theApplication->focusIndex)];
    SetFocus(button->window);
}

void showAboutDialog()
{
    Application& app = *theApplication;
    DialogBoxParamA(app.instance, MAKEINTRESOURCEA(IDD_ABOUT), app.mainWindow, &aboutDialogProc, 0);
}

void onButtonFocused(HWND control)
{
    Application& app = *theApplication;
    for (int i = 0; i < buttonCount; ++i)
    {
        HWND buttonWindow = app.buttons[static_cast<size_t>(i)]->window;
        if (buttonWindow == control)
        {
            SetFocus(buttonWindow);
            app.focusIndex = i;
            return;
        }
    }
}

} // namespace

Application::Application(HINSTANCE instanceHandle)
    : instance(instanceHandle), background(instanceHandle, IDB_BACKGROUND)
{
    // Select and Clean sit in wide frames, About and Quit in narrow ones.
    static constexpr int art[buttonCount][5] = {
        {IDB_SELECT_NORMAL, IDB_SELECT_PRESSED, IDB_SELECT_DISABLED, IDB_FRAME_WIDE_UNFOCUSED,
         IDB_FRAME_WIDE_FOCUSED},
        {IDB_CLEAN_NORMAL, IDB_CLEAN_PRESSED, IDB_CLEAN_DISABLED, IDB_FRAME_WIDE_UNFOCUSED,
         IDB_FRAME_WIDE_FOCUSED},
        {IDB_ABOUT_NORMAL, IDB_ABOUT_PRESSED, IDB_ABOUT_DISABLED, IDB_FRAME_NARROW_UNFOCUSED,
         IDB_FRAME_NARROW_FOCUSED},
        {IDB_QUIT_NORMAL, IDB_QUIT_PRESSED, IDB_QUIT_DISABLED, IDB_FRAME_NARROW_UNFOCUSED,
         IDB_FRAME_NARROW_FOCUSED},
    };
    for (size_t i = 0; i < buttonCount; ++i)
        buttons[i] =
            std::make_unique<BitmapButton>(instance, art[i][0], art[i][1], art[i][2], art[i][3], art[i][4]);
}

Application::~Application()
{
    for (auto& button : buttons)
        button.reset();
    className.clear();
    windowTitle.clear();
    selectionBuffer.clear();
    selectionBuffer.shrink_to_fit();
    if (messageHook != nullptr) UnhookWindowsHookEx(messageHook);
}

std::string Application::loadStringResource(unsigned id) const
{
    char scratch[stringScratchSize] = {};
    LoadStringA(instance, id, scratch, static_cast<int>(sizeof(scratch)));
    return std::string(scratch);
}

bool createUserInterface(int showCommand)
{
    Application& app = *theApplication;
    app.className = app.loadStringResource(IDS_CLASS_NAME);
    app.windowTitle = app.loadStringResource(IDS_WINDOW_TITLE);

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    // The tooltip control and the hook exist before any window they will serve.
    createTooltipControl();
    installMessageHook();
    activateTooltip();

    RECT outer{0, 0, app.background.width, app.background.height};
    AdjustWindowRect(&outer, mainWindowStyle, FALSE);
    const int outerWidth = outer.right - outer.left;
    const int outerHeight = outer.bottom - outer.top;

    WNDCLASSA windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = &mainWindowProc;
    windowClass.hInstance = app.instance;
    windowClass.hIcon = LoadIconA(app.instance, MAKEINTRESOURCEA(IDI_APPLICATION_ICON));
    windowClass.hCursor = nullptr;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = app.className.c_str();
    if (RegisterClassA(&windowClass) == 0)
    {
        showRegistrationFailure(app);
        return false;
    }

    // Centred in the maximised-window area; a window larger than it gets a negative position.
    const int x = (GetSystemMetrics(SM_CXMAXIMIZED) - outerWidth) / 2;
    const int y = (GetSystemMetrics(SM_CYMAXIMIZED) - outerHeight) / 2;
    // WM_CREATE arrives inside this call, before mainWindow is set: the buttons take their parent
    // from the window procedure's argument.
    app.mainWindow = CreateWindowExA(0, app.className.c_str(), app.windowTitle.c_str(), mainWindowStyle, x, y,
                                     outerWidth, outerHeight, nullptr, nullptr, app.instance, nullptr);
    ShowWindow(app.mainWindow, showCommand);
    UpdateWindow(app.mainWindow);
    return app.mainWindow != nullptr;
}

int runApplication(HINSTANCE instance, int showCommand, const std::vector<std::string>& startPaths)
{
    auto application = std::make_unique<Application>(instance);
    theApplication = application.get();
    if (!createUserInterface(showCommand))
    {
        // Nothing would ever post the quit message without a window: end here.
        theApplication = nullptr;
        application.reset();
        return 1;
    }
    if (!startPaths.empty()) selectPaths(startPaths);
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
    {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // The windows outlive the object: unpublish it first so no late message can reach freed state.
    theApplication = nullptr;
    application.reset();
    return static_cast<int>(message.wParam);
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (theApplication == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    switch (message)
    {
    case WM_CREATE:
        onCreate(window);
        return 0;
    case WM_DESTROY:
        onDestroy();
        return 0;
    case WM_SETFOCUS:
        onSetFocus();
        return 0;
    case WM_PAINT:
        onPaint(window);
        return 0;
    case WM_DRAWITEM:
        onDrawItem(window, static_cast<UINT>(wParam), reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return 0;
    case WM_COMMAND:
        onCommand(reinterpret_cast<HWND>(lParam), LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_DROPFILES:
        onDropFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

void onPaint(HWND window)
{
    PAINTSTRUCT paint{};
    HDC target = BeginPaint(window, &paint);
    theApplication->background.draw(target, 0, 0);
    EndPaint(window, &paint);
}

void onCommand(HWND control, int controlId, int notificationCode)
{
    if (notificationCode == BN_CLICKED)
    {
        switch (controlId)
        {
        case IDC_SELECT:
            chooseFiles();
            break;
        case IDC_CLEAN:
            cleanSelection();
            break;
        case IDC_ABOUT:
            showAboutDialog();
            break;
        case IDC_QUIT:
            // The window is left standing: the loop ends and the process takes it along.
            PostQuitMessage(0);
            break;
        default:
            break;
        }
    }
    else if (notificationCode == BN_SETFOCUS)
    {
        onButtonFocused(control);
    }
}

void chooseFiles()
{
    Application& app = *theApplication;
    // An earlier selection is wiped before the dialog opens.
    app.selectionBuffer.assign(selectionBufferSize, '\0');
    app.namesBelowFolder = false;
    char fileTitle[fileTitleSize] = {};

    OPENFILENAMEA dialog{};
    // The pre-Windows 2000 layout, sized for this build's pointer width.
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = app.mainWindow;
    dialog.hInstance = app.instance;
    dialog.lpstrFilter = openFileFilter;
    dialog.nFilterIndex = 2;
    dialog.lpstrFile = app.selectionBuffer.data();
    dialog.nMaxFile = static_cast<DWORD>(selectionBufferSize);
    dialog.lpstrFileTitle = fileTitle;
    dialog.nMaxFileTitle = static_cast<DWORD>(fileTitleSize);
    dialog.lpstrTitle = "Open 3DO File(s)";
    // No OFN_NOCHANGEDIR: the folder the dialog leaves current is where log.txt goes.
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_ALLOWMULTISELECT;
    if (GetOpenFileNameA(&dialog) == 0)
    {
        app.selectionBuffer.clear();
        app.selectionBuffer.shrink_to_fit();
    }
}

void selectPaths(const std::vector<std::string>& paths)
{
    Application& app = *theApplication;
    std::string folder;
    PathsSelection result = selectionFromPaths(paths, app.selectionBuffer, folder);
    bool below = false;
    if (result == PathsSelection::nothingToSelect && paths.size() == 1 &&
        platform::isDirectory(paths.front().c_str()))
    {
        const std::vector<std::string> names = modelsInSubfolders(paths.front());
        if (!names.empty())
        {
            if (!askToTakeSubfolders(paths.front(), names.size())) return;
            result = selectionBelowFolder(paths.front(), names, app.selectionBuffer, folder);
            below = true;
        }
    }
    if (result != PathsSelection::made)
    {
        showRefusal(result);
        return;
    }
    app.namesBelowFolder = below;
    // As the dialog would leave it: log.txt goes next to the files (or into the dropped folder).
    SetCurrentDirectoryA(folder.c_str());
}

void onDropFiles(HDROP drop)
{
    const Application& app = *theApplication;
    // A Clean run disables the buttons (index 1 is Clean) and a modal dialog disables the main window;
    // a drop that comes meanwhile is ignored.
    const bool busy = !IsWindowEnabled(app.mainWindow) || !IsWindowEnabled(app.buttons[1]->window);
    std::vector<std::string> paths;
    const UINT count = busy ? 0 : DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i)
    {
        std::string path(DragQueryFileA(drop, i, nullptr, 0), '\0');
        DragQueryFileA(drop, i, path.data(), static_cast<UINT>(path.size() + 1));
        if (!path.empty()) paths.push_back(std::move(path));
    }
    DragFinish(drop);
    if (!paths.empty()) selectPaths(paths);
}

void cleanSelection()
{
    const Application& app = *theApplication;
    RunContext context;
    context.mainWindow = app.mainWindow;
    for (int i = 0; i < buttonCount; ++i)
        context.buttonWindows[i] = app.buttons[static_cast<size_t>(i)]->window;
    context.selectionBuffer = app.selection();
    context.selectionSize = app.selectionBuffer.size();
    context.namesBelowFolder = app.namesBelowFolder;
    runCleaning(context);
}

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/)
{
    switch (message)
    {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        // OK, Enter (the default button) and Esc (IDCANCEL) all arrive here.
        EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace scourvane
