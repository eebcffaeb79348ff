// text_mode_view.h -- the file as it was before a text-mode transfer changed
// its line ends: the list of edits that undo the change, and a stream that
// reads the damaged file through them, so that the rest of the engine works
// on the restored bytes without knowing of the edits.
#pragma once

#include "streams.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tessary {

// What a text-mode transfer did to every line end of the file.
enum class TTextModeDamage : uint8_t {
    None,
    LfBecameCrLf, // a CR went in before each LF (a naive converter also
                  // before the LF of a CR LF pair); the edits remove it
    CrLfBecameLf, // the CR of each CR LF pair was dropped; the edits put it
                  // back. Files whose every CR was dropped look the same;
                  // only CRs that stood before an LF can be put back.
};

inline constexpr unsigned char CarriageReturn = 0x0D;
inline constexpr unsigned char LineFeed = 0x0A;

// Edits over the damaged file, in ascending order of their position: for
// LfBecameCrLf the CR bytes removed, for CrLfBecameLf the LF bytes that get
// a CR put in front of them. Each edit takes four bytes (an offset from its
// block's base), so a binary file with an LF every 256 bytes needs about
// 1.6% of its size for its edits.
class TEditList {
public:
    explicit TEditList(TTextModeDamage damage = TTextModeDamage::None) : FDamage(damage) {}

    TTextModeDamage Damage() const { return FDamage; }
    // `position` must lie behind every position appended before.
    void Append(int64_t position);
    size_t Size() const { return FCount; }
    bool Empty() const { return FCount == 0; }
    int64_t At(size_t index) const;
    int64_t RestoredSize(int64_t damagedSize) const;
    // Where the byte at `restored` in the restored file comes from: the
    // damaged offset, and the index of the first edit at or behind it. For
    // CrLfBecameLf, an edit at exactly that damaged offset means the byte is
    // the CR put in front of it.
    void Locate(int64_t restored, int64_t& damaged, size_t& nextEdit) const;
    // The restored offset of the damaged byte at `damaged` (for a removed CR,
    // of the byte behind it).
    int64_t RestoredOffset(int64_t damaged) const;
    // How many edits lie before `damaged`.
    size_t CountBefore(int64_t damaged) const;

private:
    static constexpr size_t BlockLength = 4096;
    struct TBlock {
        int64_t Base = 0; // position of its first edit
        size_t First = 0; // index of its first edit
        std::vector<uint32_t> Offsets;
    };
    // The restored offset an edit stands for: for a removed CR the offset
    // of the byte behind it, for a CR put in its own offset. Never falls.
    int64_t KeyOf(const TBlock& b, size_t j) const; // of edit j of block b
    // How many edits have a key below `restored` (or at it, with `orEqual`).
    size_t CountKeys(int64_t restored, bool orEqual) const;

    TTextModeDamage FDamage;
    std::vector<TBlock> FBlocks;
    size_t FCount = 0;
};

// Reads `damaged` through `edits`. Reads go through a buffer, never through
// the kernel's file copy (NativeHandle is -1): the bytes move. Safe to read
// from several threads when the damaged stream is.
class TRestoredInput : public TInputStream {
public:
    TRestoredInput(TInputStream& damaged, std::shared_ptr<const TEditList> edits);
    // The same, owning the damaged stream.
    TRestoredInput(std::unique_ptr<TInputStream> damaged, std::shared_ptr<const TEditList> edits);

    int64_t Size() const override { return FSize; }
    size_t ReadAt(int64_t offset, void* buffer, size_t count) override;
    void CheckUnchanged() const override { FDamaged.CheckUnchanged(); }
    std::string Name() const override { return FDamaged.Name(); }
    bool IsSameFile(const std::string& path) const override { return FDamaged.IsSameFile(path); }

    const TEditList& Edits() const { return *FEdits; }
    TInputStream& Damaged() const { return FDamaged; }

private:
    std::unique_ptr<TInputStream> FOwned;
    TInputStream& FDamaged;
    std::shared_ptr<const TEditList> FEdits;
    int64_t FSize;
};

} // namespace tessary
