#include "batch/selection_list.h"

#include "platform/file_io.h"

#include <cstring>

namespace scourvane
{

namespace
{
// Length of the string at `offset`, or SIZE_MAX when it is not ended within the buffer.
size_t boundedLength(const char* selection, size_t offset)
{
    if (offset >= selectionBufferSize) return SIZE_MAX;
    const void* end = std::memchr(selection + offset, '\0', selectionBufferSize - offset);
    if (end == nullptr) return SIZE_MAX;
    return static_cast<size_t>(static_cast<const char*>(end) - (selection + offset));
}
} // namespace

SelectionForm selectionForm(const char* selection)
{
    return platform::isDirectory(selection) ? SelectionForm::multiple : SelectionForm::single;
}

SelectionWalk::SelectionWalk(const char* selection) : selection_(selection), form_(selectionForm(selection))
{
    if (form_ == SelectionForm::multiple)
    {
        size_t directoryLength = boundedLength(selection_, 0);
        path_.assign(selection_, directoryLength);
        path_.push_back('\\');
        prefixLength_ = path_.size();
        nextName_ = directoryLength + 1;
    }
}

bool SelectionWalk::next()
{
    if (form_ == SelectionForm::single)
    {
        if (singleTaken_) return false;
        singleTaken_ = true;
        size_t length = boundedLength(selection_, 0);
        path_.assign(selection_, length == SIZE_MAX ? selectionBufferSize : length);
        return true;
    }
    size_t nameLength = boundedLength(selection_, nextName_);
    if (nameLength == 0 || nameLength == SIZE_MAX) return false;
    path_.resize(prefixLength_);
    path_.append(selection_ + nextName_, nameLength);
    nextName_ += nameLength + 1;
    return true;
}

} // namespace scourvane
