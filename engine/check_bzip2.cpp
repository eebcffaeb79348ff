// check_bzip2.cpp -- bzip2 (method 12) through libbz2.
#include "check_decoders.h"

#include <bzlib.h>

#include <algorithm>
#include <climits>

namespace tessary::check {
namespace {

class TBzip2Decoder : public TDecoder {
public:
    explicit TBzip2Decoder(bool concatenated) : FConcatenated(concatenated) {
        FReady = BZ2_bzDecompressInit(&FStream, 0, 0) == BZ_OK;
    }
    ~TBzip2Decoder() override {
        if (FReady)
            BZ2_bzDecompressEnd(&FStream);
    }
    TBzip2Decoder(const TBzip2Decoder&) = delete;
    TBzip2Decoder& operator=(const TBzip2Decoder&) = delete;

    TStep Step(const unsigned char* in, size_t inSize, unsigned char* out, size_t outSize,
               bool inputEnds) override {
        TStep step;
        if (!FReady) {
            step.State = TStep::MemoryLimit;
            return step;
        }
        unsigned given = static_cast<unsigned>(std::min<size_t>(inSize, UINT_MAX));
        unsigned room = static_cast<unsigned>(std::min<size_t>(outSize, UINT_MAX));
        FStream.next_in = const_cast<char*>(reinterpret_cast<const char*>(in)); // only read
        FStream.avail_in = given;
        FStream.next_out = reinterpret_cast<char*>(out);
        FStream.avail_out = room;
        int rc = BZ2_bzDecompress(&FStream);
        step.InUsed = given - FStream.avail_in;
        step.OutMade = room - FStream.avail_out;
        if (rc == BZ_STREAM_END) {
            if (!FConcatenated || (inputEnds && FStream.avail_in == 0))
                step.State = TStep::End;
            else
                Restart(); // another stream follows inside the entry
        } else if (rc == BZ_MEM_ERROR)
            step.State = TStep::MemoryLimit;
        else if (rc != BZ_OK)
            step.State = TStep::Error;
        return step;
    }

private:
    void Restart() {
        BZ2_bzDecompressEnd(&FStream);
        FStream = bz_stream{};
        FReady = BZ2_bzDecompressInit(&FStream, 0, 0) == BZ_OK;
    }

    bz_stream FStream{};
    bool FConcatenated;
    bool FReady = false;
};

} // namespace

std::unique_ptr<TDecoder> MakeBzip2Decoder(bool concatenated) {
    return std::make_unique<TBzip2Decoder>(concatenated);
}

} // namespace tessary::check
