// The recording shell: keeps a list of calls for tests instead of touching any window.
#include "platform/shell_recording.h"
#include "platform/shell.h"

#include <filesystem>
#include <system_error>

namespace scourvane::shell
{

namespace
{
struct Recorder
{
    std::vector<recording::Call> calls;
    int answer = idNo;
    bool startSucceeds = true;
};

Recorder& recorder()
{
    static Recorder instance;
    return instance;
}

std::string currentDirectory()
{
    std::error_code error;
    std::filesystem::path path = std::filesystem::current_path(error);
    return error ? std::string() : path.string();
}

recording::Call& record(recording::CallKind kind, void* window)
{
    recording::Call call;
    call.kind = kind;
    call.window = window;
    call.directory = currentDirectory();
    recorder().calls.push_back(std::move(call));
    return recorder().calls.back();
}
} // namespace

int messageBox(void* owner, const char* text, const char* caption, uint32_t style)
{
    recording::Call& call = record(recording::CallKind::messageBox, owner);
    call.text = text;
    call.caption = caption;
    call.style = style;
    return recorder().answer;
}

void enableWindow(void* window, bool enable)
{
    record(recording::CallKind::enableWindow, window).enable = enable;
}

void setFocus(void* window)
{
    record(recording::CallKind::setFocus, window);
}

bool startProgram(const char* commandLine)
{
    record(recording::CallKind::startProgram, nullptr).text = commandLine;
    return recorder().startSucceeds;
}

namespace recording
{
const std::vector<Call>& calls()
{
    return recorder().calls;
}

void reset()
{
    recorder() = Recorder{};
}

void setAnswer(int answer)
{
    recorder().answer = answer;
}

void setStartSucceeds(bool succeeds)
{
    recorder().startSucceeds = succeeds;
}
} // namespace recording

} // namespace scourvane::shell
