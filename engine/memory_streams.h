// memory_streams.h -- streams over memory, for tests, the fuzz target and
// callers that hold an archive in memory.
#pragma once

#include "streams.h"

#include <map>
#include <memory>
#include <string>

namespace tessary {

class TMemoryInput : public TInputStream {
public:
    explicit TMemoryInput(std::string data) : FData(std::move(data)) {}
    int64_t Size() const override { return static_cast<int64_t>(FData.size()); }
    size_t ReadAt(int64_t offset, void* buffer, size_t count) override;

private:
    std::string FData;
};

// Files written through it land in `files` when committed; until then they
// are invisible, as a temporary file would be.
class TMemoryFileSystem {
public:
    TOutputFactory Factory();
    std::map<std::string, std::string> Files;
    // Fail every write once this many bytes have been written (-1: never).
    int64_t FailAfterBytes = -1;
};

} // namespace tessary
