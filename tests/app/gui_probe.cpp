// gui_probe.exe: looks into a running scourvane.exe from outside, for the end-to-end tests that drive
// it under Wine (scripts/gui_test.py). Each call runs one command and prints key=value lines.
//
//   gui_probe wait-main TIMEOUT_MS          the main window appears (prints its geometry and styles)
//   gui_probe wait-dialog CAPTION TIMEOUT_MS a dialog of the program with that caption ("-" for none)
//                                            appears (prints class|id|text of its children)
//   gui_probe wait-gone CAPTION TIMEOUT_MS   no such dialog is left
//   gui_probe state                          focus, enabled buttons and visible tooltip of the program
//   gui_probe rect CAPTION ID                screen rectangle of a control of a dialog ("main": a button)
//   gui_probe wait-window CLASS TIMEOUT_MS   any top-level window of that class (e.g. Notepad)
//   gui_probe close-window CLASS             sends WM_CLOSE to every top-level window of that class
//   gui_probe drop PATH...                   drops the files on the main window, as Explorer would
//   gui_probe drop-all FOLDER                drops every file of FOLDER at once (more names than a
//                                            command line holds)
//   gui_probe set-clipboard TEXT             puts TEXT on the clipboard (xdotool cannot type every script)
// Exit code 0 on success, 1 when the condition was not met in time, 2 on bad usage.
#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

HWND findMain()
{
    return FindWindowA("QMK3DOScourvaner", nullptr);
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

// Visible top-level windows of class `name`, of the program's process only when `ofProgram`.
std::vector<HWND> topWindows(const char* name, bool ofProgram)
{
    struct Search
    {
        const char* name;
        DWORD process;
        std::vector<HWND> found;
    } search{name, 0, {}};
    if (ofProgram && (findMain() == nullptr || GetWindowThreadProcessId(findMain(), &search.process) == 0))
        return {};
    auto match = [](HWND window, LPARAM param) -> BOOL
    {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (IsWindowVisible(window) && className(window) == s->name &&
            (s->process == 0 || process == s->process))
            s->found.push_back(window);
        return TRUE;
    };
    EnumWindows(match, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND findDialog(const char* caption)
{
    const std::string wanted = std::strcmp(caption, "-") == 0 ? "" : caption;
    for (HWND dialog : topWindows("#32770", true))
        if (windowText(dialog) == wanted) return dialog;
    return nullptr;
}

// Polls `holds` every 100 ms until it is true or `timeoutMs` has passed.
template <typename Condition> bool waitFor(Condition holds, int timeoutMs)
{
    for (const DWORD start = GetTickCount();; Sleep(100))
    {
        if (holds()) return true;
        if (static_cast<int>(GetTickCount() - start) >= timeoutMs) return false;
    }
}

void printMain(HWND main)
{
    RECT client{};
    RECT outer{};
    GetClientRect(main, &client);
    GetWindowRect(main, &outer);
    const LONG_PTR style = GetWindowLongPtrA(main, GWL_STYLE);
    std::printf("client_width=%ld\nclient_height=%ld\n", client.right, client.bottom);
    std::printf("outer_x=%ld\nouter_y=%ld\nouter_width=%ld\nouter_height=%ld\n", outer.left, outer.top,
                outer.right - outer.left, outer.bottom - outer.top);
    std::printf("maximized_width=%d\nmaximized_height=%d\n", GetSystemMetrics(SM_CXMAXIMIZED),
                GetSystemMetrics(SM_CYMAXIMIZED));
    std::printf("maximize_box=%d\nsizing_border=%d\naccepts_files=%d\ntitle=%s\n",
                (style & WS_MAXIMIZEBOX) ? 1 : 0, (style & WS_THICKFRAME) ? 1 : 0,
                (GetWindowLongPtrA(main, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) ? 1 : 0, windowText(main).c_str());
}

int printState()
{
    HWND main = findMain();
    if (main == nullptr) return 1;
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info);
    std::printf("focus=%d\nenabled=", info.hwndFocus != nullptr ? GetDlgCtrlID(info.hwndFocus) : 0);
    for (int id = 1000; id <= 1003; ++id)
        std::printf("%d", IsWindowEnabled(GetDlgItem(main, id)) ? 1 : 0);
    const auto tips = topWindows("tooltips_class32", true);
    std::printf("\ntooltip_visible=%d\ntooltip_text=%s\n", tips.empty() ? 0 : 1,
                tips.empty() ? "" : windowText(tips.front()).c_str());
    return 0;
}

// Hands `paths` to the program as a drop: a DROPFILES block with wide names, written into the
// program's own memory (a drop handle is memory of the receiving process) and posted as WM_DROPFILES.
int dropFiles(const std::vector<std::wstring>& paths)
{
    HWND main = findMain();
    DWORD processId = 0;
    if (main == nullptr || GetWindowThreadProcessId(main, &processId) == 0) return 1;
    std::vector<char> block(sizeof(DROPFILES));
    DROPFILES header{};
    header.pFiles = sizeof(DROPFILES);
    header.fWide = TRUE;
    std::memcpy(block.data(), &header, sizeof(header));
    for (const std::wstring& path : paths)
    {
        const char* bytes = reinterpret_cast<const char*>(path.c_str());
        block.insert(block.end(), bytes, bytes + (path.size() + 1) * sizeof(wchar_t));
    }
    block.insert(block.end(), sizeof(wchar_t), '\0');
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId);
    if (process == nullptr) return 1;
    void* remote = VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    const bool written =
        remote != nullptr && WriteProcessMemory(process, remote, block.data(), block.size(), nullptr);
    CloseHandle(process);
    return written && PostMessageW(main, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0) ? 0 : 1;
}

// The files directly in `folder`, each with the folder's path.
std::vector<std::wstring> filesIn(const std::wstring& folder)
{
    std::vector<std::wstring> paths;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return paths;
    do
    {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            paths.push_back(folder + L"\\" + found.cFileName);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return paths;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc >= 2 ? argv[1] : "";
    const char* name = argc >= 3 ? argv[2] : "";
    const int number = argc >= 4 ? std::atoi(argv[3]) : 0;
    // Paths and texts as Windows has them, whatever this process's code page makes of its arguments.
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    const std::vector<std::wstring> wideArguments =
        wide == nullptr ? std::vector<std::wstring>{}
                        : std::vector<std::wstring>(wide + std::min(count, 2), wide + count);
    LocalFree(wide);

    if (command == "wait-main" && argc >= 3)
    {
        if (!waitFor([] { return IsWindowVisible(findMain()); }, std::atoi(argv[2]))) return 1;
        printMain(findMain());
        return 0;
    }
    if ((command == "wait-dialog" || command == "wait-gone") && argc >= 4)
    {
        const bool wanted = command == "wait-dialog";
        if (!waitFor([&] { return (findDialog(name) != nullptr) == wanted; }, number)) return 1;
        if (HWND dialog = wanted ? findDialog(name) : nullptr)
            for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
                 child = GetWindow(child, GW_HWNDNEXT))
                std::printf("%s|%d|%s\n", className(child).c_str(), GetDlgCtrlID(child),
                            windowText(child).c_str());
        return 0;
    }
    if (command == "state") return printState();
    if (command == "rect" && argc >= 4)
    {
        HWND control = GetDlgItem(std::strcmp(name, "main") == 0 ? findMain() : findDialog(name), number);
        RECT rect{};
        if (control == nullptr || !GetWindowRect(control, &rect)) return 1;
        std::printf("left=%ld\ntop=%ld\nright=%ld\nbottom=%ld\n", rect.left, rect.top, rect.right,
                    rect.bottom);
        return 0;
    }
    if (command == "wait-window" && argc >= 4)
    {
        std::vector<HWND> found;
        if (!waitFor([&] { return !(found = topWindows(name, false)).empty(); }, number)) return 1;
        std::printf("title=%s\n", windowText(found.front()).c_str());
        return 0;
    }
    if (command == "close-window" && argc >= 3)
    {
        for (HWND window : topWindows(name, false))
            PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    }
    if (command == "drop" && !wideArguments.empty()) return dropFiles(wideArguments);
    if (command == "drop-all" && !wideArguments.empty())
    {
        const std::vector<std::wstring> paths = filesIn(wideArguments.front());
        return paths.empty() ? 1 : dropFiles(paths);
    }
    if (command == "set-clipboard" && !wideArguments.empty())
    {
        const size_t bytes = (wideArguments.front().size() + 1) * sizeof(wchar_t);
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
        std::memcpy(GlobalLock(memory), wideArguments.front().c_str(), bytes);
        GlobalUnlock(memory);
        if (!OpenClipboard(nullptr)) return 1;
        EmptyClipboard();
        const bool set = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        CloseClipboard();
        return set ? 0 : 1;
    }
    std::fprintf(stderr, "usage: gui_probe COMMAND ARGS (see the source)\n");
    return 2;
}
