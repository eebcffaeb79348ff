// paths.h -- splitting and joining file names; "/" is the only path delimiter.
#pragma once

#include <string>
#include <string_view>

namespace tessary {

// Everything up to and including the last "/" ("" when there is none).
std::string ExtractFilePath(std::string_view fileName);
// Everything after the last "/".
std::string ExtractFileName(std::string_view fileName);
// `fileName` with the extension of its last part replaced by `ext` (which
// includes its dot), or `ext` appended when the last part has none.
std::string ChangeFileExt(std::string_view fileName, std::string_view ext);
// `folder` with a "/" at its end (an empty folder stays empty).
std::string IncludeTrailingDelimiter(std::string_view folder);

} // namespace tessary
