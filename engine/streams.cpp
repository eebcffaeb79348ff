// streams.cpp -- the parts of the stream interfaces every stream shares.
#include "streams.h"

#include "read_window.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace tessary {

const std::vector<TInputPart>& TInputStream::Parts() const {
    static const std::vector<TInputPart> none;
    return none;
}

void TOutputStream::CopyFrom(TInputStream& input, int64_t offset, int64_t count) {
    constexpr int64_t Block = 1 << 20;
    std::vector<unsigned char> buffer(static_cast<size_t>(std::min(count, Block)));
    while (count > 0) {
        size_t n = static_cast<size_t>(std::min(count, Block));
        ReadFully(input, offset, buffer.data(), n);
        Write(buffer.data(), n);
        offset += static_cast<int64_t>(n);
        count -= static_cast<int64_t>(n);
    }
}

uint32_t SteadyTickCount() {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(ms.count());
}

} // namespace tessary
