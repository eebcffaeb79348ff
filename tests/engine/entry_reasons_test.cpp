// Why an entry was written as it was: each conclusion that differs from what
// its local header says comes with its reason, and what a salvaged entry is
// written with still carries what its central header gave.
#include "engine_test_util.h"
#include "entry_reasons.h"
#include "zip_builder.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tessary;
using namespace tessary::test;

namespace {

struct TReasonCase {
    const char* Name;
    std::string (*Damage)(TZipBuilder& b); // returns the damaged file
    std::vector<std::string> Reasons;      // of the first entry, each the start of one
};

TZipEntry Streamed(const std::string& name) {
    TZipEntry e{name, TestBytes(3000, 7, true)};
    e.Deflate = true;
    e.Descriptor = TDescriptor::Signed;
    return e;
}

const std::string TimeBlock("UT\x05\x00\x01\x10\x20\x30\x40", 9);

// A whole block, then a header whose length (14,199) runs past the field.
std::string MalformedExtra() {
    return TimeBlock + std::string("\x01\xCA\x77\x37", 4);
}

const TReasonCase Cases[] = {
    {"DescriptorGivesTheSizes",
     [](TZipBuilder& b) {
         b.Add(Streamed("a.txt"));
         return b.Bytes();
     },
     {"sizes from data descriptor at 0x"}},
    {"CentralHeaderGivesModes",
     [](TZipBuilder& b) {
         b.AddStored("a.txt", "a");
         return b.Finish();
     },
     {"modes and made-by from central header at 0x"}},
    {"ClaimPastTheEndIsCutAtTheNextHeader",
     [](TZipBuilder& b) {
         b.AddStored("a.txt", "aaaa");
         b.AddStored("b.txt", "b");
         std::string zip = b.Bytes();
         zip[21] = '\x40'; // claims 64 MiB
         return zip;
     },
     {"claimed size runs past the end of the file: size from the next header at 0x",
      "cut off at end of file"}},
    {"FalseUtf8FlagIsDropped",
     [](TZipBuilder& b) {
         TZipEntry e{"caf\xE9.txt", "x"};
         e.Flags = FlagUtf8Name;
         b.Add(e);
         return b.Bytes();
     },
     {"name not valid UTF-8: written without the UTF-8 flag"}},
    {"MalformedExtraTailIsDropped",
     [](TZipBuilder& b) {
         TZipEntry e{"a.txt", "a"};
         e.Extra = MalformedExtra();
         b.Add(e);
         return b.Bytes();
     },
     {"extra field: a malformed tail of 4 bytes dropped"}},
    {"LostDescriptorIsCutAtTheEndOfTheFile",
     [](TZipBuilder& b) {
         b.Add(Streamed("a.txt"));
         return b.Bytes().substr(0, static_cast<size_t>(b.Built()[0].DataEnd - 10));
     },
     {"descriptor lost: size and CRC unknown, data up to the end of the file"}},
};

class EntryReasons : public ::testing::TestWithParam<TReasonCase> {};

TEST_P(EntryReasons, SayWhereEveryConclusionCameFrom) {
    TZipBuilder b;
    std::string zip = GetParam().Damage(b);
    auto run = Scan(zip);
    ASSERT_FALSE(run->Engine->Entries().empty());
    std::vector<std::string> reasons =
        tessary::EntryReasons(run->Engine->Entries()[0], static_cast<int64_t>(zip.size()));
    ASSERT_EQ(reasons.size(), GetParam().Reasons.size()) << ::testing::PrintToString(reasons);
    for (size_t i = 0; i < reasons.size(); ++i)
        EXPECT_EQ(reasons[i].rfind(GetParam().Reasons[i], 0), 0u) << reasons[i];
}

INSTANTIATE_TEST_SUITE_P(Cases, EntryReasons, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace

// Strict readers refuse the whole archive over one malformed extra field:
// only its whole blocks are written, in both headers.
TEST(EntryPlans, OnlyWholeExtraBlocksAreWritten) {
    TZipBuilder b;
    TZipEntry e{"a.txt", "a"};
    e.Extra = MalformedExtra();
    e.CentralExtra = MalformedExtra();
    b.Add(e);
    auto a = ReadArchive(Repair(b.Finish()));
    ASSERT_EQ(a.Entries.size(), 1u);
    EXPECT_EQ(a.Entries[0].LocalExtra, TimeBlock);
    EXPECT_EQ(a.Entries[0].CentralExtra, TimeBlock);
}

// A salvaged entry is another plan for the same entry, not another record:
// its comment and modes from the central header stay.
TEST(EntryPlans, SalvagedEntryKeepsWhatItsCentralHeaderGave) {
    TZipBuilder b;
    TZipEntry e{"cut.bin", TestBytes(5000, 8)};
    e.Comment = "kept";
    e.ExternalAttributes = 0100640u << 16;
    b.Add(e);
    std::string zip = b.Finish();
    auto run = Scan(zip);
    ASSERT_EQ(run->Engine->Entries().size(), 1u);
    run->Engine->GetRecovered("out.zip", [](size_t) {
        return TEntryPlan{TEntryPlan::Salvage, Crc32Of(TestBytes(5000, 8).substr(0, 100)), 100};
    });
    auto a = ReadArchive(run->Fs->Files.at("out.zip"));
    ASSERT_EQ(a.Entries.size(), 1u);
    EXPECT_EQ(a.Entries[0].Comment, "kept");
    EXPECT_EQ(a.Entries[0].ExternalAttributes, 0100640u << 16);
    EXPECT_EQ(Extract(a.Entries[0]), TestBytes(5000, 8).substr(0, 100));
}

// A single large entry is copied in slices, with progress between them.
TEST(EntryPlans, ProgressMovesInsideOneLargeEntry) {
    TZipBuilder b;
    b.AddStored("large.bin", std::string(33 << 20, 'L'));
    std::string zip = b.Finish();
    for (bool onePass : {false, true}) {
        auto run = Scan(zip, 1 << 20, !onePass);
        size_t before = run->Reports.size();
        if (onePass)
            run->Engine->ScanAndRecover("out.zip");
        else
            run->Engine->GetRecovered("out.zip");
        std::vector<int32_t> inside;
        for (size_t i = before; i < run->Reports.size(); ++i)
            if (run->Reports[i].first > 0 && run->Reports[i].first < 100)
                inside.push_back(run->Reports[i].first);
        EXPECT_GE(inside.size(), 2u) << (onePass ? "one pass" : "rebuild");
        EXPECT_TRUE(std::is_sorted(inside.begin(), inside.end()));
    }
}
