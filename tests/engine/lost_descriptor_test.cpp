// Entries whose data descriptor is lost: the repair may find their end by
// inflating, but it must never pass off a CRC it computed from damaged data
// as the entry's own, nor write a cut entry that reads as a whole one.
#include "engine_test_util.h"
#include "entry_check.h"
#include "zip_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

using namespace tessary;
using namespace tessary::test;

namespace {

enum class TReadBack { Whole, Reported };

struct TLostDescriptor {
    const char* Name;
    // Zeros from `Offset` bytes past the victim's `Anchor`, over `Length`
    // bytes; a length of 0 cuts the file there instead.
    int64_t TBuiltEntry::*Anchor;
    int Offset;
    // One final block of fixed codes: there, zeros decode as the end of the
    // block, so an inflater that reads into zeros finds a stream end that is
    // not the data's. Such a stream also ends on a zero byte, so zeros right
    // behind it are no sign of its end: the other rows use dynamic codes.
    bool FixedCodes;
    int Length;
    bool KeepDirectory;
    TEntryStatus Status;
    TSizeSource Source;
    TReadBack Written;
    TCheckOutcome Check;
};

constexpr auto DataStart = &TBuiltEntry::DataStart;
constexpr auto DataEnd = &TBuiltEntry::DataEnd;

const TLostDescriptor Cases[] = {
    {"ZerosOverDataTailWithDirectoryGiveTheDirectorysCrcAndAreReported", DataEnd, -20, true, 600,
     true, StatusNoDescriptor, TSizeSource::CentralDisagrees, TReadBack::Reported,
     TCheckOutcome::CrcMismatch},
    {"ZerosOverDataTailWithoutDirectoryAreReportedNotLaundered", DataEnd, -20, true, 600, false,
     StatusNoDescriptor, TSizeSource::InflatedInDamage, TReadBack::Reported,
     TCheckOutcome::CrcMismatch},
    {"ZerosOverDescriptorOnlyWithDirectoryAreConfirmedWhole", DataEnd, 0, false, 600, true,
     StatusExcellent, TSizeSource::InflatedConfirmed, TReadBack::Whole, TCheckOutcome::Ok},
    {"ZerosOverDescriptorOnlyWithoutDirectoryAreWholeButNotCheckable", DataEnd, 0, false, 600,
     false, StatusExcellent, TSizeSource::Inflated, TReadBack::Whole, TCheckOutcome::NotChecked},
    {"StreamCutByTheEndOfTheFileIsNeverWrittenWithTheCrcOfNothing", DataStart, 1, false, 0, false,
     StatusNoDescriptor, TSizeSource::Unknown, TReadBack::Reported, TCheckOutcome::Truncated},
};

class LostDescriptor : public ::testing::TestWithParam<TLostDescriptor> {};

TEST_P(LostDescriptor, NeverLaundersAComputedCrc) {
    const TLostDescriptor& c = GetParam();
    const std::string content = TestBytes(300, 21, true);
    TZipBuilder b;
    TZipEntry victim{"victim.txt", content};
    victim.Deflate = true;
    victim.FixedCodes = c.FixedCodes;
    victim.Descriptor = TDescriptor::Signed;
    b.Add(victim);
    b.AddStored("filler.bin", TestBytes(2000, 22));
    b.AddStored("after.txt", "after");
    std::string zip = b.Finish();
    const TBuiltEntry& v = b.Built()[0];
    if (c.FixedCodes) {
        ASSERT_EQ(zip[static_cast<size_t>(v.DataStart)] & 7, 3) << "not one final fixed block";
    } else {
        ASSERT_NE(zip[static_cast<size_t>(v.DataEnd - 1)], 0) << "ends on a zero byte";
    }

    int64_t from = v.*c.Anchor + c.Offset;
    if (c.Length == 0) {
        zip.resize(static_cast<size_t>(from));
    } else {
        std::fill(zip.begin() + from, zip.begin() + from + c.Length, '\0');
        if (!c.KeepDirectory)
            zip.resize(static_cast<size_t>(b.Built()[2].RecordEnd));
    }

    auto run = Scan(zip);
    ASSERT_FALSE(run->Engine->Entries().empty());
    const TFileInfo& e = run->Engine->Entries()[0];
    EXPECT_EQ(e.Status, c.Status);
    EXPECT_EQ(e.SizeSource, c.Source);
    EXPECT_NE(e.Crc32, 0u) << "the CRC of no data at all";

    TMemoryInput input(zip);
    TCheckResult check = CheckEntry(input, e);
    EXPECT_EQ(check.Outcome, c.Check);
    if (c.Check == TCheckOutcome::NotChecked) {
        EXPECT_EQ(check.Reason, TNotCheckedReason::ComputedCrc);
    }

    auto repaired = ReadArchive(Repair(zip));
    ASSERT_FALSE(repaired.Entries.empty());
    ASSERT_EQ(repaired.Entries[0].Name, "victim.txt");
    if (c.Written == TReadBack::Whole)
        EXPECT_EQ(Extract(repaired.Entries[0]), content);
    else
        EXPECT_THROW(Extract(repaired.Entries[0]), std::runtime_error);
}

INSTANTIATE_TEST_SUITE_P(Damage, LostDescriptor, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace

// A method number the format does not define (a writer's own, such as a
// symbolic link stored as method 200) is an entry when a writer's name
// follows; the same header over bytes that are no name is not.
TEST(LostDescriptor, EntryOfAnUnknownMethodIsKeptBehindAPlainName) {
    TZipBuilder b;
    b.AddStored("link", "target/file");
    b.AddStored("next.txt", "next");
    std::string zip = b.Finish();
    zip[8] = '\xC8'; // method 200, in the local header
    auto run = Scan(zip);
    ASSERT_EQ(run->Engine->Entries().size(), 2u);
    EXPECT_EQ(run->Engine->Entries()[0].Found->Method, 200);
    EXPECT_EQ(Repair(zip).substr(8, 2), std::string("\xC8\x00", 2));

    std::string stray("PK\x03\x04\x14\x00\x00\x00\xC8\x00", 10);
    stray += std::string(16, '\x11') + std::string("\x04\x00\x00\x00\x01\x02\x03\x04", 8);
    EXPECT_TRUE(Scan(stray + std::string(64, '\x01'))->Engine->Entries().empty());
}
