// output_target.h -- what the repaired archive would replace, examined before
// any work is done, so that an unusable output fails at once and nothing but
// a regular file of ours is ever replaced.
#pragma once

#include <cstdint>
#include <string>

struct stat;

namespace tessary {

// What tells one file from another, and one version of it from the next:
// the file a user agreed to replace is replaced only while it is still that
// file, unchanged.
struct TFileIdentity {
    uint64_t Device = 0;
    uint64_t Inode = 0;
    int64_t Size = 0;
    int64_t ModifiedSec = 0;
    int64_t ModifiedNsec = 0;
    bool operator==(const TFileIdentity&) const = default;
};

// The identity of the file `st` describes.
TFileIdentity IdentityOf(const struct stat& st);

// "/proc/self/fd/N": the name under which the system reaches descriptor `fd`.
std::string ProcFdPath(int fd);

enum class TOutputProblem {
    None,
    Exists,            // an existing file, and replacing was not allowed
    ReadOnly,          // an existing file that may not be written
    NotRegular,        // a device, FIFO, socket or folder, or a link to nothing
    FolderNotWritable, // no file can be created in the target's folder
    BadPath            // the path cannot be examined (reason in Reason)
};

struct TOutputTarget {
    std::string Path;      // as given
    std::string FinalPath; // the file written: symbolic links followed
    bool Exists = false;   // the name is taken (by a link to nothing, too)
    bool IsRegular = false;
    bool IsSymlink = false; // Path is a symbolic link; FinalPath is what it names
    bool ReadOnly = false;
    bool FolderWritable = false;
    TFileIdentity Identity; // of the existing file, when it is a regular one
    TOutputProblem Problem = TOutputProblem::None;
    std::string Reason; // for the message "Cannot create file "Path". Reason"
    bool Usable() const { return Problem == TOutputProblem::None; }
};

// Follows `path` through symbolic links, as the system itself resolves them,
// and examines the file found there, without changing anything. A link to
// nothing is refused whatever `replaceAllowed` says: writing through it would
// create a file wherever the link's owner chose. Folder writability is not
// probed.
TOutputTarget ResolveOutputTarget(const std::string& path, bool replaceAllowed);

// ResolveOutputTarget, and then proves that the folder that will hold the
// file (or, when it does not exist yet, its nearest existing parent) takes a
// new file, by creating and removing a temporary one there.
TOutputTarget CheckOutputTarget(const std::string& path, bool replaceAllowed);

} // namespace tessary
