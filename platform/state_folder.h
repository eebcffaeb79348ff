// state_folder.h -- where the program keeps its own state files (settings, log).
#pragma once

#include <string>

namespace tessary {

enum class TStateKind { Settings, Log };

// True when `programFolder` is the program folder of an installed prefix,
// recognised by the program's data folder (PREFIX/share/tessary) beside it. A
// build tree, or a program copied somewhere on its own, has none.
bool IsInstalledProgramFolder(const std::string& programFolder);

// The folder, with a trailing "/", that holds state of `kind` for a program
// in `programFolder`: that folder itself when the program is not installed;
// when it is, "tessary/" under the user's XDG_CONFIG_HOME (settings) or
// XDG_STATE_HOME (log), by default ~/.config and ~/.local/state. Falls back to
// the program folder when no home folder is known.
std::string StateFolderFor(TStateKind kind, const std::string& programFolder);

// StateFolderFor the running program.
std::string StateFolder(TStateKind kind);

} // namespace tessary
