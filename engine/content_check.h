// content_check.h -- checks one entry's data against its CRC-32 and size by
// decompressing it, streaming, through a fixed window. The scan and the
// rebuild are structural; this is what tells a readable entry from one whose
// bytes were hit after its header was written.
#pragma once

#include "streams.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace tessary {

// Compression methods the check knows by number.
inline constexpr uint16_t MethodStored = 0;
inline constexpr uint16_t MethodDeflate = 8;
inline constexpr uint16_t MethodDeflate64 = 9;
inline constexpr uint16_t MethodBzip2 = 12;
inline constexpr uint16_t MethodLzma = 14;
inline constexpr uint16_t MethodZstd = 93;
inline constexpr uint16_t MethodXz = 95;
inline constexpr uint16_t MethodPpmd = 98;
inline constexpr uint16_t MethodAes = 99;

enum class TCheckOutcome : uint8_t {
    Ok,          // the stream decoded whole and matches the CRC-32 and size expected
    CrcMismatch, // it decoded whole but its CRC-32 or size differs from what was expected
    DataError,   // the stream is broken at ErrorOffset
    Truncated,   // the data ends before the stream does
    NotChecked,  // see TNotCheckedReason
};

enum class TNotCheckedReason : uint8_t {
    None,
    Encrypted,
    Deflate64,
    Ppmd,
    UnsupportedMethod, // a method the format defines that no decoder here reads
    UnknownMethod,     // a number the format does not define
    UnknownSize,       // stored data whose length nothing tells
    MemoryLimit,       // the stream asks for a window larger than the check allows
    ComputedCrc,       // the repair found the CRC by decoding the data: comparing proves nothing
    DecodeLimit,       // the checks of the archive together reached their limit of decoded bytes
};

// The words used in lists and JSON: "ok", "crc-mismatch", "data-error",
// "truncated", "not-checked"; and "encrypted", "deflate64", "PPMd", ...
std::string_view CheckOutcomeWord(TCheckOutcome outcome);
std::string_view NotCheckedReasonWord(TNotCheckedReason reason);

// Where one entry's data lies and what its records promise about it.
struct TEntryData {
    int64_t Offset = 0; // of the data's first byte in the input
    // Unknown (a descriptor that was not found): the check reads until the
    // stream ends, or to the end of the input.
    std::optional<int64_t> CompressedSize;
    // The check reads at most this many bytes, whatever the size says (the
    // bytes beyond are not the entry's); -1: no bound of its own.
    int64_t Limit = -1;
    uint16_t Method = MethodStored;
    uint16_t Flags = 0;
    std::optional<uint32_t> Crc32; // unknown: any CRC-32 passes, it is only found
    std::optional<int64_t> UncompressedSize;
};

struct TCheckResult {
    TCheckOutcome Outcome = TCheckOutcome::NotChecked;
    TNotCheckedReason Reason = TNotCheckedReason::None;
    // DataError: bytes from the data's start to where the decoder found the
    // stream broken (at or after the damage, never before it).
    int64_t ErrorOffset = -1;
    // Compressed bytes the stream took up to its end (when StreamEnded), or
    // that were read before the check stopped.
    int64_t Consumed = 0;
    int64_t UncompressedSize = 0; // bytes decoded
    uint32_t Crc32 = 0;           // of the bytes decoded
    bool StreamEnded = false;
};

// Receives the decoded bytes in order, as they are produced. After a
// Truncated or DataError outcome it has had exactly the bytes decoded before
// the break: for a cut stream that is a correct prefix of the content.
using TDecodedSink = std::function<void(const unsigned char* data, size_t size)>;

struct TCheckOptions {
    // Bytes read from the input per step, and decoded per step. Memory per
    // call is a few of these plus the decoder's own window.
    size_t WindowSize = 256 << 10;
    TDecodedSink Sink; // optional
    // Decoded bytes that several checks share and may still make (optional):
    // a check that would make more stops as not checked, "decoding limit
    // reached".
    std::atomic<int64_t>* DecodeLeft = nullptr;
};

// Checks one entry's data. Safe to call from several threads at once on
// different inputs, or on one input whose ReadAt is safe to share.
TCheckResult CheckEntryData(TInputStream& input, const TEntryData& entry,
                            const TCheckOptions& options = {});

// CRC-32 (the ZIP polynomial) of `size` bytes, continuing from `crc`.
uint32_t UpdateCrc32(uint32_t crc, const void* data, size_t size);

} // namespace tessary
