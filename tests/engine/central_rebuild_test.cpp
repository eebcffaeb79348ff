// Entries whose local header was destroyed come back from the central
// directory header that survived, where their data decodes to what it
// records, and never from a header that is not this archive's.
#include "engine_test_util.h"
#include "entry_reasons.h"
#include "zip_builder.h"
#include "zip_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace tessary;
using namespace tessary::test;

namespace {

const std::string LocalTimes("UT\x09\x00\x03\x10\x20\x30\x40\x11\x21\x31\x41", 13);
const std::string CentralTimes("UT\x05\x00\x03\x10\x20\x30\x40", 9);

struct TArchive {
    std::string Zip;
    std::vector<TBuiltEntry> Built;
    std::map<std::string, std::string> Contents;
};

// one.txt stored, two.bin deflated, three.txt stored, as `shape` adjusts them.
TArchive Three(void (*shape)(std::vector<TZipEntry>&) = nullptr, const std::string& stub = "") {
    std::vector<TZipEntry> entries{{"one.txt", TestBytes(700, 1, true)},
                                   {"two.bin", TestBytes(9000, 2, true)},
                                   {"three.txt", TestBytes(300, 3)}};
    entries[1].Deflate = true;
    if (shape)
        shape(entries);
    TZipBuilder b;
    b.AddRaw(stub);
    TArchive a;
    for (const TZipEntry& e : entries) {
        b.Add(e);
        a.Contents[e.Name] = e.Data;
    }
    a.Zip = b.Finish();
    a.Built = b.Built();
    return a;
}

void ZeroHeader(TArchive& a, size_t i, size_t nameLength) {
    int64_t at = a.Built[i].HeaderOffset;
    std::fill_n(a.Zip.begin() + at, LocalHeaderSize + nameLength, '\0');
}

struct TRebuildCase {
    const char* Name;
    TArchive (*Damaged)();
    std::vector<std::string> Names; // of the repaired archive, in order
    size_t Rebuilt;
};

const TRebuildCase RebuildCases[] = {
    {"ZeroedHeaderStored",
     [] {
         TArchive a = Three();
         ZeroHeader(a, 0, 7);
         return a;
     },
     {"two.bin", "three.txt", "one.txt"},
     1},
    {"ZeroedHeaderDeflated",
     [] {
         TArchive a = Three();
         ZeroHeader(a, 1, 7);
         return a;
     },
     {"one.txt", "three.txt", "two.bin"},
     1},
    {"ZeroedHeadersBehindDescriptors",
     [] {
         TArchive a = Three([](std::vector<TZipEntry>& es) {
             for (TZipEntry& e : es)
                 e.Descriptor = TDescriptor::Signed;
         });
         ZeroHeader(a, 0, 7);
         ZeroHeader(a, 1, 7);
         return a;
     },
     {"three.txt", "one.txt", "two.bin"},
     2},
    {"BehindAStubEveryHeaderButOneZeroed",
     [] {
         TArchive a = Three(nullptr, std::string(1000, 'S'));
         ZeroHeader(a, 0, 7);
         ZeroHeader(a, 2, 9);
         return a;
     },
     {"two.bin", "one.txt", "three.txt"},
     2},
    {"EveryHeaderZeroed",
     [] {
         TArchive a = Three();
         ZeroHeader(a, 0, 7);
         ZeroHeader(a, 1, 7);
         ZeroHeader(a, 2, 9);
         return a;
     },
     {"one.txt", "two.bin", "three.txt"},
     3},
    {"DestroyedNameLength",
     [] {
         TArchive a = Three();
         a.Zip[a.Built[1].HeaderOffset + 26] = '\xFF';
         a.Zip[a.Built[1].HeaderOffset + 27] = '\xFF';
         return a;
     },
     {"one.txt", "three.txt", "two.bin"},
     1},
    {"HeaderPresentButLocalExtraDiffers",
     [] {
         TArchive a = Three([](std::vector<TZipEntry>& es) {
             es[1].Extra = LocalTimes;
             es[1].CentralExtra = CentralTimes;
         });
         std::fill_n(a.Zip.begin() + a.Built[1].HeaderOffset, 4, '\0'); // its signature only
         return a;
     },
     {"one.txt", "three.txt", "two.bin"},
     1},
    {"DataFailingItsCrcIsNotAdded",
     [] {
         TArchive a = Three();
         ZeroHeader(a, 1, 7);
         a.Zip[a.Built[1].DataStart + 100] ^= 0x55;
         return a;
     },
     {"one.txt", "three.txt"},
     0},
    {"HeaderInsideAnotherEntrysDataIsNotAdded",
     [] {
         // Stored where its offsets are the outer file's: its headers
         // name data that decodes as they say.
         constexpr size_t DataStart = LocalHeaderSize + 9;
         TArchive inner = Three(nullptr, std::string(DataStart, 'P'));
         ZeroHeader(inner, 1, 7);
         std::string stored = inner.Zip.substr(DataStart);
         TZipBuilder b;
         b.AddStored("inner.zip", stored);
         b.AddStored("after.txt", "after");
         TArchive a;
         a.Zip = b.Finish();
         a.Contents = {{"inner.zip", stored}, {"after.txt", "after"}};
         return a;
     },
     {"inner.zip", "after.txt"},
     0},
    {"HeaderInTheEndRecordsCommentIsNotAdded",
     [] {
         TArchive inner = Three();
         ZeroHeader(inner, 0, 7);
         TZipBuilder b;
         b.AddStored("own.txt", "own");
         TArchive a;
         a.Zip = b.Finish(inner.Zip.substr(0, 0xFFFF));
         a.Contents = {{"own.txt", "own"}};
         return a;
     },
     {"own.txt"},
     0},
};

class RebuildFromCentral : public ::testing::TestWithParam<TRebuildCase> {};

} // namespace

// Repair() also makes each repair in one pass and requires the same bytes.
TEST_P(RebuildFromCentral, LostLocalHeaderComesBackOnlyWhereItsDataProvesIt) {
    TArchive damaged = GetParam().Damaged();
    TReadArchive repaired = ReadArchive(Repair(damaged.Zip));
    std::vector<std::string> names;
    for (const TReadEntry& e : repaired.Entries) {
        names.push_back(e.Name);
        EXPECT_EQ(Extract(e), damaged.Contents[e.Name]) << e.Name;
        EXPECT_EQ(e.LocalFlags & FlagDataDescriptor, 0) << e.Name;
    }
    EXPECT_EQ(names, GetParam().Names);

    auto run = Scan(damaged.Zip);
    size_t rebuilt = 0;
    for (const TFileInfo& e : run->Engine->Entries()) {
        if (!(e.Reasons & ReasonRebuiltFromCentral))
            continue;
        ++rebuilt;
        char at[32];
        std::snprintf(at, sizeof at, "0x%llx", static_cast<unsigned long long>(e.Central->Offset));
        std::vector<std::string> reasons = EntryReasons(e, run->Engine->FileSize());
        EXPECT_EQ(reasons.front(),
                  std::string("local header destroyed; rebuilt from central header at ") + at);
    }
    EXPECT_EQ(rebuilt, GetParam().Rebuilt);
}

INSTANTIATE_TEST_SUITE_P(Cases, RebuildFromCentral, ::testing::ValuesIn(RebuildCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(RebuildFromCentralExtra, LocalExtraFieldIsKeptWhereItSurvived) {
    TArchive a = Three([](std::vector<TZipEntry>& es) {
        es[1].Extra = LocalTimes;
        es[1].CentralExtra = CentralTimes;
    });
    ZeroHeader(a, 1, 7); // the extra field behind the name survives
    TReadArchive repaired = ReadArchive(Repair(a.Zip));
    ASSERT_EQ(repaired.Entries.size(), 3u);
    EXPECT_EQ(repaired.Entries[2].LocalExtra, LocalTimes);
    EXPECT_EQ(repaired.Entries[2].CentralExtra, CentralTimes);
    EXPECT_EQ(Extract(repaired.Entries[2]), a.Contents["two.bin"]);
}
