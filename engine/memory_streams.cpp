// memory_streams.cpp -- memory-backed streams.
#include "memory_streams.h"

#include "engine_error.h"

#include <algorithm>
#include <cstring>

namespace tessary {

size_t TMemoryInput::ReadAt(int64_t offset, void* buffer, size_t count) {
    if (offset < 0 || offset >= Size())
        return 0;
    size_t n = std::min(count, FData.size() - static_cast<size_t>(offset));
    std::memcpy(buffer, FData.data() + offset, n);
    return n;
}

namespace {

class TMemoryOutput : public TOutputStream {
public:
    TMemoryOutput(TMemoryFileSystem& fs, std::string path) : FFs(fs), FPath(std::move(path)) {}
    int64_t Position() const override { return static_cast<int64_t>(FData.size()); }
    void Write(const void* data, size_t count) override {
        if (FFs.FailAfterBytes >= 0 &&
            static_cast<int64_t>(FData.size() + count) > FFs.FailAfterBytes)
            throw EArcsalveError(TErrorKind::WriteOutput, FPath, "No space left on device");
        FData.append(static_cast<const char*>(data), count);
    }
    void Commit() override { FFs.Files[FPath] = std::move(FData); }

private:
    TMemoryFileSystem& FFs;
    std::string FPath;
    std::string FData;
};

} // namespace

TOutputFactory TMemoryFileSystem::Factory() {
    return [this](const std::string& path) -> std::unique_ptr<TOutputStream> {
        return std::make_unique<TMemoryOutput>(*this, path);
    };
}

} // namespace tessary
