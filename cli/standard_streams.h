// standard_streams.h -- standard input as the damaged archive and standard
// output as the repaired one.
#pragma once

#include "streams.h"

#include <memory>

namespace tessary::cli {

// The damaged archive read from standard input. A regular file redirected
// there is read in place; anything else (a pipe, a terminal) is copied first
// into a temporary file that has no name from the start, so that nothing is
// left behind however the program ends. The copy stops with an error where
// it would leave less than 5% of the temporary folder's disk free. `stop` is
// asked between reads. Throws EArcsalveError (ReadInput) naming "-".
std::unique_ptr<TInputStream> OpenStandardInput(const std::function<bool()>& stop);

// Writes the repaired archive to standard output as it is built; the rebuild
// only ever appends. A failed write throws EArcsalveError (WriteOutput).
TOutputFactory StandardOutputFactory();

} // namespace tessary::cli
