// file_streams.h -- the engine's streams over real files.
#pragma once

#include "streams.h"

#include <memory>
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
};

// Creates the repaired archive as a temporary file beside `path`, renamed onto
// `path` by Commit. Creates missing folders of `path` first. Only a regular
// file is replaced; a symbolic link is followed, and the file it names is
// replaced in its own folder.
TOutputFactory FileOutputFactory(TOutputFileOptions options = {});

// Removes the named temporary file of an unfinished repaired archive, if
// there is one. Safe to call from a signal handler.
void RemoveUnfinishedOutput() noexcept;

} // namespace tessary
