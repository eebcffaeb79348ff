// lng_state.h -- shared between the string tables and the language choice.
#pragma once

namespace tessary {

// Forgets the chosen language file (LngFile becomes empty).
void ClearLngFile();

} // namespace tessary
