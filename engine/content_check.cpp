// content_check.cpp -- the method dispatch and the one loop that feeds any
// decoder from the input through a fixed window, hashing what comes out.
#include "content_check.h"

#include "check_decoders.h"
#include "file_info.h"

#include <isa-l/crc.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace tessary {

std::string_view CheckOutcomeWord(TCheckOutcome outcome) {
    switch (outcome) {
    case TCheckOutcome::Ok:
        return "ok";
    case TCheckOutcome::CrcMismatch:
        return "crc-mismatch";
    case TCheckOutcome::DataError:
        return "data-error";
    case TCheckOutcome::Truncated:
        return "truncated";
    case TCheckOutcome::NotChecked:
        return "not-checked";
    }
    return "";
}

std::string_view NotCheckedReasonWord(TNotCheckedReason reason) {
    switch (reason) {
    case TNotCheckedReason::None:
        return "";
    case TNotCheckedReason::Encrypted:
        return "encrypted";
    case TNotCheckedReason::Deflate64:
        return "deflate64";
    case TNotCheckedReason::Ppmd:
        return "PPMd";
    case TNotCheckedReason::UnsupportedMethod:
        return "unsupported method";
    case TNotCheckedReason::UnknownMethod:
        return "unknown method";
    case TNotCheckedReason::UnknownSize:
        return "unknown size";
    case TNotCheckedReason::MemoryLimit:
        return "window too large";
    case TNotCheckedReason::DecodeLimit:
        return "decoding limit reached";
    case TNotCheckedReason::ComputedCrc:
        return "CRC computed by the repair; no surviving record to compare";
    }
    return "";
}

uint32_t UpdateCrc32(uint32_t crc, const void* data, size_t size) {
    return crc32_gzip_refl(crc, static_cast<const unsigned char*>(data), size);
}

namespace {

constexpr uint16_t FlagStrongEncryption = 0x0040;

// Methods the format defines (shrink, reduce, implode, tokenize, IBM TERSE,
// LZ77, WavPack, MP3, JPEG variants) that no decoder here reads.
bool IsDefinedUnsupportedMethod(uint16_t m) {
    return (m >= 1 && m <= 7) || m == 10 || m == 16 || m == 18 || m == 19 || m == 94 || m == 96 ||
           m == 97;
}

TCheckResult NotChecked(TNotCheckedReason reason) {
    TCheckResult r;
    r.Outcome = TCheckOutcome::NotChecked;
    r.Reason = reason;
    return r;
}

// The decoder for the entry, or the reason there is none.
std::unique_ptr<check::TDecoder> DecoderFor(const TEntryData& e, TNotCheckedReason& reason) {
    if ((e.Flags & (FlagEncrypted | FlagStrongEncryption)) != 0 || e.Method == MethodAes) {
        reason = TNotCheckedReason::Encrypted;
        return nullptr;
    }
    switch (e.Method) {
    case MethodStored: {
        // Stored data is as long as either size says; the compressed one
        // first, as the copy the rebuild writes is cut by it.
        std::optional<int64_t> size = e.CompressedSize ? e.CompressedSize : e.UncompressedSize;
        if (!size || *size < 0) {
            reason = TNotCheckedReason::UnknownSize;
            return nullptr;
        }
        return check::MakeStoredDecoder(*size);
    }
    case MethodDeflate:
        return check::MakeInflateDecoder();
    case MethodBzip2:
        return check::MakeBzip2Decoder(e.CompressedSize.has_value());
    case MethodLzma:
        return check::MakeLzmaDecoder(e.Flags, e.UncompressedSize);
    case MethodXz:
        return check::MakeXzDecoder(e.CompressedSize.has_value());
    case MethodZstd:
        return check::MakeZstdDecoder(e.CompressedSize.has_value());
    case MethodDeflate64:
        reason = TNotCheckedReason::Deflate64;
        return nullptr;
    case MethodPpmd:
        reason = TNotCheckedReason::Ppmd;
        return nullptr;
    default:
        reason = IsDefinedUnsupportedMethod(e.Method) ? TNotCheckedReason::UnsupportedMethod
                                                      : TNotCheckedReason::UnknownMethod;
        return nullptr;
    }
}

// Bytes of the entry's data the input holds and the check may read.
int64_t ReadableBytes(TInputStream& input, const TEntryData& e) {
    int64_t readable = std::max<int64_t>(0, input.Size() - e.Offset);
    if (e.CompressedSize)
        readable = std::min(readable, std::max<int64_t>(0, *e.CompressedSize));
    return e.Limit >= 0 ? std::min(readable, e.Limit) : readable;
}

} // namespace

TCheckResult CheckEntryData(TInputStream& input, const TEntryData& entry,
                            const TCheckOptions& options) {
    check::PrepareFastCode();
    TNotCheckedReason reason = TNotCheckedReason::None;
    std::unique_ptr<check::TDecoder> decoder = DecoderFor(entry, reason);
    if (!decoder)
        return NotChecked(reason);

    const size_t window = std::max<size_t>(options.WindowSize, 1);
    const int64_t readable = entry.Offset < 0 ? 0 : ReadableBytes(input, entry);
    const int64_t expectedSize = entry.UncompressedSize.value_or(-1);
    // Buffers no larger than the entry needs: an archive of many small
    // entries would otherwise clear two whole windows for each of them.
    auto fitted = [&](int64_t need) {
        return need < 0 ? window : static_cast<size_t>(std::clamp<int64_t>(need, 1, window));
    };
    const size_t inSize = fitted(readable);
    const size_t outSize = fitted(expectedSize < 0 ? -1 : expectedSize + 1);
    std::vector<unsigned char> in(inSize);
    std::vector<unsigned char> out(outSize);

    TCheckResult r;
    r.Outcome = TCheckOutcome::Truncated;
    int64_t readPos = 0;
    size_t inStart = 0;
    size_t inEnd = 0;
    bool inputEnds = readable == 0;
    // Moves what the decoder left to the front and reads on behind it.
    auto refill = [&] {
        std::memmove(in.data(), in.data() + inStart, inEnd - inStart);
        inEnd -= inStart;
        inStart = 0;
        size_t want = static_cast<size_t>(std::min<int64_t>(inSize - inEnd, readable - readPos));
        // Reads may come back short (network and FUSE file systems): only the
        // end of the data counts as its end, and a file that ends before its
        // known size is a read error, not the data's end.
        size_t got = ReadFully(input, entry.Offset + readPos, in.data() + inEnd, want);
        readPos += static_cast<int64_t>(got);
        inEnd += got;
        inputEnds = readPos >= readable;
    };
    for (;;) {
        if (inStart == inEnd && !inputEnds)
            refill();
        check::TStep step =
            decoder->Step(in.data() + inStart, inEnd - inStart, out.data(), outSize, inputEnds);
        if (step.InUsed > 0)
            inStart += static_cast<size_t>(step.InUsed);
        r.Consumed += step.InUsed;
        if (step.OutMade > 0) {
            if (options.DecodeLeft && options.DecodeLeft->fetch_sub(static_cast<int64_t>(
                                          step.OutMade)) < static_cast<int64_t>(step.OutMade))
                return NotChecked(TNotCheckedReason::DecodeLimit);
            const unsigned char* made = step.OutData ? step.OutData : out.data();
            r.Crc32 = UpdateCrc32(r.Crc32, made, step.OutMade);
            r.UncompressedSize += static_cast<int64_t>(step.OutMade);
            if (options.Sink)
                options.Sink(made, step.OutMade);
        }
        if (step.State == check::TStep::End) {
            r.StreamEnded = true;
            break;
        }
        if (step.State == check::TStep::Error) {
            r.Outcome = TCheckOutcome::DataError;
            r.ErrorOffset = std::max<int64_t>(0, r.Consumed);
            break;
        }
        if (step.State == check::TStep::MemoryLimit) {
            TCheckResult limited = NotChecked(TNotCheckedReason::MemoryLimit);
            limited.Consumed = r.Consumed;
            return limited;
        }
        // More output than the entry claims: decoding on proves nothing more
        // and would let a small hostile entry keep a worker busy for long.
        if (expectedSize >= 0 && r.UncompressedSize > expectedSize) {
            r.Outcome = TCheckOutcome::CrcMismatch;
            break;
        }
        if (step.InUsed == 0 && step.OutMade == 0) {
            // No progress: the decoder wants more input than it was given.
            if (inputEnds)
                break; // Truncated: the data ran out before the stream ended
            if (inStart == 0 && inEnd == inSize) {
                // A full window and still no progress: it will never go on.
                r.Outcome = TCheckOutcome::DataError;
                r.ErrorOffset = std::max<int64_t>(0, r.Consumed);
                break;
            }
            refill();
        }
    }
    if (r.StreamEnded) {
        bool crcOk = !entry.Crc32 || *entry.Crc32 == r.Crc32;
        bool sizeOk = expectedSize < 0 || expectedSize == r.UncompressedSize;
        r.Outcome = crcOk && sizeOk ? TCheckOutcome::Ok : TCheckOutcome::CrcMismatch;
    }
    return r;
}

} // namespace tessary
