// entry_reasons.cpp -- the reasons behind an entry's CRC, sizes and grade.
#include "entry_reasons.h"

#include "archive_writer.h"
#include "input_parts.h"
#include "zip_records.h"

#include <cstdio>

namespace tessary {

namespace {

std::string Hex(int64_t offset) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(offset));
    return text;
}

std::string SizeReason(const TFileInfo& e, int64_t fileSize) {
    std::string at = Hex(e.SizeRecordOffset);
    switch (e.SizeSource) {
    case TSizeSource::LocalHeader:
        return {};
    case TSizeSource::Descriptor:
        return "sizes from data descriptor at " + at;
    case TSizeSource::NextHeader:
        return "claimed size runs past the end of the file: size from the next header at " + at;
    case TSizeSource::DirectoryBehind:
        return "claimed size runs past the end of the file: ends at the central directory at " + at;
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
        return "descriptor lost: size and CRC unknown, data up to " +
               (e.SizeRecordOffset >= fileSize ? std::string("the end of the file")
                                               : "the next header at " + at);
    }
    return {};
}

} // namespace

std::vector<std::string> EntryReasons(const TFileInfo& e, int64_t fileSize,
                                      const std::vector<TInputPart>& parts) {
    std::vector<std::string> reasons;
    if (e.Reasons & ReasonRebuiltFromCentral)
        reasons.push_back("local header destroyed; rebuilt from central header at " +
                          Hex(e.SizeRecordOffset));
    if (e.Reasons & ReasonTextModeUndone)
        reasons.push_back("text-mode transfer damage undone");
    if (e.Reasons & ReasonLongName)
        reasons.push_back("name over 300 bytes");
    if (e.Reasons & ReasonNameBytes)
        reasons.push_back("name holds characters that file names may not hold");
    if (DropsUtf8Flag(e))
        reasons.push_back("name not valid UTF-8: written without the UTF-8 flag");
    if (std::string size = SizeReason(e, fileSize); !size.empty())
        reasons.push_back(std::move(size));
    if (int64_t cut = e.CompressedSize - BytesInFile(e, fileSize);
        (e.Reasons & ReasonPastEnd) && cut > 0 && !IsImplausiblyLong(e, fileSize))
        reasons.push_back(
            "cut off at end of file: the last " + std::to_string(cut) +
            " bytes of its data are missing" +
            (CutStreamTail(e, fileSize) ? " (64 bytes behind the cut stop readers there)" : ""));
    else if (e.Reasons & ReasonPastEnd)
        reasons.push_back("cut off at end of file");
    for (std::string& part : MissingPartReasons(parts, e))
        reasons.push_back(std::move(part));
    if (IsImplausiblyLong(e, fileSize))
        reasons.push_back(
            std::string("longer than the whole file: 1 MiB of its data kept") +
            (CutStreamTail(e, fileSize) ? " (64 bytes behind it stop readers there)" : ""));
    if (size_t tail = MalformedExtraTail(e.ExtraField()))
        reasons.push_back("extra field: a malformed tail of " + std::to_string(tail) +
                          " bytes dropped");
    if (e.Reasons & ReasonExtraDropped)
        reasons.push_back("extra field dropped: it would overlap the next header");
    if (e.Central)
        reasons.push_back("modes and made-by from central header at " + Hex(e.Central->Offset) +
                          (e.CentralStrings ? ", with its extra blocks and comment" : ""));
    return reasons;
}

} // namespace tessary
