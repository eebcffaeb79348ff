// text_mode_view.cpp -- the edit list and the stream that reads through it.
#include "text_mode_view.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace tessary {

void TEditList::Append(int64_t position) {
    if (FBlocks.empty() || FBlocks.back().Offsets.size() >= BlockLength ||
        position - FBlocks.back().Base > std::numeric_limits<uint32_t>::max()) {
        TBlock block;
        block.Base = position;
        block.First = FCount;
        block.Offsets.reserve(std::min<size_t>(BlockLength, 64));
        FBlocks.push_back(std::move(block));
    }
    TBlock& b = FBlocks.back();
    b.Offsets.push_back(static_cast<uint32_t>(position - b.Base));
    ++FCount;
}

int64_t TEditList::At(size_t index) const {
    auto it = std::upper_bound(FBlocks.begin(), FBlocks.end(), index,
                               [](size_t i, const TBlock& b) { return i < b.First; });
    const TBlock& b = *(it - 1);
    return b.Base + b.Offsets[index - b.First];
}

int64_t TEditList::KeyOf(const TBlock& b, size_t j) const {
    int64_t i = static_cast<int64_t>(b.First + j);
    int64_t at = b.Base + b.Offsets[j];
    return FDamage == TTextModeDamage::LfBecameCrLf ? at - i : at + i;
}

int64_t TEditList::RestoredSize(int64_t damagedSize) const {
    int64_t n = static_cast<int64_t>(FCount);
    return FDamage == TTextModeDamage::LfBecameCrLf ? damagedSize - n : damagedSize + n;
}

// Both searches look for the last block that starts below the bound, then
// within it.
size_t TEditList::CountKeys(int64_t restored, bool orEqual) const {
    auto below = [&](int64_t key) { return orEqual ? key <= restored : key < restored; };
    auto block = std::partition_point(FBlocks.begin(), FBlocks.end(),
                                      [&](const TBlock& b) { return below(KeyOf(b, 0)); });
    if (block == FBlocks.begin())
        return 0;
    const TBlock& b = *(block - 1);
    // The predicate needs the edit's index as well as its offset; it takes
    // the index from the element's place in the block.
    auto it = std::partition_point(b.Offsets.begin(), b.Offsets.end(), [&](const uint32_t& offset) {
        return below(KeyOf(b, static_cast<size_t>(&offset - b.Offsets.data())));
    });
    return b.First + static_cast<size_t>(it - b.Offsets.begin());
}

size_t TEditList::CountBefore(int64_t damaged) const {
    auto block = std::partition_point(FBlocks.begin(), FBlocks.end(),
                                      [&](const TBlock& b) { return b.Base < damaged; });
    if (block == FBlocks.begin())
        return 0;
    const TBlock& b = *(block - 1);
    auto it = std::lower_bound(b.Offsets.begin(), b.Offsets.end(), damaged - b.Base,
                               [](uint32_t o, int64_t v) { return int64_t(o) < v; });
    return b.First + static_cast<size_t>(it - b.Offsets.begin());
}

void TEditList::Locate(int64_t restored, int64_t& damaged, size_t& nextEdit) const {
    if (FDamage == TTextModeDamage::LfBecameCrLf) {
        // Every removed CR whose successor lies at or before `restored`
        // moves it one byte further into the damaged file.
        nextEdit = CountKeys(restored, true);
        damaged = restored + static_cast<int64_t>(nextEdit);
    } else {
        // Every CR put in before it moves it one byte nearer the start.
        nextEdit = CountKeys(restored, false);
        damaged = restored - static_cast<int64_t>(nextEdit);
    }
}

int64_t TEditList::RestoredOffset(int64_t damaged) const {
    if (FDamage == TTextModeDamage::LfBecameCrLf)
        return damaged - static_cast<int64_t>(CountBefore(damaged));
    return damaged + static_cast<int64_t>(CountBefore(damaged + 1));
}

TRestoredInput::TRestoredInput(TInputStream& damaged, std::shared_ptr<const TEditList> edits)
    : FDamaged(damaged), FEdits(std::move(edits)), FSize(FEdits->RestoredSize(damaged.Size())) {}

TRestoredInput::TRestoredInput(std::unique_ptr<TInputStream> damaged,
                               std::shared_ptr<const TEditList> edits)
    : FOwned(std::move(damaged)), FDamaged(*FOwned), FEdits(std::move(edits)),
      FSize(FEdits->RestoredSize(FDamaged.Size())) {}

size_t TRestoredInput::ReadAt(int64_t offset, void* buffer, size_t count) {
    if (offset < 0 || offset >= FSize || count == 0)
        return 0;
    count = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), FSize - offset));
    const TEditList& edits = *FEdits;
    const bool removing = edits.Damage() == TTextModeDamage::LfBecameCrLf;
    int64_t x = 0; // the damaged offset read next
    size_t j = 0;  // the next edit
    edits.Locate(offset, x, j);
    const int64_t damagedSize = FDamaged.Size();
    unsigned char* out = static_cast<unsigned char*>(buffer);
    size_t made = 0;
    // The damaged bytes go through a buffer of their own: reading them
    // straight into `buffer` would leave no room for the CRs put in.
    constexpr size_t Chunk = 256 << 10;
    std::vector<unsigned char> chunk(std::min(Chunk, count + 1));
    int64_t nextEdit = j < edits.Size() ? edits.At(j) : std::numeric_limits<int64_t>::max();
    while (made < count && x < damagedSize) {
        size_t want = static_cast<size_t>(
            std::min<int64_t>(static_cast<int64_t>(chunk.size()), damagedSize - x));
        ReadFully(FDamaged, x, chunk.data(), want);
        size_t k = 0;
        while (k < want && made < count) {
            if (nextEdit == x + static_cast<int64_t>(k)) {
                if (removing)
                    ++k;
                else
                    out[made++] = CarriageReturn;
                ++j;
                nextEdit = j < edits.Size() ? edits.At(j) : std::numeric_limits<int64_t>::max();
                continue;
            }
            int64_t untilEdit = nextEdit - (x + static_cast<int64_t>(k));
            size_t run = static_cast<size_t>(std::min<int64_t>(
                {static_cast<int64_t>(want - k), static_cast<int64_t>(count - made), untilEdit}));
            std::memcpy(out + made, chunk.data() + k, run);
            made += run;
            k += run;
        }
        x += static_cast<int64_t>(k);
    }
    return made;
}

} // namespace tessary
