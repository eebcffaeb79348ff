// check_inflate.cpp -- deflate through the streaming igzip inflater, the one
// inflater of the project.
#include "check_decoders.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <climits>

namespace tessary::check {
namespace {

class TInflateDecoder : public TDecoder {
public:
    TInflateDecoder() : FState(std::make_unique<inflate_state>()) {
        isal_inflate_init(FState.get()); // raw deflate, no checksum: the caller hashes
    }

    TStep Step(const unsigned char* in, size_t inSize, unsigned char* out, size_t outSize,
               bool) override {
        inflate_state& s = *FState;
        // The inflater counts in 32 bits; the window is far smaller anyway.
        uint32_t given = static_cast<uint32_t>(std::min<size_t>(inSize, UINT32_MAX));
        s.next_in = const_cast<unsigned char*>(in); // the inflater only reads it
        s.avail_in = given;
        s.next_out = out;
        s.avail_out = static_cast<uint32_t>(std::min<size_t>(outSize, UINT32_MAX));
        int rc = isal_inflate(&s);

        TStep step;
        step.InUsed = static_cast<int64_t>(given - s.avail_in);
        step.OutMade = static_cast<size_t>(s.next_out - out);
        if (rc != ISAL_DECOMP_OK) {
            step.InUsed -= HeldBytes(s);
            step.State = TStep::Error;
        } else if (s.block_state == ISAL_BLOCK_FINISH) {
            // The inflater reads ahead into a bit buffer; whole bytes left in
            // it lie behind the stream's end and are given back.
            step.InUsed -= HeldBytes(s);
            step.State = TStep::End;
        }
        return step;
    }

private:
    static int64_t HeldBytes(const inflate_state& s) { return s.read_in_length / 8; }

    std::unique_ptr<inflate_state> FState; // large: kept off the stack
};

} // namespace

void PrepareFastCode() {
    // An empty final block with fixed codes: enough to run the dispatch of
    // every routine the inflater and the CRC use.
    static const bool prepared = [] {
        unsigned char empty[] = {0x03, 0x00};
        unsigned char out[16];
        TInflateDecoder decoder;
        decoder.Step(empty, sizeof empty, out, sizeof out, true);
        return crc32_gzip_refl(0, empty, sizeof empty) != 0;
    }();
    (void)prepared;
}

std::unique_ptr<TDecoder> MakeInflateDecoder() {
    return std::make_unique<TInflateDecoder>();
}

} // namespace tessary::check
