// text_mode_search.h -- finding which line ends of one entry's data a
// text-mode transfer changed, where the entry's recorded size leaves a choice.
//
// Both kinds of damage come down to one question once the likely edit is made
// at every candidate (every CR before an LF removed, or no CR put back): at
// which of the candidates must a CR stand after all? The entry's recorded
// compressed size says how many; its CRC-32 and size, and the decoder, say
// which.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessary {

// What the entry's records promise of its data.
struct TDataPromise {
    uint16_t Method = 0;
    uint16_t Flags = 0;
    uint32_t Crc32 = 0;
    int64_t UncompressedSize = 0;
};

// The work one entry's search may take: bytes fed to a decoder, and the
// combinations whose CRC-32 is computed (stored data, where each costs a few
// multiplications, not a pass over the data).
struct TSearchBudget {
    uint64_t DecodedBytes = 256ull << 20;
    uint64_t StoredCombinations = 1u << 20;
};

// `likely` is the entry's data with the likely edit made everywhere; a CR
// may go in before the byte at each of `spots` (ascending offsets into it).
// Returns the indices into `spots` of exactly `count` places where a CR must
// go for the data to decode to `promise`, or nothing when no such choice is
// found within `budget`. Stored data is only taken when exactly one choice
// of all matches its CRC-32, so that a chance match cannot pass for the
// content; deflated data must also end its stream exactly at its end.
std::optional<std::vector<size_t>> FindCarriageReturns(const std::string& likely,
                                                       const std::vector<int64_t>& spots,
                                                       size_t count, const TDataPromise& promise,
                                                       const TSearchBudget& budget = {});

// `data` with a CR put in before the byte at each of `spots[chosen[i]]`.
std::string WithCarriageReturns(const std::string& data, const std::vector<int64_t>& spots,
                                const std::vector<size_t>& chosen);

} // namespace tessary
