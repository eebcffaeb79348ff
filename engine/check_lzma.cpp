// check_lzma.cpp -- LZMA (method 14, raw LZMA behind a small header) and xz
// (method 95), both through liblzma.
#include "check_decoders.h"

#include <lzma.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace tessary::check {
namespace {

// Version (2 bytes) and properties size (2 bytes), then the properties.
constexpr size_t LzmaPrefixSize = 4;
constexpr uint16_t FlagLzmaEndMarker = 0x0002;
constexpr size_t LzmaPropertiesSize = 5;

// Runs an initialised lzma_stream one step; the part both methods share.
class TLzmaStreamDecoder : public TDecoder {
public:
    ~TLzmaStreamDecoder() override { lzma_end(&FStream); }

protected:
    TStep Run(const unsigned char* in, size_t inSize, unsigned char* out, size_t outSize,
              bool inputEnds) {
        FStream.next_in = in;
        FStream.avail_in = inSize;
        FStream.next_out = out;
        FStream.avail_out = outSize;
        lzma_ret rc = lzma_code(&FStream, inputEnds ? LZMA_FINISH : LZMA_RUN);
        TStep step;
        step.InUsed = static_cast<int64_t>(inSize - FStream.avail_in);
        step.OutMade = outSize - FStream.avail_out;
        switch (rc) {
        case LZMA_OK:
        case LZMA_BUF_ERROR: // no progress possible: the input ran out
            break;
        case LZMA_STREAM_END:
            step.State = TStep::End;
            break;
        case LZMA_MEM_ERROR:
        case LZMA_MEMLIMIT_ERROR:
            step.State = TStep::MemoryLimit;
            break;
        default:
            step.State = TStep::Error;
            break;
        }
        return step;
    }

    lzma_stream FStream = LZMA_STREAM_INIT;
};

class TXzDecoder : public TLzmaStreamDecoder {
public:
    explicit TXzDecoder(bool concatenated) {
        FReady = lzma_stream_decoder(&FStream, MaxDecoderMemory,
                                     concatenated ? LZMA_CONCATENATED : 0) == LZMA_OK;
    }
    TStep Step(const unsigned char* in, size_t inSize, unsigned char* out, size_t outSize,
               bool inputEnds) override {
        if (!FReady) {
            TStep step;
            step.State = TStep::MemoryLimit;
            return step;
        }
        return Run(in, inSize, out, outSize, inputEnds);
    }

private:
    bool FReady = false;
};

class TLzmaDecoder : public TLzmaStreamDecoder {
public:
    TLzmaDecoder(uint16_t flags, std::optional<int64_t> uncompressedSize)
        : FFlags(flags), FSize(uncompressedSize) {}

    TStep Step(const unsigned char* in, size_t inSize, unsigned char* out, size_t outSize,
               bool inputEnds) override {
        if (!FStarted)
            return ReadHeader(in, inSize);
        TStep step = Run(in, inSize, out, outSize, inputEnds);
        FDecoded += step.OutMade;
        // Once the size the records give is out, what is left is only the
        // question of a marker behind it, which writers do not always flag
        // truly and which the decoder may misjudge when it straddles two
        // reads. The content is whole; its CRC-32 decides.
        bool atSize = FSize && *FSize >= 0 && FDecoded == static_cast<uint64_t>(*FSize);
        bool stuck = step.InUsed == 0 && step.OutMade == 0 && inputEnds;
        if (atSize && (step.State == TStep::Error || stuck))
            step.State = TStep::End;
        return step;
    }

private:
    // Gathers the header, which may arrive in pieces, then starts the decoder.
    TStep ReadHeader(const unsigned char* in, size_t inSize) {
        TStep step;
        size_t want = LzmaPrefixSize + LzmaPropertiesSize - FHeaderSize;
        size_t n = std::min(want, inSize);
        std::memcpy(FHeader + FHeaderSize, in, n);
        FHeaderSize += n;
        step.InUsed = static_cast<int64_t>(n);
        if (FHeaderSize >= LzmaPrefixSize) {
            size_t propertiesSize = FHeader[2] | (FHeader[3] << 8);
            if (propertiesSize != LzmaPropertiesSize) {
                step.State = TStep::Error;
                return step;
            }
        }
        if (FHeaderSize == LzmaPrefixSize + LzmaPropertiesSize)
            step.State = Start();
        return step;
    }

    TStep::TState Start() {
        lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
        if (lzma_properties_decode(&filters[0], nullptr, FHeader + LzmaPrefixSize,
                                   LzmaPropertiesSize) != LZMA_OK)
            return TStep::Error;
        auto* options = static_cast<lzma_options_lzma*>(filters[0].options);
        // Flag bit 1 says the stream ends with a marker: then the marker ends
        // it. Otherwise the size ends it, and a marker there is accepted too.
        bool sizeKnown = FSize && *FSize >= 0 && (FFlags & FlagLzmaEndMarker) == 0;
        uint64_t size = sizeKnown ? static_cast<uint64_t>(*FSize) : UINT64_MAX;
        filters[0].id = LZMA_FILTER_LZMA1EXT;
        options->ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
        options->ext_size_low = static_cast<uint32_t>(size);
        options->ext_size_high = static_cast<uint32_t>(size >> 32);
        // No match reaches before the first byte: a dictionary larger than the
        // content is never used, so it is not allocated either.
        if (FSize && *FSize >= 0)
            options->dict_size = static_cast<uint32_t>(
                std::clamp<uint64_t>(static_cast<uint64_t>(*FSize), LZMA_DICT_SIZE_MIN,
                                     std::max<uint64_t>(options->dict_size, LZMA_DICT_SIZE_MIN)));
        TStep::TState state = TStep::More;
        if (lzma_raw_decoder_memusage(filters) > MaxDecoderMemory)
            state = TStep::MemoryLimit;
        else if (lzma_raw_decoder(&FStream, filters) != LZMA_OK)
            state = TStep::Error;
        std::free(options);
        FStarted = state == TStep::More;
        return state;
    }

    uint16_t FFlags;
    std::optional<int64_t> FSize;
    uint64_t FDecoded = 0;
    unsigned char FHeader[LzmaPrefixSize + LzmaPropertiesSize] = {};
    size_t FHeaderSize = 0;
    bool FStarted = false;
};

} // namespace

std::unique_ptr<TDecoder> MakeLzmaDecoder(uint16_t flags, std::optional<int64_t> uncompressedSize) {
    return std::make_unique<TLzmaDecoder>(flags, uncompressedSize);
}

std::unique_ptr<TDecoder> MakeXzDecoder(bool concatenated) {
    return std::make_unique<TXzDecoder>(concatenated);
}

} // namespace tessary::check
