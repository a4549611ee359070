// The Clean command: walks the selection, cleans each file in place and writes log.txt. The per-file
// step it runs is in file_step.h, the report it writes in report.h.
#pragma once

#include <cstddef>

namespace scourvane
{

// What the run needs of the shell: the owner of its message boxes, the four command buttons'
// windows (0 Select, 1 Clean, 2 About, 3 Quit) and the selection list (null when nothing is selected).
// Window handles are opaque here (HWND on Windows).
struct RunContext
{
    void* mainWindow = nullptr;
    void* buttonWindows[4] = {nullptr, nullptr, nullptr, nullptr};
    const char* selectionBuffer = nullptr;
    size_t selectionSize = 0; // the selection buffer's size in bytes; 0: the dialog's, selectionBufferSize
    // Name each file in the log by its path below the selection's folder (where the log goes) rather
    // than by its full path: a mod's folder taken with its subfolders.
    bool namesBelowFolder = false;
    unsigned workers = 0; // how many files are cleaned at once; 0: one per core
};

// Runs one Clean command synchronously: disables the buttons, cleans every selected file, writes
// log.txt in the current directory, shows the completion prompt, opens the log on request, enables
// the buttons again and focuses the Clean button.
void runCleaning(const RunContext& context);

} // namespace scourvane
