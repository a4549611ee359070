// Builds the selection list from paths (dropped or given) and walks it file by file, in either of its
// two forms.
#include "batch/selection_list.h"

#include "platform/file_io.h"
#include "platform/folder.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace scourvane
{

namespace
{
// Length of the string at `offset`, or SIZE_MAX when it is not ended within the buffer's `size`.
size_t boundedLength(const char* selection, size_t size, size_t offset)
{
    if (offset >= size) return SIZE_MAX;
    const void* end = std::memchr(selection + offset, '\0', size - offset);
    if (end == nullptr) return SIZE_MAX;
    return static_cast<size_t>(static_cast<const char*>(end) - (selection + offset));
}

// The list (each string with its NUL) into `buffer`, with room for the empty string that ends it:
// never smaller than the dialog's buffer, larger only when the list needs it.
bool fillBuffer(const std::string& list, std::vector<char>& buffer)
{
    if (list.size() + 1 > maxPathsSelectionSize) return false;
    buffer.assign(std::max(selectionBufferSize, list.size() + 1), '\0');
    std::copy(list.begin(), list.end(), buffer.begin());
    return true;
}

} // namespace

bool hasModelExtension(std::string_view name)
{
    if (name.size() < 4) return false;
    std::string_view tail = name.substr(name.size() - 4);
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return tail[0] == '.' && lower(tail[1]) == '3' && lower(tail[2]) == 'd' && lower(tail[3]) == 'o';
}

PathsSelection selectionFromPaths(const std::vector<std::string>& paths, std::vector<char>& buffer,
                                  std::string& folder)
{
    std::string common;
    bool haveFolder = false;
    std::vector<std::string> names;
    std::unordered_set<std::string> taken; // a drop of thousands of files must not cost their square
    auto addFrom = [&](const std::string& where, std::string name)
    {
        if (haveFolder && where != common) return false;
        common = where;
        haveFolder = true;
        if (taken.insert(name).second) names.push_back(std::move(name));
        return true;
    };
    for (const std::string& path : paths)
    {
        if (platform::isDirectory(path.c_str()))
        {
            std::vector<std::string> found;
            platform::listFolderFiles(path.c_str(), found);
            std::sort(found.begin(), found.end());
            const std::string where = platform::trimmedFolder(path);
            for (std::string& name : found)
                if (hasModelExtension(name) && !addFrom(where, std::move(name)))
                    return PathsSelection::severalFolders;
            continue;
        }
        if (!addFrom(platform::pathFolder(path), std::string(platform::pathName(path))))
            return PathsSelection::severalFolders;
    }
    if (names.empty()) return PathsSelection::nothingToSelect;

    std::string list;
    if (names.size() == 1)
    {
        list = platform::joinPath(common, names.front());
        list.push_back('\0');
    }
    else
    {
        list = common;
        list.push_back('\0');
        for (const std::string& name : names)
        {
            list += name;
            list.push_back('\0');
        }
    }
    if (!fillBuffer(list, buffer)) return PathsSelection::tooLong;
    folder = common;
    return PathsSelection::made;
}

std::vector<std::string> modelsInSubfolders(const std::string& folder)
{
    std::vector<std::string> models;
    // Paths below `folder` still to be listed; the folder itself gives only its subfolders.
    std::vector<std::string> pending{std::string()};
    while (!pending.empty())
    {
        const std::string below = std::move(pending.back());
        pending.pop_back();
        std::vector<std::string> files;
        std::vector<std::string> subfolders;
        if (!platform::listFolderFiles(platform::joinPath(folder, below).c_str(), files, &subfolders))
            continue;
        if (!below.empty())
            for (const std::string& name : files)
                if (hasModelExtension(name)) models.push_back(platform::joinPath(below, name));
        for (const std::string& name : subfolders)
            pending.push_back(platform::joinPath(below, name));
    }
    std::sort(models.begin(), models.end());
    return models;
}

PathsSelection selectionBelowFolder(const std::string& folder, const std::vector<std::string>& names,
                                    std::vector<char>& buffer, std::string& current)
{
    if (names.empty()) return PathsSelection::nothingToSelect;
    const std::string where = platform::trimmedFolder(folder);
    std::string list = where;
    list.push_back('\0');
    for (const std::string& name : names)
    {
        list += name;
        list.push_back('\0');
    }
    if (!fillBuffer(list, buffer)) return PathsSelection::tooLong;
    current = where;
    return PathsSelection::made;
}

SelectionForm selectionForm(const char* selection)
{
    return platform::isDirectory(selection) ? SelectionForm::multiple : SelectionForm::single;
}

SelectionWalk::SelectionWalk(const char* selection, size_t size)
    : selection_(selection), size_(size), form_(selectionForm(selection))
{
    if (form_ == SelectionForm::multiple)
    {
        size_t directoryLength = boundedLength(selection_, size_, 0);
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
        size_t length = boundedLength(selection_, size_, 0);
        path_.assign(selection_, length == SIZE_MAX ? size_ : length);
        return true;
    }
    size_t nameLength = boundedLength(selection_, size_, nextName_);
    if (nameLength == 0 || nameLength == SIZE_MAX) return false;
    path_.resize(prefixLength_);
    path_.append(selection_ + nextName_, nameLength);
    nextName_ += nameLength + 1;
    return true;
}

} // namespace scourvane
