// check_decoders.h -- the streaming decoders behind CheckEntryData, one per
// compression method, all driven through one small interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace tessary::check {

struct TStep {
    enum TState : uint8_t { More, End, Error, MemoryLimit };
    // Input bytes this step took. At the stream's end a decoder that reads
    // ahead gives back what it took beyond the end, so this may be negative.
    int64_t InUsed = 0;
    size_t OutMade = 0;
    // Where the output is: `out`, unless the decoder hands its input through.
    const unsigned char* OutData = nullptr;
    TState State = More;
};

class TDecoder {
public:
    virtual ~TDecoder() = default;
    // Decodes from `in` into `out` (which is empty on every call).
    // `inputEnds`: no input follows `in`, so whatever the decoder holds back
    // should come out now.
    virtual TStep Step(const unsigned char* in, size_t inSize, unsigned char* out, size_t outSize,
                       bool inputEnds) = 0;
};

// Hands the input through unchanged, `size` bytes of it, without copying.
std::unique_ptr<TDecoder> MakeStoredDecoder(int64_t size);
std::unique_ptr<TDecoder> MakeInflateDecoder();
// `concatenated`: the data's length is known, and streams that follow one
// another inside it are one entry (parallel compressors write such entries).
// Otherwise the first stream's end is the data's end.
std::unique_ptr<TDecoder> MakeBzip2Decoder(bool concatenated);
// Raw LZMA behind the ZIP LZMA header (version, properties size, properties).
// With flag bit 1 an end marker ends the stream; without it the stream ends
// at `uncompressedSize` (or at a marker there).
std::unique_ptr<TDecoder> MakeLzmaDecoder(uint16_t flags, std::optional<int64_t> uncompressedSize);
std::unique_ptr<TDecoder> MakeXzDecoder(bool concatenated);
std::unique_ptr<TDecoder> MakeZstdDecoder(bool concatenated);

// Makes the inflater and the CRC pick their processor-specific code now, once,
// instead of racing to do it on the first call in each of several threads.
void PrepareFastCode();

// The largest window a decoder may allocate for one check; a stream asking for
// more is left unchecked rather than letting one entry take the machine's memory.
inline constexpr uint64_t MaxDecoderMemory = 128ull << 20;

} // namespace tessary::check
