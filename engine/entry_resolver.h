// entry_resolver.h -- turns the scan's evidence into the entry list: which
// local headers are entries, how far each reaches, the CRC and sizes it is
// written with, its grade, and what a surviving central header adds.
#pragma once

#include "signature_scan.h"

#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace tessary {

// Walks the local headers in file order and appends an entry to `entries`
// for each one that is an entry. `window` reads the damaged file where a
// record's end must be looked at, and a stream without its descriptor is
// inflated to find its end. It can run while the scan goes on, between its
// blocks: it then takes only the headers that nothing further on in the file
// can change.
class TEntryResolver {
public:
    // The local headers it makes for entries rebuilt from the central
    // directory go to `rebuilt`, which must outlive `entries`.
    TEntryResolver(const TScanEvidence& found, TReadWindow& window, std::deque<TFileInfo>& entries,
                   std::deque<TLocalHeader>& rebuilt)
        : FFound(found), FWindow(window), FEntries(entries), FRebuilt(rebuilt) {}

    // Mid-scan: resolves the headers followed by another header. Where an
    // entry's descriptor could still be overruled further on, the outcome is
    // a guess.
    void ResolveKnown();
    // After the scan: resolves the rest, then matches the central directory
    // headers, and appends the entries that only a central header still
    // tells of (see RebuildFromCentral). The entries are complete from here
    // on.
    void ResolveAll();
    // After ResolveAll: false when a guess of ResolveKnown turned out wrong,
    // and the entries differ from a resolution after the whole scan.
    bool Exact() const { return FGuessesHeld; }
    // How many entries at the front of `entries` are complete, apart from
    // what a central directory header adds (made by, attributes, extra
    // blocks and comment): an entry changes until the entry after it is
    // resolved, and one whose descriptor is lost waits for the directory.
    size_t Settled();

private:
    // What the resolver remembers of the entry it accepted last, which the
    // next accepted header may still correct.
    struct TLastEntry {
        TFileInfo* Entry = nullptr;
        int64_t BodyLength = 0; // compressed size + name + extra, as its header claimed
        bool OpenEnded = false; // announced a descriptor that was not found
        bool Described = false; // sized by its data descriptor or by inflating
    };

    bool GuessesHeld() const;
    bool InsideArchiveComment(int64_t at) const;
    void LeaveOutSigningBlock();
    void Resolve(size_t index);
    void CorrectPrevious(int64_t nextHeader);

    const TScanEvidence& FFound;
    TReadWindow& FWindow;
    std::deque<TFileInfo>& FEntries;
    std::deque<TLocalHeader>& FRebuilt;
    size_t FNext = 0; // the next local header to look at
    int64_t FCursor = 0;
    TLastEntry FPrev;
    size_t FFirstUnsized = SIZE_MAX; // the first entry that waits for the directory
    size_t FMostSettled = 0;         // the most entries Settled() has said are final
    // Entries resolved mid-scan without a signed descriptor: their data
    // start, and the unsigned descriptor taken (-1: none).
    std::vector<std::pair<int64_t, int64_t>> FGuesses;
    bool FGuessesHeld = true;
};

} // namespace tessary
