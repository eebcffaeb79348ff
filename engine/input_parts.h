// input_parts.h -- archives that come in several files: which bytes of the
// stream no part's file held, what that makes of the entries that reach
// into them, and how many parts an archive's end record counts.
#pragma once

#include "file_info.h"
#include "streams.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessary {

// The first byte of [from, to) that no part's file holds, or -1.
int64_t FirstUnreadByte(const std::vector<TInputPart>& parts, int64_t from, int64_t to);

// Grades `e` "Average" (StatusExtent) with ReasonMissingPart when its header
// or data reach into bytes that a missing or short part did not hold: what
// it is written with there are zeros, not its bytes.
void MarkMissingParts(const std::vector<TInputPart>& parts, TFileInfo& e);

// One reason per part whose lost bytes `e` reaches into, naming the part's
// file: "data in the missing part name.z02", "data in the lost end of the
// short part name.z02 (40,000 of 65,536 bytes)".
std::vector<std::string> MissingPartReasons(const std::vector<TInputPart>& parts,
                                            const TFileInfo& e);

// The number of the disk (part) the end of central directory record at the
// end of `lastPart` says it lies on, counting from 0: the number of parts
// before the last. Only a record whose comment ends exactly at the end of
// the file counts; nullopt when there is none.
std::optional<uint16_t> EndRecordDisk(TInputStream& lastPart);

} // namespace tessary
