// The check of every entry on a worker pool, and the rebuild's plan for an
// entry whose check failed: left out, or salvaged as stored data.
#include "engine_test_util.h"
#include "entry_check.h"
#include "zip_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tessary;
using namespace tessary::test;

namespace {

// An archive of many entries, every third one with a flipped data byte (a
// CRC error in stored data or in a deflated stream that still decodes, a
// data error in one that does not); `damaged` says which.
std::string ArchiveWithSomeDamage(size_t count, std::vector<bool>& damaged) {
    TZipBuilder b;
    for (size_t i = 0; i < count; ++i) {
        std::string data = TestBytes(3000 + i * 37, static_cast<uint32_t>(i), true);
        if (i % 2)
            b.AddDeflated("d" + std::to_string(i), data);
        else
            b.AddStored("s" + std::to_string(i), data);
    }
    std::string zip = b.Finish();
    damaged.assign(count, false);
    for (size_t i = 0; i < count; i += 3) {
        zip[static_cast<size_t>(b.Built()[i].DataStart + 100)] ^= 0x10;
        damaged[i] = true;
    }
    return zip;
}

} // namespace

class ParallelCheckGivesEachEntryItsOwnResult : public ::testing::TestWithParam<unsigned> {};

// Results must land on the entry they belong to whatever the number of
// workers, and a look-ahead of one must neither stall nor skip an entry.
// Stopping midway must join the workers without waiting for the rest.
TEST_P(ParallelCheckGivesEachEntryItsOwnResult, InOrderForAnyWorkerCount) {
    std::vector<bool> damaged;
    const std::string zip = ArchiveWithSomeDamage(40, damaged);
    auto run = Scan(zip);
    ASSERT_EQ(run->Engine->Entries().size(), damaged.size());
    TMemoryInput input(zip);
    {
        TParallelCheck stopped(input, run->Engine->Entries(), GetParam(), 2);
        stopped.Wait(5);
    } // must return; entries beyond the look-ahead are never taken
    TParallelCheck check(input, run->Engine->Entries(), GetParam(), 1);
    for (size_t i = 0; i < damaged.size(); ++i) {
        const TCheckOutcome o = check.Wait(i).Outcome;
        if (damaged[i])
            EXPECT_TRUE(o == TCheckOutcome::CrcMismatch || o == TCheckOutcome::DataError)
                << "entry " << i << ": " << CheckOutcomeWord(o);
        else
            EXPECT_EQ(o, TCheckOutcome::Ok) << "entry " << i << ": " << CheckOutcomeWord(o);
    }
}

INSTANTIATE_TEST_SUITE_P(Workers, ParallelCheckGivesEachEntryItsOwnResult,
                         ::testing::Values(1u, 2u, 7u));

struct TCutCase {
    const char* Name;
    bool Deflate;
    bool ZeroTail; // the content's missing tail is zeros
    TCheckOutcome Outcome;
    bool Salvageable;
};

class CutEntryIsJudgedAsTheRepairedArchiveHoldsIt : public ::testing::TestWithParam<TCutCase> {};

// The rebuild writes a cut entry with the bytes that exist: it is cut off
// for the check too, even where its missing tail held nothing but zeros.
TEST_P(CutEntryIsJudgedAsTheRepairedArchiveHoldsIt, OutcomeAndSalvage) {
    const TCutCase& c = GetParam();
    std::string data = TestBytes(20000, 3, true);
    if (c.ZeroTail)
        data.replace(4000, std::string::npos, 16000, '\0');
    TZipBuilder b;
    // An entry in front makes the file longer than the cut one, which is
    // then taken at its word, not as implausibly long.
    b.AddStored("front", TestBytes(30000, 4));
    c.Deflate ? b.AddDeflated("big", data) : b.AddStored("big", data);
    std::string zip = b.Bytes().substr(0, static_cast<size_t>(b.Built()[1].DataStart + 6000));
    auto run = Scan(zip);
    ASSERT_EQ(run->Engine->Entries().size(), 2u);
    TMemoryInput input(zip);
    const TFileInfo& e = run->Engine->Entries()[1];
    TCheckResult r = CheckEntry(input, e);
    EXPECT_EQ(r.Outcome, c.Outcome);
    EXPECT_EQ(IsSalvageable(e, r), c.Salvageable);
}

INSTANTIATE_TEST_SUITE_P(
    Cuts, CutEntryIsJudgedAsTheRepairedArchiveHoldsIt,
    ::testing::Values(TCutCase{"StoredText", false, false, TCheckOutcome::Truncated, true},
                      TCutCase{"StoredZeroTail", false, true, TCheckOutcome::Truncated, true},
                      TCutCase{"Deflated", true, false, TCheckOutcome::Truncated, true}),
    [](const auto& info) { return std::string(info.param.Name); });

// The plan's two actions: a left-out entry is neither in the data nor in the
// directory; a salvaged one is a stored entry of the decoded prefix that
// reads back with its own CRC, under its own name, between the others.
TEST(RebuildPlan, LeftOutAndSalvagedEntriesMakeAConsistentArchive) {
    std::string big = TestBytes(300000, 9, true);
    TZipBuilder b;
    b.AddStored("first", "one");
    b.AddStored("dropped", "two");
    b.AddDeflated("cut", big);
    b.AddStored("last", "three");
    b.Finish();
    // The deflated entry's record and the one behind it swap places, and
    // the file ends half-way through the deflated stream.
    const TBuiltEntry& cut = b.Built()[2];
    const TBuiltEntry& last = b.Built()[3];
    std::string zip = b.Bytes().substr(0, static_cast<size_t>(cut.HeaderOffset)) +
                      b.Bytes().substr(static_cast<size_t>(last.HeaderOffset),
                                       static_cast<size_t>(last.RecordEnd - last.HeaderOffset)) +
                      b.Bytes().substr(static_cast<size_t>(cut.HeaderOffset),
                                       static_cast<size_t>((cut.DataEnd - cut.HeaderOffset) / 2));

    auto run = Scan(zip);
    ASSERT_EQ(run->Engine->Entries().size(), 4u);
    TMemoryInput input(zip);
    TCheckResult r = CheckEntry(input, run->Engine->Entries()[3]);
    ASSERT_TRUE(IsSalvageable(run->Engine->Entries()[3], r)) << CheckOutcomeWord(r.Outcome);
    ASSERT_GT(r.UncompressedSize, 0);
    run->Engine->GetRecovered("out.zip", [&](size_t i) {
        TEntryPlan p;
        if (i == 1)
            p.Action = TEntryPlan::LeaveOut;
        if (i == 3)
            p = TEntryPlan{TEntryPlan::Salvage, r.Crc32, r.UncompressedSize};
        return p;
    });
    auto a = ReadArchive(run->Fs->Files.at("out.zip"));
    ASSERT_EQ(a.Entries.size(), 3u);
    EXPECT_EQ(a.EndRecordCount, 3u);
    EXPECT_EQ(run->Engine->WrittenEntries(), 3u);
    EXPECT_EQ(a.Entries[0].Name, "first");
    EXPECT_EQ(Extract(a.Entries[1]), "three");
    EXPECT_EQ(a.Entries[2].Name, "cut");
    EXPECT_EQ(a.Entries[2].Method, 0);
    EXPECT_EQ(a.Entries[2].UncompressedSize, static_cast<uint64_t>(r.UncompressedSize));
    std::string salvaged = Extract(a.Entries[2]);
    EXPECT_EQ(salvaged, big.substr(0, salvaged.size()));
}
