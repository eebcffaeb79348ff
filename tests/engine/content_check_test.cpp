// Content check: damaged entries of every decoded method, built here with the
// compressors themselves, and what the check must say about each.
#include "content_check.h"
#include "engine_error.h"
#include "memory_streams.h"
#include "zip_builder.h"

#include <gtest/gtest.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace tessary {
namespace {

// Text that compresses about 3:1, long enough to span many windows.
std::string Content() {
    static const std::string content = [] {
        std::mt19937 rng(7);
        const char* words[] = {"ka", "lomer", "ti", "sandra", "pe", "vol ", "unix", "or\n", "q"};
        std::string s;
        while (s.size() < 200'000)
            s += words[rng() % 9];
        return s;
    }();
    return content;
}

std::string Xz(const std::string& in) {
    std::string out(lzma_stream_buffer_bound(in.size()), '\0');
    size_t pos = 0;
    lzma_easy_buffer_encode(6, LZMA_CHECK_CRC64, nullptr,
                            reinterpret_cast<const uint8_t*>(in.data()), in.size(),
                            reinterpret_cast<uint8_t*>(out.data()), &pos, out.size());
    out.resize(pos);
    return out;
}

// Raw LZMA, with or without an end marker, behind the entry's 4-byte version
// and size prefix and the 5 property bytes, as ZIP writers store method 14.
std::string LzmaWithMarker(const std::string& in, bool marker) {
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    options.ext_flags = marker ? LZMA_LZMA1EXT_ALLOW_EOPM : 0;
    options.ext_size_low = options.ext_size_high = 0;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_filter plain = {LZMA_FILTER_LZMA1, &options};
    uint8_t props[5];
    lzma_properties_encode(&plain, props);
    std::string out(in.size() + in.size() / 2 + 1024, '\0');
    size_t pos = 0;
    lzma_raw_buffer_encode(filters, nullptr, reinterpret_cast<const uint8_t*>(in.data()), in.size(),
                           reinterpret_cast<uint8_t*>(out.data()), &pos, out.size());
    out.resize(pos);
    return std::string("\x10\x02\x05\x00", 4) + std::string(reinterpret_cast<char*>(props), 5) +
           out;
}

std::string Zstd(const std::string& in) {
    std::string out(ZSTD_compressBound(in.size()), '\0');
    out.resize(ZSTD_compress(out.data(), out.size(), in.data(), in.size(), 3));
    return out;
}

struct TMethodCase {
    const char* Name;
    uint16_t Method;
    std::string (*Compress)(const std::string&);
    bool DecodesWithinBlocks; // gives output before a whole block is in
    uint16_t Flags = 0;
};

const TMethodCase Methods[] = {
    {"stored", MethodStored, [](const std::string& in) { return in; }, true},
    {"deflate", MethodDeflate, [](const std::string& in) { return test::RawDeflate(in); }, true},
    {"bzip2", MethodBzip2, test::Bzip2, false},
    {"lzma", MethodLzma, [](const std::string& in) { return LzmaWithMarker(in, true); }, true,
     0x0002},
    {"xz", MethodXz, Xz, true},
    {"zstd", MethodZstd, Zstd, false},
};

// Bytes around the data, as in an archive: a header before, the next
// record's signature after, so that a check reading one byte too many or too
// few shows.
const std::string Before(37, 'H');
const std::string After = std::string("PK\x01\x02", 4) + std::string(60, 'C');

struct TOutcomeRun {
    TCheckResult Result;
    std::string Decoded; // what the sink received
};

TOutcomeRun CheckWithSink(TInputStream& input, const TEntryData& entry, size_t window) {
    TOutcomeRun run;
    TCheckOptions options;
    options.WindowSize = window;
    options.Sink = [&run](const unsigned char* p, size_t n) {
        run.Decoded.append(reinterpret_cast<const char*>(p), n);
    };
    run.Result = CheckEntryData(input, entry, options);
    return run;
}

TOutcomeRun CheckWithSink(const std::string& file, const TEntryData& entry, size_t window) {
    TMemoryInput input(file);
    return CheckWithSink(input, entry, window);
}

uint32_t Crc(const std::string& s) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

// The record of `data`, compressed from `content`, placed behind Before.
TEntryData EntryFor(uint16_t method, const std::string& data, const std::string& content) {
    TEntryData entry;
    entry.Offset = static_cast<int64_t>(Before.size());
    entry.Method = method;
    entry.CompressedSize = static_cast<int64_t>(data.size());
    entry.Crc32 = Crc(content);
    entry.UncompressedSize = static_cast<int64_t>(content.size());
    return entry;
}

enum class TDamage { None, FlippedByte, Cut, SizeUnknown };

struct TDamageCase {
    const char* Name;
    TDamage Damage;
};

const TDamageCase Damages[] = {{"intact", TDamage::None},
                               {"flipped_byte", TDamage::FlippedByte},
                               {"cut_mid_stream", TDamage::Cut},
                               {"descriptor_lost", TDamage::SizeUnknown}};

// Windows: the usual one, and small odd ones that split every record and
// block header across reads.
const size_t Windows[] = {256 << 10, 4093, 7};

class DamagedEntryReportsRightOutcome
    : public ::testing::TestWithParam<std::tuple<TMethodCase, TDamageCase>> {};

TEST_P(DamagedEntryReportsRightOutcome, EveryWindowSize) {
    const auto& [method, damage] = GetParam();
    const std::string content = Content();
    std::string data = method.Compress(content);
    ASSERT_GT(data.size(), 100u);
    const int64_t flipAt = static_cast<int64_t>(data.size() / 2);

    TEntryData entry = EntryFor(method.Method, data, content);
    entry.Flags = method.Flags;
    std::string file = Before + data + After;
    if (damage.Damage == TDamage::FlippedByte)
        file[static_cast<size_t>(entry.Offset + flipAt)] ^= 0x5A;
    if (damage.Damage == TDamage::Cut)
        file.resize(static_cast<size_t>(entry.Offset + flipAt)); // the download stopped here
    if (damage.Damage == TDamage::SizeUnknown) {
        entry.CompressedSize.reset();
        entry.Crc32.reset();
        if (method.Method != MethodStored)
            entry.UncompressedSize.reset();
    }

    for (size_t window : Windows) {
        SCOPED_TRACE("window " + std::to_string(window));
        TOutcomeRun run = CheckWithSink(file, entry, window);
        const TCheckResult& r = run.Result;
        EXPECT_EQ(r.UncompressedSize, static_cast<int64_t>(run.Decoded.size()));
        EXPECT_EQ(r.Crc32, Crc(run.Decoded));
        switch (damage.Damage) {
        case TDamage::None:
        case TDamage::SizeUnknown:
            // Without a size the stream's own end tells where the data stops.
            EXPECT_EQ(r.Outcome, TCheckOutcome::Ok) << CheckOutcomeWord(r.Outcome);
            EXPECT_TRUE(r.StreamEnded);
            EXPECT_EQ(r.Consumed, static_cast<int64_t>(data.size()));
            EXPECT_EQ(r.Crc32, Crc(content));
            EXPECT_TRUE(run.Decoded == content);
            break;
        case TDamage::FlippedByte:
            if (r.Outcome == TCheckOutcome::DataError) {
                // Found at or behind the damage, within the entry's data.
                EXPECT_GE(r.ErrorOffset, flipAt);
                EXPECT_LE(r.ErrorOffset, static_cast<int64_t>(data.size()));
            } else {
                EXPECT_EQ(r.Outcome, TCheckOutcome::CrcMismatch) << CheckOutcomeWord(r.Outcome);
            }
            break;
        case TDamage::Cut:
            EXPECT_EQ(r.Outcome, TCheckOutcome::Truncated) << CheckOutcomeWord(r.Outcome);
            EXPECT_FALSE(r.StreamEnded);
            EXPECT_LE(r.Consumed, flipAt);
            // What a cut stream still gives is the content's true beginning
            // (nothing where the first block is incomplete).
            EXPECT_TRUE(content.compare(0, run.Decoded.size(), run.Decoded) == 0);
            if (method.Method == MethodStored) {
                EXPECT_EQ(static_cast<int64_t>(run.Decoded.size()), flipAt); // all that is there
            }
            if (method.DecodesWithinBlocks) {
                EXPECT_GT(run.Decoded.size(), content.size() / 4);
            }
            break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Methods, DamagedEntryReportsRightOutcome,
                         ::testing::Combine(::testing::ValuesIn(Methods),
                                            ::testing::ValuesIn(Damages)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).Name) + "_" +
                                    std::get<1>(info.param).Name;
                         });

// Records that promise something else than the data holds.
TEST(ContentCheckRecords, WrongCrcOrSizeIsMismatchNotOk) {
    const std::string content = Content();
    const std::string data = test::RawDeflate(content);
    const std::string file = Before + data + After;
    TEntryData entry = EntryFor(MethodDeflate, data, content);
    entry.Crc32 = Crc(content) ^ 1;
    EXPECT_EQ(CheckWithSink(file, entry, 4096).Result.Outcome, TCheckOutcome::CrcMismatch);

    // A size smaller than the stream's output: the check stops once it is
    // passed instead of decoding whatever a hostile entry expands to.
    entry.Crc32 = Crc(content);
    entry.UncompressedSize = 1000;
    TOutcomeRun run = CheckWithSink(file, entry, 4096);
    EXPECT_EQ(run.Result.Outcome, TCheckOutcome::CrcMismatch);
    EXPECT_LT(run.Decoded.size(), content.size());
}

// Checks that share a budget of decoded bytes: the one that would pass it
// stops as not checked, and so does every check after it.
TEST(ContentCheckRecords, SharedDecodeBudgetStopsTheCheckThatPassesIt) {
    const std::string content = Content();
    const std::string data = test::RawDeflate(content);
    const std::string file = Before + data + After;
    const TEntryData entry = EntryFor(MethodDeflate, data, content);
    TMemoryInput input(file);
    std::atomic<int64_t> left = static_cast<int64_t>(content.size() * 3 / 2);
    TCheckOptions options;
    options.WindowSize = 4096;
    options.DecodeLeft = &left;
    EXPECT_EQ(CheckEntryData(input, entry, options).Outcome, TCheckOutcome::Ok);
    for (int i = 0; i < 2; ++i) {
        TCheckResult r = CheckEntryData(input, entry, options);
        EXPECT_EQ(r.Outcome, TCheckOutcome::NotChecked);
        EXPECT_EQ(r.Reason, TNotCheckedReason::DecodeLimit);
    }
}

// Parallel compressors write one stream per piece; inside an entry of known
// length they are one content. Without a length the first stream's end is
// the data's end, as the bytes behind it belong to the archive.
TEST(ContentCheckRecords, StreamsOneAfterAnotherAreOneContentWhenTheLengthIsKnown) {
    const std::string first = Content().substr(0, 70'000);
    const std::string second = Content().substr(70'000);
    for (const TMethodCase& method : Methods) {
        if (method.Method != MethodBzip2 && method.Method != MethodXz &&
            method.Method != MethodZstd)
            continue;
        SCOPED_TRACE(method.Name);
        const std::string data = method.Compress(first) + method.Compress(second);
        const std::string file = Before + data + After;
        TEntryData entry = EntryFor(method.Method, data, first + second);
        entry.UncompressedSize.reset(); // only the data's length bounds it
        for (size_t window : {size_t{4093}, size_t{256 << 10}}) {
            TCheckResult r = CheckWithSink(file, entry, window).Result;
            EXPECT_EQ(r.Outcome, TCheckOutcome::Ok) << CheckOutcomeWord(r.Outcome);
            EXPECT_EQ(r.Consumed, static_cast<int64_t>(data.size()));
        }
        TEntryData unknown = entry;
        unknown.CompressedSize.reset();
        unknown.Crc32.reset();
        TCheckResult r = CheckWithSink(file, unknown, 4093).Result;
        EXPECT_EQ(r.Outcome, TCheckOutcome::Ok) << CheckOutcomeWord(r.Outcome);
        EXPECT_EQ(r.UncompressedSize, static_cast<int64_t>(first.size()));
    }
}

// Flag bit 1 announces an end marker, but writers do not always set it
// truly; with the size known the entry is whole either way. Small windows
// put the marker across two reads.
TEST(ContentCheckRecords, LzmaIsWholeWithOrWithoutMarkerWhateverTheFlagSays) {
    const std::string content = Content().substr(0, 50'000);
    for (bool marker : {false, true}) {
        const std::string data = LzmaWithMarker(content, marker);
        for (uint16_t flags : {uint16_t{0}, uint16_t{2}}) {
            TEntryData entry = EntryFor(MethodLzma, data, content);
            entry.Flags = flags;
            for (size_t window = 7; window <= 13; ++window) {
                SCOPED_TRACE(::testing::Message()
                             << "marker " << marker << " flags " << flags << " window " << window);
                TCheckResult r = CheckWithSink(Before + data, entry, window).Result;
                EXPECT_EQ(r.Outcome, TCheckOutcome::Ok) << CheckOutcomeWord(r.Outcome);
            }
        }
    }
}

TEST(ContentCheckRecords, UndecodableEntriesAreNotCheckedWithTheReason) {
    struct TRow {
        uint16_t Method;
        uint16_t Flags;
        bool SizeKnown;
        TNotCheckedReason Reason;
    };
    const TRow rows[] = {
        {MethodDeflate, 0x0001, true, TNotCheckedReason::Encrypted},
        {MethodStored, 0x0041, true, TNotCheckedReason::Encrypted},
        {MethodAes, 0, true, TNotCheckedReason::Encrypted},
        {MethodDeflate64, 0, true, TNotCheckedReason::Deflate64},
        {MethodPpmd, 0, true, TNotCheckedReason::Ppmd},
        {6, 0, true, TNotCheckedReason::UnsupportedMethod}, // implode
        {200, 0, true, TNotCheckedReason::UnknownMethod},
        {MethodStored, 0, false, TNotCheckedReason::UnknownSize},
        // A 1.5 GiB dictionary with no size to bound it would be allocated.
        {MethodLzma, 0, true, TNotCheckedReason::MemoryLimit},
    };
    // An LZMA entry's header (version, size, properties) asking for that dictionary.
    const std::string file =
        std::string("\x10\x02\x05\x00\x5D\x00\x00\x00\x60", 9) + std::string(64, 0);
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Method);
        TEntryData entry;
        entry.Method = row.Method;
        entry.Flags = row.Flags;
        if (row.SizeKnown)
            entry.CompressedSize = static_cast<int64_t>(file.size());
        TCheckResult r = CheckWithSink(file, entry, 4096).Result;
        EXPECT_EQ(r.Outcome, TCheckOutcome::NotChecked);
        EXPECT_EQ(r.Reason, row.Reason);
    }
}

// Reads may come back short; the check reads on. A file that yields nothing
// before its known end has changed, which is a read error, not a cut.
class TShortReads : public TMemoryInput {
public:
    TShortReads(std::string data, int64_t endsAt)
        : TMemoryInput(std::move(data)), FEndsAt(endsAt) {}
    size_t ReadAt(int64_t offset, void* buffer, size_t count) override {
        if (offset >= FEndsAt)
            return 0;
        return TMemoryInput::ReadAt(offset, buffer, std::min<size_t>(count, 1));
    }

private:
    int64_t FEndsAt;
};

TEST(ContentCheckRecords, ShortReadsAreReadOnAndAnEarlyEndIsAnError) {
    const std::string content = Content();
    const std::string data = test::RawDeflate(content);
    const std::string file = Before + data + After;
    TShortReads byteByByte(file, static_cast<int64_t>(file.size()));
    TOutcomeRun run = CheckWithSink(byteByByte, EntryFor(MethodDeflate, data, content), 4096);
    EXPECT_EQ(run.Result.Outcome, TCheckOutcome::Ok);
    EXPECT_EQ(run.Decoded, content);

    TShortReads endsEarly(file, static_cast<int64_t>(Before.size() + data.size() / 2));
    EXPECT_THROW(CheckWithSink(endsEarly, EntryFor(MethodDeflate, data, content), 4096),
                 EArcsalveError);
}

} // namespace
} // namespace tessary
