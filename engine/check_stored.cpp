// check_stored.cpp -- stored data: the bytes are the content.
#include "check_decoders.h"

#include <algorithm>

namespace tessary::check {
namespace {

class TStoredDecoder : public TDecoder {
public:
    explicit TStoredDecoder(int64_t size) : FLeft(size) {}
    TStep Step(const unsigned char* in, size_t inSize, unsigned char*, size_t outSize,
               bool) override {
        TStep step;
        size_t n = static_cast<size_t>(std::min<int64_t>(FLeft, std::min(inSize, outSize)));
        step.OutData = in;
        FLeft -= static_cast<int64_t>(n);
        step.InUsed = static_cast<int64_t>(n);
        step.OutMade = n;
        step.State = FLeft == 0 ? TStep::End : TStep::More;
        return step;
    }

private:
    int64_t FLeft;
};

} // namespace

std::unique_ptr<TDecoder> MakeStoredDecoder(int64_t size) {
    return std::make_unique<TStoredDecoder>(size);
}

} // namespace tessary::check
