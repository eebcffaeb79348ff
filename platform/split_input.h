// split_input.h -- archives that come in parts: finding the parts of a set
// from any one of them by their names, and one stream over them all.
#pragma once

#include "streams.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tessary {

// The files of an archive in parts, in order, as their names give them.
// Two ways of naming parts are known:
//  - "name.z01", "name.z02", ..., "name.zip" (the last), as a writer of split
//    archives names them: each part's headers count offsets from the part's
//    own start, and name the part by its disk number (0 for "name.z01");
//  - "name.zip.001", "name.zip.002", ... (or from ".000"): one archive cut
//    into pieces of equal size, as a download manager or split(1) leaves it.
struct TSplitSet {
    std::string Name;               // the set's own name: "folder/name.zip"
    std::vector<std::string> Parts; // the path of every part, in order
    std::vector<bool> Found;        // per part: its file exists
};

// The set that `path` is a part of, or nullopt when it names an archive of
// its own: "name.zip" without "name.z01" beside it (or whose end record says
// it is the only part), or a "name.zip.001" without a second piece.
std::optional<TSplitSet> FindSplitSet(const std::string& path);

// The set's name when `path` is a part of one, else `path` itself: what the
// repaired archive's default name is made from.
std::string ArchiveNameOf(const std::string& path);

// Opens the damaged archive as OpenInputFile does; when `path` is a part of a
// set, every part of it, read as one stream in order. Each part but the last
// takes the room of the set's largest part (all but the last are equally
// large), so that a missing or short part keeps the later ones in place; the
// bytes it lacks read as zeros and Parts() says where they are. A part that
// exists but cannot be opened throws as OpenInputFile does, naming it.
std::unique_ptr<TInputStream> OpenArchiveInput(const std::string& path);

// A second stream over the same file or files as `input` (opened by
// OpenInputFile, OpenArchiveInput or OpenInputDescriptor), with reads of its
// own; `name` names a single file in messages.
std::unique_ptr<TInputStream> ReopenInput(const TInputStream& input, const std::string& name);

} // namespace tessary
