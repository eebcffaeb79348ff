// entry_resolver.h -- the second pass of a scan: walks the found headers in
// file order and decides which are entries and how far each reaches.
#pragma once

#include "signature_scan.h"

#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace tessary {

// What the resolver remembers of the entry it accepted last, which the next
// accepted header may still correct.
struct TLastEntry {
    TFileInfo* Entry = nullptr;
    int64_t BodyLength = 0; // compressed size + name + extra, as its header claimed
    bool OpenEnded = false; // announced a descriptor that was not found
    bool Described = false; // sized by its data descriptor
    int64_t DataStart = 0;
};

// Moves the accepted candidates into `entries`, grading each and fixing its
// sizes. `window` reads the damaged file where a record's end must be looked
// at, and a stream without its descriptor is inflated to find its end.
// It can run while the scan goes on, between its blocks: it then takes only
// the candidates that nothing further on in the file can change.
class TEntryResolver {
public:
    TEntryResolver(TSignatureScanResult& found, TReadWindow& window, std::deque<TFileInfo>& entries)
        : FFound(found), FWindow(window), FEntries(entries) {}

    // Mid-scan: resolves the candidates followed by another header. Where
    // an entry's descriptor could still be overruled further on, the
    // outcome is a guess.
    void ResolveKnown();
    // After the scan: resolves the rest.
    void ResolveAll();
    // After ResolveAll: false when a guess of ResolveKnown turned out wrong,
    // and the entries differ from a resolution after the whole scan.
    bool Exact() const { return FGuessesHeld; }
    // How many entries at the front of `entries` are final, apart from what
    // a central directory header may still add (made by, attributes,
    // comment): an entry changes until the entry after it is resolved, and
    // one whose descriptor is lost may take its sizes from the directory.
    size_t Settled() const;

private:
    bool GuessesHeld() const;
    void Resolve(TCandidate c);

    TSignatureScanResult& FFound;
    TReadWindow& FWindow;
    std::deque<TFileInfo>& FEntries;
    int64_t FCursor = 0;
    TLastEntry FPrev;
    size_t FFirstUnsized = SIZE_MAX; // the first entry whose descriptor was lost
    // Entries resolved mid-scan without a signed descriptor: their data
    // start, and the unsigned descriptor taken (-1: none).
    std::vector<std::pair<int64_t, int64_t>> FGuesses;
    bool FGuessesHeld = true;
};

} // namespace tessary
