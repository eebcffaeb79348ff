// program_path.h -- where the running program file lies.
#pragma once

#include <string>

namespace tessary {

// The full path of the running program file, from the kernel's record of the
// executable; when that is unavailable, the path remembered from argv[0].
// Empty when neither is known.
std::string ProgramFilePath();

// Remembers argv[0] as the fallback for ProgramFilePath.
void SetProgramArgv0(const char* argv0);

} // namespace tessary
