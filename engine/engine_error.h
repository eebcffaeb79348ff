// engine_error.h -- the one exception class the engine raises.
#pragma once

#include <stdexcept>
#include <string>

namespace tessary {

enum class TErrorKind {
    OpenInput,    // the damaged archive cannot be opened or read
    CreateOutput, // the repaired archive cannot be created
    WriteOutput,  // writing or finishing the repaired archive failed
    OutputIsInput // the repaired archive would replace the damaged one
};

class EArcsalveError : public std::runtime_error {
public:
    EArcsalveError(TErrorKind kind, std::string path, std::string reason)
        : std::runtime_error(reason), Kind(kind), Path(std::move(path)), Reason(std::move(reason)) {
    }
    TErrorKind Kind;
    std::string Path;   // the file concerned
    std::string Reason; // the system's reason, in its own words
};

} // namespace tessary
