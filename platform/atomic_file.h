// atomic_file.h -- folder creation and whole-file replacement.
#pragma once

#include <string>
#include <string_view>

namespace tessary {

// Creates `folder` and every missing parent, each with `mode` (less the
// umask); true when it exists afterwards. Folders that exist keep theirs.
bool ForceFolders(const std::string& folder, unsigned mode = 0777);

// Replaces the content of `fileName` with `content` in one step: the bytes go
// to a temporary file beside it, which is then renamed over it. On any
// failure, or when an existing file is not writable by us, the old file stays
// as it was and false is returned.
bool ReplaceFileContent(const std::string& fileName, std::string_view content);

} // namespace tessary
