// content_check_fuzzer.cpp -- libFuzzer target: arbitrary bytes as one entry's
// data, decoded by the content check of each method.
//
// The first four bytes of an input steer the run; the rest is the data.
//   byte 0  the method: stored, deflate, bzip2, LZMA, xz, Zstandard (mod 6)
//   byte 1  the window: 1 to 255 bytes, so every record crosses a read; 0: the usual one
//   byte 2  bit 0: the compressed size is known (all of the data);
//           bit 1: an uncompressed size is claimed, byte 3 x 97 bytes;
//           bit 2: flag bit 1 (LZMA end marker)
//
// Besides the sanitizers and the time limit (a check that never ends), the
// target checks what must hold for every input: the sink gets exactly the
// bytes counted and hashed, and no offset or count leaves the data.
#include "content_check.h"
#include "memory_streams.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace tessary;

namespace {

constexpr size_t ControlBytes = 4;
const uint16_t Methods[] = {MethodStored, MethodDeflate, MethodBzip2,
                            MethodLzma,   MethodXz,      MethodZstd};

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "content_check_fuzzer: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < ControlBytes)
        return 0;
    TEntryData entry;
    entry.Method = Methods[data[0] % 6];
    if (data[2] & 4)
        entry.Flags = 0x0002;
    const int64_t dataSize = static_cast<int64_t>(size - ControlBytes);
    if (data[2] & 1)
        entry.CompressedSize = dataSize;
    if (data[2] & 2)
        entry.UncompressedSize = int64_t{data[3]} * 97;
    TCheckOptions options;
    if (data[1] != 0)
        options.WindowSize = data[1];
    int64_t sunk = 0;
    uint32_t sunkCrc = 0;
    options.Sink = [&](const unsigned char* p, size_t n) {
        sunk += static_cast<int64_t>(n);
        sunkCrc = UpdateCrc32(sunkCrc, p, n);
    };
    TMemoryInput input(std::string(reinterpret_cast<const char*>(data) + ControlBytes,
                                   static_cast<size_t>(dataSize)));
    TCheckResult r = CheckEntryData(input, entry, options);

    if (r.Outcome == TCheckOutcome::NotChecked)
        return 0;
    if (sunk != r.UncompressedSize || sunkCrc != r.Crc32)
        Fail("the sink got other bytes than were counted");
    if (r.Consumed < 0 || r.Consumed > dataSize)
        Fail("consumed bytes outside the data");
    if (r.Outcome == TCheckOutcome::DataError && (r.ErrorOffset < 0 || r.ErrorOffset > dataSize))
        Fail("error offset outside the data");
    if (r.Outcome == TCheckOutcome::Ok && !r.StreamEnded)
        Fail("ok without the stream's end");
    if (entry.UncompressedSize &&
        r.UncompressedSize > *entry.UncompressedSize + static_cast<int64_t>(options.WindowSize))
        Fail("decoded far past the size the entry claims");
    return 0;
}
