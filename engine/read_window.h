// read_window.h -- a window of the damaged file read in fixed-size blocks,
// with byte-exact access to any small range wherever it lies. Records that
// cross the window's edge are read directly, so no result depends on where
// the blocks happen to end.
#pragma once

#include "streams.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tessary {

class TReadWindow {
public:
    TReadWindow(TInputStream& input, size_t blockSize);

    // Loads the block starting at `base`; returns its length (0 past the end).
    size_t Load(int64_t base);
    const unsigned char* Data() const { return FBuffer.data(); }
    int64_t Base() const { return FBase; }
    size_t Length() const { return FLength; }
    int64_t FileSize() const { return FFileSize; }
    TInputStream& Input() const { return FInput; }

    // Copies `count` bytes at file offset `offset` into `out`, zeros past the
    // end of the file. Returns how many bytes the file really holds there.
    size_t Fetch(int64_t offset, unsigned char* out, size_t count);
    std::string FetchString(int64_t offset, size_t count);

private:
    TInputStream& FInput;
    int64_t FFileSize;
    std::vector<unsigned char> FBuffer;
    int64_t FBase = 0;
    size_t FLength = 0;
};

} // namespace tessary
