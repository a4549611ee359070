// What the texture report reads of a mod: the texture names of its models and its texture sources,
// from a folder's tree or from inside an archive.
#pragma once

#include "textures/texture_report.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace scourvane
{

// Something the scan could not read: a model, a teamtex.txt, a GAF file, a folder or an archive.
struct TextureScanProblem
{
    TextureReportPlace place;
    std::string reason;
};

// Adds to `input` what lies below `root`, a folder (walked whole, never through a link) or an
// archive (by its contents): every *.3do's texture names (unless `asBase`: the base game's models are
// not read), the images of unittextures/tatex/, its teamtex.txt and the GAF entries of textures/, as
// sources of the mod or, with `asBase`, of the base game. Places are shown as the root joined with
// the path below it, or as the archive with the entry inside. A path below the root for which
// `excluded` says true is left out (may be empty). What cannot be read is added to `problems`.
void scanTextureRoot(const std::string& root, bool asBase,
                     const std::function<bool(std::string_view)>& excluded, TextureReportInput& input,
                     std::vector<TextureScanProblem>& problems);

} // namespace scourvane
