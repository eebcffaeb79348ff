// output_target.h -- what the repaired archive would replace, examined before
// any work is done, so that an unusable output fails at once and nothing but
// a regular file of ours is ever replaced.
#pragma once

#include <string>

namespace tessary {

enum class TOutputProblem {
    None,
    Exists,            // an existing file, and replacing was not allowed
    ReadOnly,          // an existing file that may not be written
    NotRegular,        // a device, FIFO, socket or folder
    FolderNotWritable, // no file can be created in the target's folder
    BadPath            // the path cannot be examined (reason in Reason)
};

struct TOutputTarget {
    std::string Path;      // as given
    std::string FinalPath; // the file written: symbolic links followed
    bool Exists = false;
    bool IsRegular = false;
    bool IsSymlink = false; // Path is a symbolic link; FinalPath is what it names
    bool ReadOnly = false;
    bool FolderWritable = false;
    TOutputProblem Problem = TOutputProblem::None;
    std::string Reason; // for the message "Cannot create file "Path". Reason"
    bool Usable() const { return Problem == TOutputProblem::None; }
};

// Follows `path` through symbolic links and examines the file found there,
// without changing anything. Folder writability is not probed.
TOutputTarget ResolveOutputTarget(const std::string& path, bool replaceAllowed);

// ResolveOutputTarget, and then proves that the folder that will hold the
// file (or, when it does not exist yet, its nearest existing parent) takes a
// new file, by creating and removing a temporary one there.
TOutputTarget CheckOutputTarget(const std::string& path, bool replaceAllowed);

} // namespace tessary
