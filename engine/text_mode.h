// text_mode.h -- undoing what a text-mode transfer (FTP in ASCII mode, some
// mail gateways) did to an archive: every LF turned into CR LF, or every
// CR LF into LF. The detection looks at the first entries of the damaged
// file; the restoration goes through it record by record and decides, entry
// by entry, which line ends to change back: an entry is restored only when
// its data then decodes to its CRC-32. What it finds is a list of edits, read
// through a TRestoredInput, so the rest of the engine runs unchanged on the
// restored file.
#pragma once

#include "streams.h"
#include "text_mode_search.h"
#include "text_mode_view.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace tessary {

// Which damage the first entries of `damaged` show, if any. Reads a few
// records at the start of the file (at most a few megabytes): an intact
// archive is told apart by its first entry that holds an LF.
TTextModeDamage DetectTextModeDamage(TInputStream& damaged);

struct TTextModeOptions {
    TSearchBudget Budget; // per entry
    // The largest entry data whose line ends are searched for a choice;
    // larger entries are only restored when the likely edits are all right.
    int64_t MaxSearchedData = 64 << 20;
    // Called now and then with the damaged offset reached; false stops the
    // restoration, which then undoes nothing.
    std::function<bool(int64_t reached)> Tick;
};

struct TTextModeRepair {
    TTextModeDamage Damage = TTextModeDamage::None;
    // Null when no entry was restored.
    std::shared_ptr<const TEditList> Edits;
    // Where in the restored file the local headers of the restored entries
    // lie (only those whose bytes changed), ascending.
    std::vector<int64_t> Restored;
    // Entries whose headers were found but whose data did not come back:
    // they are left as found.
    size_t NotRestored = 0;
    bool Stopped = false;
};

// Restores the entries of `damaged` that `damage` hit. Entries that cannot
// be restored keep their bytes as found, as do the bytes between records.
TTextModeRepair UndoTextModeDamage(TInputStream& damaged, TTextModeDamage damage,
                                   const TTextModeOptions& options = {});

} // namespace tessary
