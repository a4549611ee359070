// The Clean command.
#include "batch/batch_run.h"

#include "batch/file_jobs.h"
#include "batch/report.h"
#include "batch/selection_list.h"
#include "platform/shell.h"

#include <string>
#include <vector>

namespace scourvane
{

namespace
{
constexpr int cleanButton = 1;

void enableButtons(const RunContext& context, bool enable)
{
    for (void* window : context.buttonWindows)
        shell::enableWindow(window, enable);
}
} // namespace

void runCleaning(const RunContext& context)
{
    // No second command may start while files are being rewritten.
    enableButtons(context, false);

    if (context.selectionBuffer == nullptr)
    {
        shell::messageBox(context.mainWindow,
                          "No 3DO files have been selected.\nYou must select one or more 3DO files.",
                          "No 3DO Files Selected!", shell::mbOk | shell::mbIconHand);
    }
    else
    {
        ReportLog log;
        bool logOpened = log.create("log.txt");
        log.write(reportTitle());

        // The files are cleaned on several workers while this thread waits, and reported in the
        // selection's order, exactly as one by one.
        std::vector<FileJob> jobs;
        std::vector<std::string> names; // how the log names each file
        SelectionWalk walk(context.selectionBuffer,
                           context.selectionSize != 0 ? context.selectionSize : selectionBufferSize);
        while (walk.next())
        {
            jobs.push_back({walk.path(), FileStepOptions{}});
            names.emplace_back(context.namesBelowFolder ? walk.name() : walk.path());
        }
        CleanTotals totals;
        runFileJobs(jobs, context.workers != 0 ? context.workers : defaultWorkerCount(), {},
                    [&](size_t index, const FileResult& result)
                    {
                        ++totals.filesAttempted;
                        addToTotals(result, totals);
                        log.write(formatFileReport(names[index].c_str(), result));
                    });
        if (logOpened) log.write(formatSummary(totals));
        // The log takes its name only now, whole; a log that could not be written leaves the
        // previous one, and the editor is not offered a file that is not this run's.
        const bool logWritten = logOpened && log.commit();

        int answer =
            shell::messageBox(context.mainWindow,
                              "File cleaning complete.\nWould you like to see the log file for more details?",
                              "Cleaning Completed!", shell::mbYesNo | shell::mbIconInformation);
        if (answer == shell::idYes && logWritten) shell::startProgram("notepad log.txt");
    }

    enableButtons(context, true);
    shell::setFocus(context.buttonWindows[cleanButton]);
}

} // namespace scourvane
