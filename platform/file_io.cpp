// Parts of the file layer shared by both platforms: texts and the fault plan used by tests.
#include "platform/file_io.h"

namespace scourvane::platform
{

namespace
{
struct FaultPlan
{
    IoStep step = IoStep::none;
    uint32_t remaining = 0; // the operation that brings this to 0 fails
};
FaultPlan faultPlan;
uint32_t writesToCorrupt = 0; // the write that brings this to 0 stores a corrupted byte
} // namespace

bool readWholeFile(const char* path, std::vector<uint8_t>& out, uint64_t maxSize, IoError* error,
                   FileIdentity* identity)
{
    return readWholeFileChecked(path, out, maxSize, 0, nullptr, nullptr, error, identity);
}

const char* ioStepText(IoStep step)
{
    switch (step)
    {
    case IoStep::none:
        return "no error";
    case IoStep::open:
        return "cannot open the file";
    case IoStep::size:
        return "cannot get the file's size";
    case IoStep::read:
        return "cannot read the file";
    case IoStep::tooLarge:
        return "the file is too large";
    case IoStep::create:
        return "cannot create the new file";
    case IoStep::write:
        return "cannot write the new file";
    case IoStep::flush:
        return "cannot flush the new file to disk";
    case IoStep::rename:
        return "cannot put the new file in place";
    case IoStep::close:
        return "cannot close the file";
    case IoStep::linked:
        return "the file has more than one hard link, and cleaning would split it from its other names";
    case IoStep::changed:
        return "the file changed while it was being cleaned";
    case IoStep::exists:
        return "a file of that name already exists";
    case IoStep::strayBytes:
        return "the new file holds other bytes than were written to it";
    case IoStep::notRegular:
        return "the name is taken by something that is not a regular file (a folder, a link, a device or a "
               "FIFO)";
    case IoStep::owner:
        return "cannot keep the file's owner and group";
    case IoStep::attributes:
        return "cannot keep the file's extended attributes or access control list";
    case IoStep::refused:
        return "the file's first bytes were refused";
    case IoStep::notFolder:
        return "a part of the way to the new file is a link or not a folder";
    case IoStep::times:
        return "cannot keep the file's modification and access times";
    case IoStep::readOnly:
        return "the file is read-only";
    }
    return "unknown error";
}

std::string describeIoError(const IoError& error)
{
    std::string text = ioStepText(error.step);
    if (error.systemError == 0) return text;
    text += ": ";
    text += systemMessage(error.systemError);
    text += " (error ";
    text += std::to_string(error.systemError);
    text += ')';
    return text;
}

FileReplacement::~FileReplacement()
{
    abandon();
}

bool FileReplacement::commit(const FileIdentity* expected, IoError* error)
{
    return finish(expected, true, error);
}

bool FileReplacement::commitNew(IoError* error)
{
    return finish(nullptr, false, error);
}

bool replaceFileContents(const char* path, const uint8_t* data, size_t size, IoError* error)
{
    FileReplacement replacement;
    return replacement.begin(path, size, error) && replacement.write(data, size, error) &&
           replacement.commit(nullptr, error);
}

void injectFault(IoStep step, uint32_t nth)
{
    faultPlan.step = nth == 0 ? IoStep::none : step;
    faultPlan.remaining = nth;
}

void clearFaults()
{
    faultPlan = FaultPlan{};
    writesToCorrupt = 0;
}

void injectCorruption(uint32_t nth)
{
    writesToCorrupt = nth;
}

const uint8_t* detail::bytesToStore(const uint8_t* data, size_t size, std::vector<uint8_t>& copy)
{
    if (writesToCorrupt == 0 || --writesToCorrupt != 0 || size == 0) return data;
    copy.assign(data, data + size);
    copy[0] = static_cast<uint8_t>(~copy[0]);
    return copy.data();
}

bool detail::faultNow(IoStep step)
{
    if (faultPlan.step != step || faultPlan.remaining == 0) return false;
    return --faultPlan.remaining == 0;
}

} // namespace scourvane::platform
