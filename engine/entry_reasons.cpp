// entry_reasons.cpp -- the reasons behind an entry's CRC, sizes and grade.
#include "entry_reasons.h"

#include <cstdio>

namespace tessary {

namespace {

std::string Hex(int64_t offset) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(offset));
    return text;
}

std::string SizeReason(const TFileInfo& e) {
    std::string at = Hex(e.SizeRecordOffset);
    switch (e.SizeSource) {
    case TSizeSource::LocalHeader:
        return {};
    case TSizeSource::Descriptor:
        return "sizes from data descriptor at " + at;
    case TSizeSource::Inflated:
        return "descriptor lost: CRC and sizes found by inflating, no surviving record to compare";
    case TSizeSource::InflatedInDamage:
        return "descriptor lost: the stream ends in damaged bytes; its CRC is unknown and written "
               "so that readers report the entry";
    case TSizeSource::InflatedConfirmed:
        return "descriptor lost: CRC and sizes found by inflating, confirmed by central header "
               "at " +
               at;
    case TSizeSource::Central:
        return "descriptor lost: CRC and sizes from central header at " + at +
               ", which the data inflates to";
    case TSizeSource::CentralUnchecked:
        return "descriptor lost: CRC and sizes from central header at " + at;
    case TSizeSource::CentralDisagrees:
        return "damaged: the data does not inflate to the CRC and sizes of central header at " + at;
    case TSizeSource::Unknown:
        return "descriptor lost: size unknown, data up to the next record";
    }
    return {};
}

} // namespace

std::vector<std::string> EntryReasons(const TFileInfo& e) {
    std::vector<std::string> reasons;
    if (std::string size = SizeReason(e); !size.empty())
        reasons.push_back(std::move(size));
    return reasons;
}

} // namespace tessary
