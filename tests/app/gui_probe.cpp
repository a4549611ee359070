// gui_probe.exe: looks into a running scourvane.exe from outside, for the end-to-end tests that drive
// it under Wine (scripts/gui_test.py). Each call runs one command and prints key=value lines.
//
//   gui_probe wait-main TIMEOUT_MS          the main window appears (prints its geometry and styles)
//   gui_probe wait-dialog CAPTION TIMEOUT_MS a dialog of the program with that caption ("-" for none)
//   gui_probe wait-gone CAPTION TIMEOUT_MS   no such dialog is left
//   gui_probe dialog-texts CAPTION           texts of the dialog's children, one per line
//   gui_probe state                          focus, enabled buttons and visible tooltip of the program
//   gui_probe button-rect ID                 screen rectangle of a command button
//   gui_probe control-rect CAPTION ID        screen rectangle of a control in one of its dialogs
//   gui_probe wait-window CLASS TIMEOUT_MS   any top-level window of that class (e.g. Notepad)
//   gui_probe close-window CLASS             sends WM_CLOSE to every top-level window of that class
//   gui_probe make-model PATH                writes a small model with dead weight for the program to clean
//   gui_probe load-model PATH                prints the model's vertex and face counts
// Exit code 0 on success, 1 when the condition was not met in time, 2 on bad usage.
#include "model/object_part.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

constexpr const char* mainClass = "QMK3DOScourvaner";

HWND findMain()
{
    return FindWindowA(mainClass, nullptr);
}

DWORD programProcess()
{
    DWORD process = 0;
    HWND main = findMain();
    if (main != nullptr) GetWindowThreadProcessId(main, &process);
    return process;
}

std::string windowText(HWND window)
{
    char text[2048] = {};
    // WM_GETTEXT rather than GetWindowText, which does not ask windows of another process.
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        2000, nullptr);
    return text;
}

std::string className(HWND window)
{
    char name[256] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

struct DialogSearch
{
    DWORD process;
    const char* caption;
    HWND found;
};

BOOL CALLBACK matchDialog(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<DialogSearch*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != search->process || !IsWindowVisible(window) || className(window) != "#32770") return TRUE;
    const std::string caption = windowText(window);
    const bool wantUntitled = std::strcmp(search->caption, "-") == 0;
    if ((wantUntitled && caption.empty()) || (!wantUntitled && caption == search->caption))
    {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND findDialog(const char* caption)
{
    DialogSearch search{programProcess(), caption, nullptr};
    if (search.process == 0) return nullptr;
    EnumWindows(&matchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

template <typename Find> HWND waitFor(Find find, int timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;)
    {
        HWND window = find();
        if (window != nullptr) return window;
        if (static_cast<int>(GetTickCount() - start) >= timeoutMs) return nullptr;
        Sleep(100);
    }
}

void printMain(HWND main)
{
    RECT client{};
    RECT outer{};
    GetClientRect(main, &client);
    GetWindowRect(main, &outer);
    POINT origin{0, 0};
    ClientToScreen(main, &origin);
    const LONG_PTR style = GetWindowLongPtrA(main, GWL_STYLE);
    std::printf("client_width=%ld\nclient_height=%ld\n", client.right - client.left,
                client.bottom - client.top);
    std::printf("client_x=%ld\nclient_y=%ld\n", origin.x, origin.y);
    std::printf("outer_x=%ld\nouter_y=%ld\n", outer.left, outer.top);
    std::printf("maximized_width=%d\nmaximized_height=%d\n", GetSystemMetrics(SM_CXMAXIMIZED),
                GetSystemMetrics(SM_CYMAXIMIZED));
    std::printf("outer_width=%ld\nouter_height=%ld\n", outer.right - outer.left, outer.bottom - outer.top);
    std::printf("style=0x%08lx\n", static_cast<unsigned long>(style));
    std::printf("maximize_box=%d\nsizing_border=%d\nminimize_box=%d\n", (style & WS_MAXIMIZEBOX) ? 1 : 0,
                (style & WS_THICKFRAME) ? 1 : 0, (style & WS_MINIMIZEBOX) ? 1 : 0);
    std::printf("title=%s\n", windowText(main).c_str());
}

struct TooltipSearch
{
    DWORD process;
    std::string text;
    bool visible;
};

BOOL CALLBACK matchTooltip(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<TooltipSearch*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == search->process && IsWindowVisible(window) && className(window) == "tooltips_class32")
    {
        search->visible = true;
        search->text = windowText(window);
        return FALSE;
    }
    return TRUE;
}

int printState()
{
    HWND main = findMain();
    if (main == nullptr) return 1;
    DWORD process = 0;
    const DWORD thread = GetWindowThreadProcessId(main, &process);
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(thread, &info);
    const int focusId = info.hwndFocus != nullptr ? GetDlgCtrlID(info.hwndFocus) : 0;
    std::printf("focus=%d\n", focusId);
    std::printf("focus_class=%s\n", info.hwndFocus != nullptr ? className(info.hwndFocus).c_str() : "");
    std::printf("active_is_main=%d\n", info.hwndActive == main ? 1 : 0);
    std::printf("enabled=");
    for (int id = 1000; id <= 1003; ++id)
        std::printf("%d", IsWindowEnabled(GetDlgItem(main, id)) ? 1 : 0);
    std::printf("\n");
    TooltipSearch tip{process, "", false};
    EnumWindows(&matchTooltip, reinterpret_cast<LPARAM>(&tip));
    std::printf("tooltip_visible=%d\ntooltip_text=%s\n", tip.visible ? 1 : 0, tip.text.c_str());
    return 0;
}

struct ClassSearch
{
    const char* name;
    std::vector<HWND> found;
};

BOOL CALLBACK matchClass(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<ClassSearch*>(param);
    if (IsWindowVisible(window) && className(window) == search->name) search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> windowsOfClass(const char* name)
{
    ClassSearch search{name, {}};
    EnumWindows(&matchClass, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A model carrying every kind of dead weight: a colour-0 untextured face, an unused vertex, a
// duplicated vertex and a texture name repeated on every face.
bool makeModel(const char* path)
{
    using scourvane::Face;
    using scourvane::ObjectPart;
    using scourvane::Vertex;
    ObjectPart root;
    root.name = std::string("base") + '\0';
    const uint32_t unit = 0x10000;
    root.vertexes = {Vertex{0, 0, 0},
                     Vertex{unit, 0, 0},
                     Vertex{unit, unit, 0},
                     Vertex{0, unit, 0},
                     Vertex{0, 0, unit},
                     Vertex{0, 0, 0},
                     Vertex{7 * unit, 7 * unit, 7 * unit}};
    auto textured = [](std::vector<uint16_t> indexes)
    {
        Face face;
        face.indexes = std::move(indexes);
        face.indexCount = static_cast<uint32_t>(face.indexes.size());
        face.textureName = std::string("armmetal") + '\0';
        return face;
    };
    Face dead;
    dead.indexes = {0, 1, 4};
    dead.indexCount = 3;
    root.faces = {textured({0, 1, 2, 3}), textured({5, 1, 4}), textured({3, 2, 4}), dead};
    root.vertexCount = static_cast<uint32_t>(root.vertexes.size());
    root.faceCount = static_cast<uint32_t>(root.faces.size());
    root.child = std::make_unique<ObjectPart>();
    ObjectPart& turret = *root.child;
    turret.name = std::string("turret") + '\0';
    turret.vertexes = {Vertex{0, 0, 0}, Vertex{unit, 0, 0}, Vertex{0, unit, 0}};
    turret.faces = {textured({0, 1, 2})};
    turret.vertexCount = 3;
    turret.faceCount = 1;
    return root.saveModelFile(path);
}

int usage()
{
    std::fprintf(stderr, "usage: gui_probe COMMAND ARGS (see the source)\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return usage();
    const std::string command = argv[1];
    auto argInt = [&](int i) { return i < argc ? std::atoi(argv[i]) : 0; };

    if (command == "wait-main")
    {
        HWND main = waitFor([] { return IsWindowVisible(findMain()) ? findMain() : nullptr; }, argInt(2));
        if (main == nullptr) return 1;
        printMain(main);
        return 0;
    }
    if ((command == "wait-dialog" || command == "wait-gone") && argc >= 4)
    {
        const char* caption = argv[2];
        if (command == "wait-dialog")
            return waitFor([&] { return findDialog(caption); }, argInt(3)) != nullptr ? 0 : 1;
        // Any non-null handle stands for "gone"; it is never used as a window.
        HWND gone =
            waitFor([&] { return findDialog(caption) == nullptr ? GetDesktopWindow() : nullptr; }, argInt(3));
        return gone != nullptr ? 0 : 1;
    }
    if (command == "dialog-texts" && argc >= 3)
    {
        HWND dialog = findDialog(argv[2]);
        if (dialog == nullptr) return 1;
        for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT))
            std::printf("%s|%d|%s\n", className(child).c_str(), GetDlgCtrlID(child),
                        windowText(child).c_str());
        return 0;
    }
    if (command == "state") return printState();
    if (command == "button-rect" && argc >= 3)
    {
        HWND button = GetDlgItem(findMain(), argInt(2));
        RECT rect{};
        if (button == nullptr || !GetWindowRect(button, &rect)) return 1;
        std::printf("left=%ld\ntop=%ld\nright=%ld\nbottom=%ld\n", rect.left, rect.top, rect.right,
                    rect.bottom);
        return 0;
    }
    if (command == "control-rect" && argc >= 4)
    {
        HWND control = GetDlgItem(findDialog(argv[2]), argInt(3));
        RECT rect{};
        if (control == nullptr || !GetWindowRect(control, &rect)) return 1;
        std::printf("left=%ld\ntop=%ld\nright=%ld\nbottom=%ld\n", rect.left, rect.top, rect.right,
                    rect.bottom);
        return 0;
    }
    if (command == "wait-window" && argc >= 4)
    {
        const char* name = argv[2];
        HWND found = waitFor(
            [&]
            {
                auto windows = windowsOfClass(name);
                return windows.empty() ? nullptr : windows.front();
            },
            argInt(3));
        if (found == nullptr) return 1;
        std::printf("title=%s\n", windowText(found).c_str());
        return 0;
    }
    if (command == "close-window" && argc >= 3)
    {
        for (HWND window : windowsOfClass(argv[2]))
            PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    }
    if (command == "make-model" && argc >= 3) return makeModel(argv[2]) ? 0 : 1;
    if (command == "load-model" && argc >= 3)
    {
        scourvane::ObjectPart root;
        if (!root.loadModelFile(argv[2])) return 1;
        std::printf("vertexes=%u\nfaces=%u\n", root.countVertexes(), root.countFaces());
        return 0;
    }
    return usage();
}
