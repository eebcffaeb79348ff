// engine_error.h -- the one exception class the engine raises.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace tessary {

enum class TErrorKind {
    OpenInput,    // the damaged archive cannot be opened
    ReadInput,    // reading the damaged archive failed, or it changed meanwhile
    CreateOutput, // the repaired archive cannot be created
    WriteOutput,  // writing or finishing the repaired archive failed
    OutputIsInput // the repaired archive would replace the damaged one
};

class EArcsalveError : public std::runtime_error {
public:
    EArcsalveError(TErrorKind kind, std::string path, std::string reason, int64_t offset = -1)
        : std::runtime_error(reason), Kind(kind), Path(std::move(path)), Reason(std::move(reason)),
          Offset(offset) {}
    TErrorKind Kind;
    std::string Path;    // the file concerned
    std::string Reason;  // the system's reason, in its own words
    int64_t Offset = -1; // ReadInput: where in the file reading failed; -1 when unknown
};

} // namespace tessary
