// engine_error.h -- the one exception class the engine raises.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace tessary {

enum class TErrorKind {
    OpenInput,     // the damaged archive cannot be opened
    ReadInput,     // reading the damaged archive failed, or it changed meanwhile
    CreateOutput,  // the repaired archive cannot be created
    WriteOutput,   // writing or finishing the repaired archive failed
    OutputIsInput, // the repaired archive would replace the damaged one
    Refused,       // every read succeeded, but the repair would be unsafe to write
    OutOfMemory,   // memory ran out during the repair
};

class EArcsalveError : public std::runtime_error {
public:
    EArcsalveError(TErrorKind kind, std::string path, std::string reason, int64_t offset = -1,
                   int systemError = 0)
        : std::runtime_error(reason), Kind(kind), Path(std::move(path)), Reason(std::move(reason)),
          Offset(offset), Errno(systemError) {}
    TErrorKind Kind;
    std::string Path;    // the file concerned
    std::string Reason;  // the system's reason, in its own words, or the engine's
    int64_t Offset = -1; // ReadInput: where in the file reading failed; -1 when unknown
    int Errno = 0;       // the system's error number behind Reason; 0 when there is none
};

inline EArcsalveError OutputIsInputError(const std::string& path) {
    return EArcsalveError(TErrorKind::OutputIsInput, path,
                          "The repaired archive cannot replace the damaged one");
}

} // namespace tessary
