// Entries whose local header was destroyed come back from the central
// directory header that survived, where their data decodes to what it
// records, and never from a header that is not this archive's.
#include "engine_test_util.h"
#include "entry_reasons.h"
#include "zip_builder.h"
#include "zip_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
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

// How Three() writes its entries.
struct TShape {
    bool Descriptors = false; // every entry behind a signed data descriptor
    size_t Stub = 0;          // bytes in front of the archive
    bool Times = false;       // two.bin with a local and a central extended timestamp
};

const char* const ThreeNames[] = {"one.txt", "two.bin", "three.txt"};

// one.txt stored, two.bin deflated, three.txt stored.
TArchive Three(const TShape& shape = {}) {
    std::vector<TZipEntry> entries{{ThreeNames[0], TestBytes(700, 1, true)},
                                   {ThreeNames[1], TestBytes(9000, 2, true)},
                                   {ThreeNames[2], TestBytes(300, 3)}};
    entries[1].Deflate = true;
    for (TZipEntry& e : entries)
        if (shape.Descriptors)
            e.Descriptor = TDescriptor::Signed;
    if (shape.Times) {
        entries[1].Extra = LocalTimes;
        entries[1].CentralExtra = CentralTimes;
    }
    TZipBuilder b;
    b.AddRaw(std::string(shape.Stub, 'S'));
    TArchive a;
    for (const TZipEntry& e : entries) {
        b.Add(e);
        a.Contents[e.Name] = e.Data;
    }
    a.Zip = b.Finish();
    a.Built = b.Built();
    return a;
}

// The fixed fields and the name of entry `i`'s local header.
void ZeroHeader(TArchive& a, size_t i) {
    std::fill_n(a.Zip.begin() + a.Built[i].HeaderOffset,
                LocalHeaderSize + std::strlen(ThreeNames[i]), '\0');
}

struct TRebuildCase {
    const char* Name;
    std::vector<size_t> Zeroed;     // entries of Three() whose local header is zeroed
    std::vector<std::string> Names; // of the repaired archive, in order
    size_t Rebuilt;
    TShape Shape = {};
    void (*Damage)(TArchive&) = nullptr; // further damage, or another archive in its place
};

const TRebuildCase RebuildCases[] = {
    {"ZeroedHeaderStored", {0}, {"two.bin", "three.txt", "one.txt"}, 1},
    {"ZeroedHeaderDeflated", {1}, {"one.txt", "three.txt", "two.bin"}, 1},
    {"ZeroedHeadersBehindDescriptors",
     {0, 1},
     {"three.txt", "one.txt", "two.bin"},
     2,
     {.Descriptors = true}},
    {"BehindAStubEveryHeaderButOneZeroed",
     {0, 2},
     {"two.bin", "one.txt", "three.txt"},
     2,
     {.Stub = 1000}},
    {"EveryHeaderZeroed", {0, 1, 2}, {"one.txt", "two.bin", "three.txt"}, 3},
    // The extra field behind the name survives and is kept.
    {"LocalExtraFieldIsKeptWhereItSurvived",
     {1},
     {"one.txt", "three.txt", "two.bin"},
     1,
     {.Times = true}},
    {"DestroyedNameLength",
     {},
     {"one.txt", "three.txt", "two.bin"},
     1,
     {},
     [](TArchive& a) {
         a.Zip[a.Built[1].HeaderOffset + 26] = '\xFF';
         a.Zip[a.Built[1].HeaderOffset + 27] = '\xFF';
     }},
    {"HeaderPresentButLocalExtraDiffers",
     {},
     {"one.txt", "three.txt", "two.bin"},
     1,
     {.Times = true},
     [](TArchive& a) { std::fill_n(a.Zip.begin() + a.Built[1].HeaderOffset, 4, '\0'); }},
    {"DataFailingItsCrcIsNotAdded",
     {1},
     {"one.txt", "three.txt"},
     0,
     {},
     [](TArchive& a) { a.Zip[a.Built[1].DataStart + 100] ^= 0x55; }},
    {"HeaderInsideAnotherEntrysDataIsNotAdded",
     {},
     {"inner.zip", "after.txt"},
     0,
     {},
     [](TArchive& a) {
         // Stored where its offsets are the outer file's: its headers
         // name data that decodes as they say.
         constexpr size_t DataStart = LocalHeaderSize + 9;
         TArchive inner = Three({.Stub = DataStart});
         ZeroHeader(inner, 1);
         std::string stored = inner.Zip.substr(DataStart);
         TZipBuilder b;
         b.AddStored("inner.zip", stored);
         b.AddStored("after.txt", "after");
         a = {b.Finish(), {}, {{"inner.zip", stored}, {"after.txt", "after"}}};
     }},
    {"HeaderInTheEndRecordsCommentIsNotAdded",
     {},
     {"own.txt"},
     0,
     {},
     [](TArchive& a) {
         TArchive inner = Three();
         ZeroHeader(inner, 0);
         TZipBuilder b;
         b.AddStored("own.txt", "own");
         a = {b.Finish(inner.Zip.substr(0, 0xFFFF)), {}, {{"own.txt", "own"}}};
     }},
};

class RebuildFromCentral : public ::testing::TestWithParam<TRebuildCase> {};

} // namespace

// Repair() also makes each repair in one pass and requires the same bytes.
TEST_P(RebuildFromCentral, LostLocalHeaderComesBackOnlyWhereItsDataProvesIt) {
    const TRebuildCase& row = GetParam();
    TArchive damaged = Three(row.Shape);
    for (size_t i : row.Zeroed)
        ZeroHeader(damaged, i);
    if (row.Damage)
        row.Damage(damaged);
    TReadArchive repaired = ReadArchive(Repair(damaged.Zip));
    std::vector<std::string> names;
    for (const TReadEntry& e : repaired.Entries) {
        names.push_back(e.Name);
        EXPECT_EQ(Extract(e), damaged.Contents[e.Name]) << e.Name;
        EXPECT_EQ(e.LocalFlags & FlagDataDescriptor, 0) << e.Name;
        if (row.Shape.Times && e.Name == "two.bin") {
            EXPECT_EQ(e.LocalExtra, LocalTimes);
            EXPECT_EQ(e.CentralExtra, CentralTimes);
        }
    }
    EXPECT_EQ(names, row.Names);

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
    EXPECT_EQ(rebuilt, row.Rebuilt);
}

INSTANTIATE_TEST_SUITE_P(Cases, RebuildFromCentral, ::testing::ValuesIn(RebuildCases),
                         [](const auto& info) { return std::string(info.param.Name); });
