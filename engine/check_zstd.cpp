// check_zstd.cpp -- Zstandard (method 93) through libzstd.
#include "check_decoders.h"

#include <zstd.h>
#include <zstd_errors.h>

namespace tessary::check {
namespace {

// 2^27 bytes: the window the check allows, as MaxDecoderMemory.
constexpr int MaxWindowLog = 27;

class TZstdDecoder : public TDecoder {
public:
    explicit TZstdDecoder(bool concatenated)
        : FContext(ZSTD_createDCtx()), FConcatenated(concatenated) {
        if (FContext)
            ZSTD_DCtx_setParameter(FContext, ZSTD_d_windowLogMax, MaxWindowLog);
    }
    ~TZstdDecoder() override { ZSTD_freeDCtx(FContext); }
    TZstdDecoder(const TZstdDecoder&) = delete;
    TZstdDecoder& operator=(const TZstdDecoder&) = delete;

    TStep Step(const unsigned char* in, size_t inSize, unsigned char* out, size_t outSize,
               bool inputEnds) override {
        TStep step;
        if (!FContext) {
            step.State = TStep::MemoryLimit;
            return step;
        }
        ZSTD_inBuffer input{in, inSize, 0};
        ZSTD_outBuffer output{out, outSize, 0};
        size_t rc = ZSTD_decompressStream(FContext, &output, &input);
        step.InUsed = static_cast<int64_t>(input.pos);
        step.OutMade = output.pos;
        if (ZSTD_isError(rc)) {
            // The decoder does not say where in the input it stopped: the
            // break lies somewhere in what it was handed, so its end is the
            // first offset certain to be at or behind the damage.
            step.InUsed = static_cast<int64_t>(inSize);
            step.State = ZSTD_getErrorCode(rc) == ZSTD_error_frameParameter_windowTooLarge ||
                                 ZSTD_getErrorCode(rc) == ZSTD_error_memory_allocation
                             ? TStep::MemoryLimit
                             : TStep::Error;
        } else if (rc == 0 && (!FConcatenated || (inputEnds && input.pos == inSize))) {
            // A frame ended and all its output is out; the next call would
            // start on the following frame by itself.
            step.State = TStep::End;
        }
        return step;
    }

private:
    ZSTD_DCtx* FContext;
    bool FConcatenated;
};

} // namespace

std::unique_ptr<TDecoder> MakeZstdDecoder(bool concatenated) {
    return std::make_unique<TZstdDecoder>(concatenated);
}

} // namespace tessary::check
