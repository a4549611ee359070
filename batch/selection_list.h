// The selection list that the Select command fills: either one full path, or a directory followed by
// file names, each NUL-terminated, with an empty name ending the list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace scourvane
{

// Size of the buffer the open-file dialog fills; a selection is never smaller, and a walk never reads
// past the size it is given.
inline constexpr size_t selectionBufferSize = 32768;

// The most bytes a selection made from dropped or given paths may take: a mod's thousands of models
// fit many times over, while a drop of a whole disk is refused rather than held in memory.
inline constexpr size_t maxPathsSelectionSize = size_t{16} << 20;

enum class SelectionForm : uint8_t
{
    single,   // the first string is the one path
    multiple, // the first string is a directory, the names follow
};

// The form of a selection: multiple when its first string names an existing directory; otherwise
// (a file, or something that no longer exists) single, so a vanished file is still reported.
SelectionForm selectionForm(const char* selection);

// Walks the paths of a selection in list order, one at a time, without changing the selection.
// In the multiple form each path is the directory, one backslash (always, even after one that the
// directory already ends with) and the name.
class SelectionWalk
{
  public:
    // `selection` must stay valid during the walk; it is read at most `size` bytes far.
    explicit SelectionWalk(const char* selection, size_t size = selectionBufferSize);

    SelectionForm form() const { return form_; }

    // Moves to the next path; false when the list is exhausted.
    bool next();

    // The current path, valid until the next call of next().
    const char* path() const { return path_.c_str(); }

    // The current path below the selection's folder (its name in the list, subfolders included) in
    // the multiple form; the whole path in the single form. Valid until the next call of next().
    const char* name() const { return path_.c_str() + prefixLength_; }

  private:
    const char* selection_;
    size_t size_;
    SelectionForm form_;
    size_t prefixLength_ = 0; // length of "directory\\" in the multiple form
    size_t nextName_ = 0;     // offset of the next name in the multiple form
    bool singleTaken_ = false;
    std::string path_;
};

// True when `name` ends in ".3do", in any case: the files a folder contributes.
bool hasModelExtension(std::string_view name);

enum class PathsSelection : uint8_t
{
    made,            // the buffer holds the selection and `folder` its folder
    nothingToSelect, // only folders without 3DO files were given
    severalFolders,  // the files lie in more than one folder
    tooLong,         // the list would not fit in maxPathsSelectionSize bytes
};

// Makes the selection list that choosing the same files in the open-file dialog would give, from
// paths dropped on the window or given on the program's command line. A file contributes itself
// (whatever its name, as the dialog's "All Files" filter allows); a folder contributes its *.3do
// files (any case, sorted, no subfolders). Every file must lie in one folder. One file gives the
// single form (its full path), several the multiple form (the folder, then the names in the order
// given, each once). On `made`, `buffer` holds the list in selectionBufferSize bytes, or in as many
// more as a long list needs (up to maxPathsSelectionSize), zeros after it, and `folder` is the folder
// of the files (a root keeps its separator; "." for bare names), the one the dialog would leave
// current. On any other result both are left as they were.
PathsSelection selectionFromPaths(const std::vector<std::string>& paths, std::vector<char>& buffer,
                                  std::string& folder);

// The models (*.3do, any case) in the subfolders of `folder` at any depth, as paths below it with
// the system's separator ("units\\arm.3do" on Windows), sorted; the folder's own files are not among
// them. Links to folders are not followed, and the walk keeps its own list of folders to visit, so no
// tree can make it loop or recurse.
std::vector<std::string> modelsInSubfolders(const std::string& folder);

// The selection of `names`, paths below `folder` (as modelsInSubfolders gives them), in the multiple
// form whatever their number, so that each is walked with its name below the folder; sized as
// selectionFromPaths sizes it, and `current` set to `folder` (trimmed) on `made`. nothingToSelect
// when `names` is empty, tooLong beyond maxPathsSelectionSize; both leave `buffer` and `current`.
PathsSelection selectionBelowFolder(const std::string& folder, const std::vector<std::string>& names,
                                    std::vector<char>& buffer, std::string& current);

} // namespace scourvane
