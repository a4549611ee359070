// The texture report's reading: a folder tree or an archive, each file taken by where it lies.
#include "batch/texture_scan.h"

#include "archive/archive.h"
#include "batch/archive_step.h"
#include "model/model_reader.h"
#include "model/object_part.h"
#include "platform/file_io.h"
#include "platform/folder.h"
#include "textures/gaf_names.h"

#include <algorithm>

namespace scourvane
{

namespace
{
// No texture list or GAF directory comes near; a larger one is read only as far as it needs.
constexpr uint64_t maxSourceFileSize = uint64_t{1} << 31;

// Where the things read go, and how a problem is noted.
struct Scan
{
    bool asBase;
    TextureReportInput& input;
    std::vector<TextureScanProblem>& problems;

    TextureSources& sources() { return asBase ? input.base : input.mods; }
    void problem(const TextureReportPlace& place, std::string reason)
    {
        problems.push_back({place, std::move(reason)});
    }
};

// Takes one file by its path below the root; `bytes` gives its contents when asked (read lazily, so
// images are never read, only sized).
void take(Scan& scan, const std::string& relative, const TextureReportPlace& place, uint64_t size,
          const std::function<bool(std::vector<uint8_t>&, std::string&)>& bytes)
{
    const TexturePathKind kind = classifyTexturePath(relative);
    if (kind == TexturePathKind::other || (kind == TexturePathKind::model && scan.asBase)) return;
    if (kind == TexturePathKind::tatexImage)
    {
        scan.sources().images.push_back({place, size});
        return;
    }
    std::vector<uint8_t> contents;
    std::string reason;
    if (!bytes(contents, reason))
    {
        scan.problem(place, reason);
        return;
    }
    if (kind == TexturePathKind::teamTextureList)
        scan.sources().teamTextureLists.emplace_back(contents.begin(), contents.end());
    else if (kind == TexturePathKind::texturesGaf)
    {
        std::vector<GafEntryName> entries;
        GafError error;
        if (readGafEntryNames(contents.data(), contents.size(), entries, &error) != GafResult::ok)
        {
            scan.problem(place, "not a GAF file: " + describeGafError(error));
            return;
        }
        GafSource gaf{place, {}};
        for (GafEntryName& entry : entries)
            gaf.entryNames.push_back(std::move(entry.name));
        scan.sources().gafs.push_back(std::move(gaf));
    }
    else
    {
        ObjectPart root;
        LoadError error;
        if (!root.loadModelBytes(contents.data(), contents.size(), &error))
        {
            scan.problem(place, "not a 3DO model: " + describeLoadError(error));
            return;
        }
        ReportModel model{place, {}};
        if (root.textureNames)
            for (uint32_t slot = 0; slot < root.textureNames->count; ++slot)
                model.textureNames.push_back(root.textureNames->keys[slot]);
        scan.input.models.push_back(std::move(model));
    }
}

void scanArchive(Scan& scan, const std::string& path, const std::function<bool(std::string_view)>& excluded)
{
    std::vector<uint8_t> image;
    platform::IoError ioError;
    if (!platform::readWholeFile(path.c_str(), image, uint64_t{1} << 32, &ioError))
    {
        scan.problem({path, {}}, platform::describeIoError(ioError));
        return;
    }
    archive::Archive opened;
    if (const archive::ArchiveError error = opened.open(image.data(), image.size()); !error.ok())
    {
        scan.problem({path, {}}, archive::describeArchiveError(error));
        return;
    }
    for (size_t i = 0; i < opened.entries().size(); ++i)
    {
        const archive::ArchiveEntry& entry = opened.entries()[i];
        if (entry.folder || (excluded && excluded(entry.path))) continue;
        take(scan, entry.path, {path, entry.path}, entry.size,
             [&](std::vector<uint8_t>& out, std::string& reason)
             {
                 const archive::ArchiveError error = opened.read(i, out);
                 reason = archive::describeArchiveError(error);
                 return error.ok();
             });
    }
}

// A path below the root, kept with '/' for the rules and patterns, in the system's own spelling.
std::string systemSpelling(std::string path)
{
    for (char& c : path)
        if (c == '/') c = platform::pathSeparator;
    return path;
}

void scanFolder(Scan& scan, const std::string& root, const std::function<bool(std::string_view)>& excluded)
{
    // Walked with a list of folders to visit, never through a link, so no tree can make it loop or
    // go as deep as the stack.
    std::vector<std::string> pending{""};
    while (!pending.empty())
    {
        const std::string relative = std::move(pending.back());
        pending.pop_back();
        const std::string folder =
            relative.empty() ? root : platform::joinPath(root, systemSpelling(relative));
        std::vector<std::string> names, subfolders;
        if (!platform::listFolderFiles(folder.c_str(), names, &subfolders))
        {
            scan.problem({folder, {}}, "cannot list the folder");
            continue;
        }
        std::sort(names.begin(), names.end());
        for (const std::string& name : names)
        {
            const std::string inTree = relative.empty() ? name : relative + '/' + name;
            if (excluded && excluded(inTree)) continue;
            const std::string path = platform::joinPath(root, systemSpelling(inTree));
            take(scan, inTree, {path, {}},
                 static_cast<uint64_t>(std::max<int64_t>(0, platform::fileSize(path.c_str()))),
                 [&](std::vector<uint8_t>& out, std::string& reason)
                 {
                     platform::IoError error;
                     if (platform::readWholeFile(path.c_str(), out, maxSourceFileSize, &error)) return true;
                     reason = platform::describeIoError(error);
                     return false;
                 });
        }
        std::sort(subfolders.begin(), subfolders.end(), std::greater<>());
        for (const std::string& subfolder : subfolders)
        {
            const std::string inTree = relative.empty() ? subfolder : relative + '/' + subfolder;
            if (!(excluded && excluded(inTree))) pending.push_back(inTree);
        }
    }
}
} // namespace

void scanTextureRoot(const std::string& root, bool asBase,
                     const std::function<bool(std::string_view)>& excluded, TextureReportInput& input,
                     std::vector<TextureScanProblem>& problems)
{
    Scan scan{asBase, input, problems};
    if (platform::isDirectory(root.c_str()))
        scanFolder(scan, root, excluded);
    else if (archiveKindOfFile(root.c_str()) != archive::ArchiveKind::unknown)
        scanArchive(scan, root, excluded);
    else
        scan.problem({root, {}}, "neither a folder nor an archive this tool reads");
}

} // namespace scourvane
