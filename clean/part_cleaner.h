// Cleaning of a loaded tree: per part, merge vertexes with equal coordinates, drop untextured faces
// of colour 0 (lines and the protected face excepted), drop the vertexes no kept face uses and
// renumber the rest in first-use order, and give a part left without faces a single point.
#pragma once

#include "model/object_part.h"

#include <cstdint>
#include <string>
#include <vector>

namespace scourvane
{

// Cleans every part of the tree rooted at `root` (the part, its child subtree and its sibling
// chain), iteratively. A part beyond the limits of cleaning (more than 65535 vertexes, a face index
// at or beyond its vertexCount, or face counts that do not sum to its indexTotal) is left exactly as
// it is. Linear in the size of the tree.
void cleanPart(ObjectPart& root);

// Cleans one part only, not its child or sibling. False (and the part untouched) when the part is
// beyond the limits of cleaning (see cleanPart).
bool cleanSinglePart(ObjectPart& part);

// True when cleaning can take the part on: at most 65535 vertexes, every face index below its
// vertexCount, and face counts that sum to its indexTotal. Any other part is left as it is.
bool withinCleaningLimits(const ObjectPart& part);

// Whether cleaning keeps face number `number` of a part whose protected face is `protectedFace`:
// all but the untextured faces of colour 0, lines and the protected face excepted.
inline bool cleaningKeepsFace(const Face& face, uint32_t number, uint32_t protectedFace)
{
    return face.hasTexture() || face.colourIndex != 0 || number == protectedFace || face.indexCount == 2;
}

// What cleaning takes from one part, in terms a modeller can check against the model.
struct PartChanges
{
    std::string name;                   // the part's name, without its NUL
    int32_t vertexesRemoved = 0;        // vertexCount before minus after (a point added counts one less)
    int32_t facesRemoved = 0;           // faceCount before minus after (likewise)
    uint32_t vertexesMerged = 0;        // used by a kept face, and equal to an earlier vertex: merged into it
    uint32_t vertexesUnused = 0;        // no kept face uses them (after merging): dropped
    std::vector<uint32_t> droppedFaces; // numbers (0-based, as loaded) of the untextured colour-0 faces
    bool pointAdded = false;            // no face was left, so the part was given one point
    bool beyondLimits = false;          // left exactly as it is (see withinCleaningLimits)
};

// Tells what cleanSinglePart would do to `part`, without changing it. Independent of the cleaner's
// own tables and slower (it sorts), so it serves for explaining, never for cleaning. Then
// vertexesRemoved is vertexesMerged + vertexesUnused - pointAdded, and facesRemoved is the number
// of droppedFaces - pointAdded.
PartChanges explainPart(const ObjectPart& part);

// Frees the scratch tables the calling thread keeps from tree to tree. A worker thread calls it
// before it ends (the tables are held through a plain pointer, never a thread-local object).
void releaseCleaningBuffers();

} // namespace scourvane
