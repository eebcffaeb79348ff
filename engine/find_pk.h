// find_pk.h -- the search for "PK", the first two bytes of every ZIP record
// signature, at memory speed.
#pragma once

namespace tessary {

// The first position in [p, end) holding "PK", or a 'P' in the last byte
// (whose partner lies beyond `end`); nullptr when there is none.
const unsigned char* FindPK(const unsigned char* p, const unsigned char* end);

} // namespace tessary
