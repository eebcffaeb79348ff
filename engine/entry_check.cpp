// entry_check.cpp -- the check of every entry on a worker pool, and the
// salvaged content of an entry whose stream breaks.
#include "entry_check.h"

#include "engine_error.h"
#include "input_parts.h"
#include "zip_records.h"

#include <algorithm>
#include <cstdint>

namespace tessary {

namespace {

// Thrown from a worker's sink to leave a check early when the pool stops.
struct TCheckStopped {};

} // namespace

TEntryData EntryDataOf(const TFileInfo& e) {
    TEntryData d;
    d.Offset = e.DataOffset();
    d.Method = e.Found->Method;
    d.Flags = e.Found->Flags;
    // The rebuild copies CompressedSize bytes and writes the record's CRC-32
    // into the new headers (for an entry whose descriptor was not found, the
    // local header's own, usually zero): exactly what a reader will compare.
    d.CompressedSize = e.CompressedSize;
    d.Crc32 = e.Crc32;
    if (e.UncompressedSize >= 0)
        d.UncompressedSize = e.UncompressedSize;
    return d;
}

TCheckResult CheckEntry(TInputStream& input, const TFileInfo& e, const TCheckOptions& options) {
    // Data that reaches into a missing part is checked up to there: what the
    // repaired archive holds beyond are zeros, not the entry's bytes, whatever
    // they decode to. So the entry is cut off there, and salvaged from the
    // bytes in front of it.
    int64_t lost = FirstUnreadByte(input.Parts(), e.DataOffset(),
                                   e.DataOffset() + std::max<int64_t>(e.CompressedSize, 0));
    if (lost >= 0) {
        TEntryData d = EntryDataOf(e);
        d.Limit = lost - d.Offset;
        return CheckEntryData(input, d, options);
    }
    // Its CRC came from decoding this very data, so the data always matches
    // it; only a surviving record of the damaged file could say more.
    if (e.SizeSource == TSizeSource::Inflated) {
        TCheckResult r;
        r.Reason = TNotCheckedReason::ComputedCrc;
        return r;
    }
    return CheckEntryData(input, EntryDataOf(e), options);
}

bool IsSalvageable(const TFileInfo& e, const TCheckResult& r) {
    uint16_t method = e.Found->Method;
    if (r.Outcome == TCheckOutcome::Truncated)
        return method == MethodDeflate || method == MethodStored;
    return r.Outcome == TCheckOutcome::DataError && method == MethodDeflate;
}

int64_t MaxDecodedBytes(int64_t fileSize) {
    constexpr int64_t Floor = int64_t(1) << 30;
    constexpr int64_t MostExpansion = 1032;
    return std::max(Floor,
                    fileSize > INT64_MAX / MostExpansion ? INT64_MAX : fileSize * MostExpansion);
}

TParallelCheck::TParallelCheck(TInputStream& input, const std::deque<TFileInfo>& entries,
                               unsigned threads, size_t ahead)
    : FInput(input), FEntries(entries), FAhead(std::max<size_t>(ahead, 1)),
      FDecodeLeft(MaxDecodedBytes(input.Size())), FResults(entries.size()),
      FDone(entries.size(), 0) {
    threads = std::max(1u, threads);
    for (unsigned t = 0; t < threads; ++t)
        FWorkers.emplace_back([this] { Work(); });
}

TParallelCheck::~TParallelCheck() {
    {
        std::lock_guard lock(FMutex);
        FStopping = true;
    }
    FChanged.notify_all();
    for (std::thread& t : FWorkers)
        t.join();
}

void TParallelCheck::Work() {
    TCheckOptions options;
    options.Sink = [this](const unsigned char*, size_t) {
        if (FStopping)
            throw TCheckStopped();
    };
    options.DecodeLeft = &FDecodeLeft;
    for (;;) {
        size_t index;
        {
            std::unique_lock lock(FMutex);
            FChanged.wait(lock, [&] {
                return FStopping || FNext >= FEntries.size() || FNext < FReleased + FAhead;
            });
            if (FStopping || FNext >= FEntries.size())
                return;
            index = FNext++;
        }
        TCheckResult result;
        std::exception_ptr error;
        try {
            result = CheckEntry(FInput, FEntries[index], options);
        } catch (const TCheckStopped&) {
            return;
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard lock(FMutex);
            FResults[index] = result;
            FDone[index] = 1;
            if (error) {
                FErrors.push_back(error);
                FErrorIndex.push_back(index);
            }
        }
        FChanged.notify_all();
    }
}

void TParallelCheck::Release(size_t index) {
    {
        std::lock_guard lock(FMutex);
        FReleased = std::max(FReleased, index);
    }
    FChanged.notify_all();
}

const TCheckResult& TParallelCheck::Wait(size_t index) {
    Release(index);
    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [&] { return FDone[index] != 0; });
    for (size_t i = 0; i < FErrorIndex.size(); ++i)
        if (FErrorIndex[i] == index)
            std::rethrow_exception(FErrors[i]);
    return FResults[index];
}

const TCheckResult* TParallelCheck::Result(size_t index) const {
    std::lock_guard lock(FMutex);
    return FDone[index] ? &FResults[index] : nullptr;
}

void WriteSalvagedData(TInputStream& input, const TFileInfo& e, int64_t size, TOutputStream& out) {
    int64_t left = size;
    TCheckOptions options;
    options.Sink = [&](const unsigned char* data, size_t n) {
        size_t take = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(n)));
        out.Write(data, take);
        left -= static_cast<int64_t>(take);
    };
    CheckEntryData(input, EntryDataOf(e), options);
    // The data decoded to fewer bytes than its check found: the file changed
    // meanwhile. Nothing may stand in for the bytes that are missing.
    if (left > 0)
        throw EArcsalveError(TErrorKind::ReadInput, input.Name(),
                             "The file changed while it was read");
}

} // namespace tessary
