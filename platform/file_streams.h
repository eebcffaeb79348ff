// file_streams.h -- the engine's streams over real files.
#pragma once

#include "streams.h"

#include <memory>
#include <string>

namespace tessary {

// Opens the damaged archive read-only. Throws EArcsalveError (OpenInput) with
// the system's reason when it cannot be opened.
std::unique_ptr<TInputStream> OpenInputFile(const std::string& path);

// Creates the repaired archive as a temporary file beside `path`, renamed onto
// `path` by Commit. Creates missing folders of `path` first.
TOutputFactory FileOutputFactory();

} // namespace tessary
