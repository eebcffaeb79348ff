// read_window.cpp -- block-wise reading of the damaged file.
#include "read_window.h"

#include "engine_error.h"

#include <algorithm>
#include <cstring>

namespace tessary {

size_t ReadFully(TInputStream& input, int64_t offset, unsigned char* out, size_t count) {
    size_t done = 0;
    const int64_t size = input.Size();
    while (done < count) {
        const int64_t at = offset + static_cast<int64_t>(done);
        size_t got = input.ReadAt(at, out + done, count - done);
        if (got == 0) {
            // Nothing more before the end the stream announced: the file was
            // cut short under us. Zeros here would pass for entry data.
            if (at >= 0 && at < size)
                throw EArcsalveError(TErrorKind::ReadInput, input.Name(),
                                     "The file ended before its known size", at);
            break;
        }
        done += got;
    }
    std::memset(out + done, 0, count - done);
    return done;
}

TReadWindow::TReadWindow(TInputStream& input, size_t blockSize)
    : FInput(input), FFileSize(input.Size()), FBuffer(std::max<size_t>(blockSize, 1)) {}

size_t TReadWindow::Load(int64_t base) {
    FBase = base;
    FLength = 0;
    if (base < FFileSize) {
        size_t want = static_cast<size_t>(
            std::min<int64_t>(static_cast<int64_t>(FBuffer.size()), FFileSize - base));
        ReadFully(FInput, base, FBuffer.data(), want);
        FLength = want;
    }
    return FLength;
}

size_t TReadWindow::Fetch(int64_t offset, unsigned char* out, size_t count) {
    if (offset >= FBase &&
        offset + static_cast<int64_t>(count) <= FBase + static_cast<int64_t>(FLength)) {
        std::memcpy(out, FBuffer.data() + (offset - FBase), count);
        return count;
    }
    return ReadFully(FInput, offset, out, count);
}

std::string TReadWindow::FetchString(int64_t offset, size_t count) {
    std::string s(count, '\0');
    Fetch(offset, reinterpret_cast<unsigned char*>(s.data()), count);
    return s;
}

} // namespace tessary
