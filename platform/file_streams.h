// file_streams.h -- the engine's streams over real files.
#pragma once

#include "output_target.h"
#include "streams.h"

#include <memory>
#include <optional>
#include <string>

namespace tessary {

// Opens the damaged archive read-only, without waiting on a FIFO. Only a
// regular file or a block device is taken; anything else, and a file that
// cannot be opened, throws EArcsalveError (OpenInput). Reads fail with
// ReadInput on a read error, or when the file shrank or was changed since.
std::unique_ptr<TInputStream> OpenInputFile(const std::string& path);

// The same over a descriptor already open for reading, which the stream
// owns from here on (closed on failure too); `path` names it in messages.
std::unique_ptr<TInputStream> OpenInputDescriptor(int fd, const std::string& path);

struct TOutputFileOptions {
    // Always use a named temporary file, as on file systems without
    // anonymous ones; lets tests take that path anywhere.
    bool NamedTemporary = false;
    // An existing file under the name may be replaced (--force, or the user
    // said so). Without it, anything under the name, found when the archive
    // is created or appearing before it is complete, fails the repair.
    bool ReplaceAllowed = false;
    // The file the user agreed to replace, as examined then: only that file,
    // unchanged, is replaced. Unset: the regular file found when the archive
    // is created, as long as it stays unchanged.
    std::optional<TFileIdentity> Replaces;
};

// The options that replace only the file examined in `target`, if it holds
// one, and only while that file stays unchanged.
inline TOutputFileOptions ReplacingOptionsFor(const TOutputTarget& target) {
    TOutputFileOptions options;
    options.ReplaceAllowed = target.Exists;
    if (target.Exists)
        options.Replaces = target.Identity;
    return options;
}

// Creates the repaired archive as a temporary file beside `path`, which
// Commit flushes to the disk and then names `path`, the folder flushed
// after it. Creates missing folders of `path` first. Only a regular file is
// replaced, and only as options allow; a symbolic link to one is followed,
// and the file it names is replaced in its own folder, keeping its
// permissions and, where the system lets us, its owner. A link to nothing
// is never followed.
TOutputFactory FileOutputFactory(TOutputFileOptions options = {});

// Removes the named temporary file of an unfinished repaired archive, if
// there is one. Safe to call from a signal handler.
void RemoveUnfinishedOutput() noexcept;

} // namespace tessary
