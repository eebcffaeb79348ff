// input_parts.cpp -- the lost bytes of an archive in parts, and the entries
// that reach into them.
#include "input_parts.h"

#include "zip_records.h"

#include <algorithm>

namespace tessary {

namespace {

// The part's lost bytes: the end of its room that its file does not hold.
int64_t LostFrom(const TInputPart& p) {
    return p.Start + p.Present;
}
int64_t LostTo(const TInputPart& p) {
    return p.Start + p.Length;
}

// What the entry takes of the damaged file: its header up to the end of its data.
bool Reaches(const TFileInfo& e, const TInputPart& p) {
    int64_t from = e.HeaderOffset();
    int64_t to = e.DataOffset() + std::max<int64_t>(e.CompressedSize, 0);
    return LostFrom(p) < LostTo(p) && from < LostTo(p) && LostFrom(p) < to;
}

std::string LeafName(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

} // namespace

int64_t FirstUnreadByte(const std::vector<TInputPart>& parts, int64_t from, int64_t to) {
    for (const TInputPart& p : parts) {
        int64_t lostFrom = std::max(LostFrom(p), from);
        if (lostFrom < std::min(LostTo(p), to))
            return lostFrom; // parts are in stream order: the first one found is the first byte
    }
    return -1;
}

void MarkMissingParts(const std::vector<TInputPart>& parts, TFileInfo& e) {
    for (const TInputPart& p : parts) {
        if (Reaches(e, p)) {
            e.Status = StatusExtent;
            e.Reasons |= ReasonMissingPart;
            return;
        }
    }
}

std::vector<std::string> MissingPartReasons(const std::vector<TInputPart>& parts,
                                            const TFileInfo& e) {
    std::vector<std::string> reasons;
    if (!(e.Reasons & ReasonMissingPart))
        return reasons;
    for (const TInputPart& p : parts) {
        if (!Reaches(e, p))
            continue;
        if (p.Missing())
            reasons.push_back("data in the missing part " + LeafName(p.Name));
        else
            reasons.push_back("data in the lost end of the short part " + LeafName(p.Name) + " (" +
                              std::to_string(p.Present) + " of " + std::to_string(p.Length) +
                              " bytes)");
    }
    return reasons;
}

std::optional<uint16_t> EndRecordDisk(TInputStream& lastPart) {
    const int64_t size = lastPart.Size();
    const int64_t tail = std::min<int64_t>(size, EndRecordSize + 0xFFFF);
    if (tail < EndRecordSize)
        return std::nullopt;
    std::vector<unsigned char> bytes(static_cast<size_t>(tail));
    ReadFully(lastPart, size - tail, bytes.data(), bytes.size());
    // From the end backwards: the record nearest the end whose comment
    // reaches exactly to it.
    for (int64_t at = tail - EndRecordSize; at >= 0; --at) {
        const unsigned char* p = bytes.data() + at;
        if (p[0] != 'P' || SignatureOf(p) != EndRecordSignature)
            continue;
        TByteCursor cursor(p, EndRecordSize);
        TEndRecord r;
        if (DecodeEndRecord(cursor, size - tail + at, r) &&
            at + EndRecordSize + r.CommentLength == tail && r.DirectoryDisk <= r.Disk)
            return r.Disk;
    }
    return std::nullopt;
}

} // namespace tessary
