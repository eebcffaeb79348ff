// Finding and grading local headers.
#include "engine_error.h"
#include "engine_test_util.h"
#include "zip_builder.h"

#include <gtest/gtest.h>

using namespace tessary;
using namespace tessary::test;

namespace {

std::string ThreeEntryArchive(TZipBuilder& b) {
    b.AddStored("a.txt", "alpha");
    b.AddDeflated("dir/b.txt", TestBytes(5000, 1, true));
    b.AddStored("dir/", "");
    return b.Finish();
}

} // namespace

TEST(ScanHeaders, IntactArchiveGivesOneEntryPerLocalHeaderAndNoneForTheDirectory) {
    TZipBuilder b;
    std::string zip = ThreeEntryArchive(b);
    auto run = Scan(zip);
    const auto& entries = run->Engine->Entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].HeaderOffset(), 0);
    EXPECT_EQ(entries[1].HeaderOffset(), b.Built()[1].HeaderOffset);
    for (const auto& e : entries)
        EXPECT_EQ(e.Status, StatusExcellent) << e.Name();
    ASSERT_EQ(run->Engine->FView.size(), 3u);
    EXPECT_EQ(run->Engine->FView[1].Name, "dir/b.txt");
    EXPECT_EQ(run->Engine->FView[1].Size, 5000);
}

TEST(ScanHeaders, FileWithoutSignaturesOrEmptyYieldsNothing) {
    auto run = Scan(TestBytes(10000, 3));
    EXPECT_TRUE(run->Engine->FView.empty());
    ASSERT_FALSE(run->Reports.empty());
    EXPECT_EQ(run->Reports.back().second, "0");

    auto empty = Scan("");
    EXPECT_TRUE(empty->Engine->FView.empty());
    EXPECT_TRUE(empty->Reports.empty()) << "an empty file makes no progress call";
    EXPECT_EQ(Repair(""), "") << "nothing found: no file is created";
}

TEST(ScanHeaders, StoredZipInsideAnIntactEntryIsNotExplodedButADamagedOneStillYieldsItsEntries) {
    TZipBuilder inner;
    inner.AddStored("a.txt", "inner a");
    inner.AddStored("inner2.txt", "two");
    std::string innerZip = inner.Finish();
    TZipBuilder outer;
    outer.AddStored("nested.zip", innerZip);
    outer.AddStored("a.txt", "outer a");
    std::string zip = outer.Finish();
    auto run = Scan(zip);
    const auto& e = run->Engine->Entries();
    ASSERT_EQ(e.size(), 2u) << "the outer entry's extent ends on the next header";
    EXPECT_EQ(e[0].CompressedSize, static_cast<int64_t>(innerZip.size()));
    EXPECT_EQ(e[1].Name(), "a.txt");
    auto repaired = ReadArchive(Repair(zip));
    ASSERT_EQ(repaired.Entries.size(), 2u);
    EXPECT_EQ(Extract(repaired.Entries[1]), "outer a");

    // The outer entry's size is damaged: its extent no longer checks out,
    // and what lies inside is all that can be saved.
    std::string damaged = zip;
    damaged[18] = '\x01';
    auto d = Scan(damaged);
    ASSERT_EQ(d->Engine->Entries().size(), 4u);
    EXPECT_EQ(d->Engine->Entries()[1].Name(), "a.txt");
    EXPECT_EQ(d->Engine->Entries()[2].Name(), "inner2.txt");
}

// Overlapping claims copy the same bytes many times; the repair refuses
// rather than write many times the damaged file's size.
TEST(ScanHeaders, HeadersClaimingOverlappingDataCannotMakeTheRepairFillTheDisk) {
    std::string hostile(1 << 20, '\0');
    for (int i = 0; i < 300; ++i) {
        std::string h("PK\x03\x04\x0A\x00\x00\x00\x00\x00", 10);
        h += std::string(8, '\0');
        h += std::string("\xA0\xBB\x0D\x00\xA0\xBB\x0D\x00\x01\x00\x00\x00", 12); // 900,000
        h += "n";
        hostile.replace(static_cast<size_t>(i) * 3000, h.size(), h);
    }
    auto run = Scan(hostile);
    EXPECT_THROW(run->Engine->GetRecovered("out.zip"), EArcsalveError);
    EXPECT_EQ(run->Fs->Files.count("out.zip"), 0u) << "nothing is left behind";
}

TEST(ScanHeaders, NameCharactersDecideStatusGood) {
    struct Case {
        std::string name;
        int status;
    } cases[] = {{"ok/name?.txt", StatusExcellent},
                 {"back\\slash", StatusName},
                 {"c:colon", StatusName},
                 {"star*", StatusName},
                 {"quote\"", StatusName},
                 {"lt<", StatusName},
                 {"gt>", StatusName},
                 {"bar|", StatusName},
                 {std::string("tab\tx"), StatusName}};
    for (const auto& c : cases) {
        TZipBuilder b;
        b.AddStored(c.name, "data");
        auto run = Scan(b.Finish());
        ASSERT_EQ(run->Engine->FView.size(), 1u);
        EXPECT_EQ(run->Engine->FView[0].Status, c.status) << c.name;
    }
}

TEST(ScanHeaders, NameOver300BytesKeepsAllItsBytesAndItsDataIntact) {
    std::string longName = std::string(400, 'n') + ".txt";
    std::string data = TestBytes(3000, 9, true);
    TZipBuilder b;
    b.AddDeflated(longName, data);
    b.AddStored("next.txt", "next");
    std::string zip = b.Finish();
    auto run = Scan(zip);
    ASSERT_EQ(run->Engine->FView.size(), 2u);
    EXPECT_EQ(run->Engine->FView[0].Status, StatusName);
    EXPECT_EQ(run->Engine->FView[0].Name, longName);

    auto repaired = ReadArchive(Repair(zip));
    ASSERT_EQ(repaired.Entries.size(), 2u);
    EXPECT_EQ(repaired.Entries[0].Name, longName);
    EXPECT_EQ(repaired.Entries[0].LocalName, longName);
    EXPECT_EQ(Extract(repaired.Entries[0]), data);
}

TEST(ScanHeaders, SignatureWithImpossibleFieldsIsNotAnEntry) {
    TZipBuilder b;
    // A self-extractor stub holding stray signatures: an undefined method and
    // a version above 6.3.
    std::string stub = "MZ stub PK\x03\x04\x14\x00\x00\x00\xC8\x00" + std::string(40, 'x');
    stub += std::string("PK\x03\x04\x50\x00\x00\x00\x08\x00", 10) + std::string(40, 'y');
    b.AddRaw(stub);
    b.AddStored("real.txt", "real");
    auto run = Scan(b.Finish());
    ASSERT_EQ(run->Engine->FView.size(), 1u);
    EXPECT_EQ(run->Engine->FView[0].Name, "real.txt");
}

TEST(ScanHeaders, HeaderWhoseNameWouldSwallowAnotherHeaderIsNotAccepted) {
    TZipBuilder b;
    b.AddStored("first.txt", "first");
    b.AddStored("second.txt", "second");
    b.AddStored("third.txt", "third");
    std::string zip = b.Finish();
    // Corrupt the first header's name length so its name would run over the
    // second and third headers. Its entry comes back from the directory,
    // behind the others.
    zip[26] = '\x00';
    zip[27] = '\x10';
    auto run = Scan(zip);
    ASSERT_EQ(run->Engine->FView.size(), 3u);
    EXPECT_EQ(run->Engine->FView[0].Name, "second.txt");
    EXPECT_EQ(run->Engine->FView[1].Name, "third.txt");
    EXPECT_EQ(run->Engine->FView[2].Name, "first.txt");
    EXPECT_TRUE(run->Engine->Entries()[2].Reasons & ReasonRebuiltFromCentral);
}

TEST(ScanHeaders, HeaderWhoseFixedPartRunsPastTheEndIsNotAnEntry) {
    TZipBuilder b;
    b.AddStored("a.txt", "alpha");
    std::string zip = b.Bytes() + std::string("PK\x03\x04\x14\x00\x00\x00", 8);
    auto run = Scan(zip);
    ASSERT_EQ(run->Engine->FView.size(), 1u);
}

TEST(ScanHeaders, TruncatedLastEntryKeepsItsClaimedSizeAndIsAverage) {
    TZipBuilder b;
    b.AddStored("a.txt", "alpha");
    b.AddStored("big.bin", TestBytes(4000, 2));
    std::string zip = b.Bytes().substr(0, b.Built()[1].DataStart + 1000);
    auto run = Scan(zip);
    const auto& e = run->Engine->Entries();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].Status, StatusExcellent);
    EXPECT_EQ(e[1].Status, StatusExtent);
    EXPECT_EQ(e[1].CompressedSize, 4000);
}

// Where the last entry ends decides its grade and what is written of it.
TEST(ScanHeaders, LastEntryGradeAndLengthFollowWhereItsDataReallyEnds) {
    struct Case {
        const char* name;
        int cutFromEnd;   // bytes of the entry's data cut off
        bool extra;       // its header has an extra field
        bool damagedSize; // its compressed size says 0xFFFFFFF0
        int status;
        uint64_t written; // compressed bytes written; 0: not looked at
    } cases[] = {
        {"EndsExactlyAtTheEndOfTheFile", 0, false, false, StatusExcellent, 2000},
        {"CutShortWithAnExtraField", 10, true, false, StatusExtent, 0},
        {"DamagedSizeEndsAtTheDirectoryBehindIt", 0, false, true, StatusExtent, 2000},
    };
    for (const auto& c : cases) {
        TZipEntry last{"last.bin", TestBytes(2000, 6)};
        if (c.extra)
            last.Extra = std::string("\x55\x54\x05\x00\x01\x00\x00\x00\x00", 9);
        TZipBuilder b;
        b.Add(last);
        std::string zip = c.damagedSize ? b.Finish() : b.Bytes();
        zip = zip.substr(0, zip.size() - (c.damagedSize ? 0 : static_cast<size_t>(c.cutFromEnd)));
        if (c.damagedSize)
            zip.replace(18, 4, "\xF0\xFF\xFF\xFF");
        auto run = Scan(zip);
        ASSERT_EQ(run->Engine->Entries().size(), 1u) << c.name;
        EXPECT_EQ(run->Engine->Entries()[0].Status, c.status) << c.name;
        auto repaired = ReadArchive(Repair(zip));
        ASSERT_EQ(repaired.Entries.size(), 1u) << c.name;
        if (c.written) {
            EXPECT_EQ(repaired.Entries[0].CompressedSize, c.written) << c.name;
        }
    }
}

TEST(ScanHeaders, SingleEntryExactlyAsLongAsTheFileIsCopiedWhole) {
    TZipBuilder b;
    std::string data = TestBytes(2000, 5);
    b.AddStored("only.bin", data);
    auto repaired = ReadArchive(Repair(b.Bytes()));
    ASSERT_EQ(repaired.Entries.size(), 1u);
    EXPECT_EQ(Extract(repaired.Entries[0]), data);
}

TEST(ScanHeaders, OverlongClaimIsCorrectedFromTheNextHeaderKeepingTheExtraField) {
    TZipBuilder b;
    TZipEntry first{"first.bin", TestBytes(1000, 4)};
    first.Extra = std::string("\x55\x54\x05\x00\x01\x00\x00\x00\x00", 9); // a timestamp block
    b.Add(first);
    b.AddStored("second.txt", "second");
    std::string zip = b.Finish();
    // The first entry claims more than the whole file.
    zip[18] = zip[19] = zip[20] = '\x00';
    zip[21] = '\x7F';
    auto run = Scan(zip);
    const auto& e = run->Engine->Entries();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].CompressedSize, 1000);
    EXPECT_EQ(e[0].ExtraLength(), 9);
    auto repaired = ReadArchive(Repair(zip));
    EXPECT_EQ(Extract(repaired.Entries[0]), first.Data);
}

TEST(ScanHeaders, DirectoryAttributeOnlyForEmptyEntriesNamedLikeFolders) {
    TZipBuilder b;
    b.AddStored("folder/", "");
    b.AddStored("empty.txt", "");
    TZipEntry streamed{"streamed.txt", "data"};
    streamed.Descriptor = TDescriptor::Signed;
    b.Add(streamed);
    auto repaired = ReadArchive(Repair(b.Finish()));
    ASSERT_EQ(repaired.Entries.size(), 3u);
    EXPECT_EQ(repaired.Entries[0].ExternalAttributes, 0x10u);
    EXPECT_EQ(repaired.Entries[1].ExternalAttributes, 0u);
    EXPECT_EQ(repaired.Entries[2].ExternalAttributes, 0u);
}

TEST(ScanHeaders, StopKeepsTheEntriesFoundSoFarAndStillMakesTheFinalReport) {
    TZipBuilder b;
    for (int i = 0; i < 50; ++i)
        b.AddStored("f" + std::to_string(i), TestBytes(100, i));
    auto run = std::make_unique<TRun>();
    std::string zip = b.Finish();
    run = Scan(zip, 1000); // many blocks; reports every block
    size_t all = run->Engine->FView.size();
    ASSERT_EQ(all, 50u);

    TArcsalveOptions options;
    auto clock = std::make_shared<uint32_t>(0);
    options.TickCount = [clock] { return *clock += 1000; };
    options.BufferSize = 1000;
    int calls = 0;
    std::string last;
    TArcsalve engine(
        std::make_unique<TMemoryInput>(zip),
        [&](int32_t, const char* text) {
            last = text;
            return ++calls < 2;
        },
        options);
    engine.BeginScanFile();
    EXPECT_GT(engine.FView.size(), 0u);
    EXPECT_LT(engine.FView.size(), all);
    EXPECT_EQ(calls, 3) << "two paced reports, then the final one";
    EXPECT_EQ(last, std::to_string(engine.FView.size()));
}

TEST(ScanHeaders, BackToBackHeadersStopBeingKeptAtTheEntryLimit) {
    // A hostile file of minimal headers: every 31 bytes another entry.
    std::string hostile;
    for (int i = 0; i < 1000; ++i)
        hostile += std::string("PK\x03\x04\x0A\x00\x00\x00\x00\x00", 10) + std::string(16, '\0') +
                   std::string("\x01\x00\x00\x00", 4) + "a";
    TArcsalveOptions options;
    options.MaxEntries = 100;
    TArcsalve engine(std::make_unique<TMemoryInput>(hostile), nullptr, options);
    engine.BeginScanFile();
    EXPECT_EQ(engine.FView.size(), 100u);
    EXPECT_EQ(engine.DroppedEntries(), 900u);
}

namespace {

// Bytes that hold a local header signature with possible fields and a
// one-byte name, as an APK's signing block or an archive's comment can.
std::string StrayHeader() {
    return std::string("PK\x03\x04\x14\x00\x00\x00\x00\x00", 10) + std::string(16, '\0') +
           std::string("\x01\x00\x00\x00", 4) + "x";
}

std::string SigningBlock() {
    std::string pairs = std::string("\x2A\x00\x00\x00\x00\x00\x00\x00", 8) +
                        std::string("\x1A\x87\x09\x71", 4) + StrayHeader() + StrayHeader() +
                        std::string(4, 'v');
    std::string size;
    for (uint64_t n = pairs.size() + 8 + 16, i = 0; i < 8; ++i, n >>= 8)
        size.push_back(static_cast<char>(n & 0xFF));
    return size + pairs + size + "APK Sig Block 42";
}

struct TNotEntryCase {
    const char* Name;
    std::string (*Make)();
};

const TNotEntryCase NotEntryCases[] = {
    {"ApkSigningBlock",
     [] {
         TZipBuilder b;
         b.AddStored("classes.dex", "dex");
         b.AddDeflated("res/a.xml", TestBytes(3000, 5, true));
         b.AddRaw(SigningBlock());
         return b.Finish();
     }},
    {"ArchiveInTheComment",
     [] {
         TZipBuilder inner;
         inner.AddStored("inner.txt", "inner");
         TZipBuilder b;
         b.AddStored("classes.dex", "dex");
         b.AddDeflated("res/a.xml", TestBytes(3000, 5, true));
         return b.Finish(inner.Finish() + StrayHeader());
     }},
    {"SignatureBeforeZeros",
     [] {
         TZipBuilder b;
         b.AddStored("classes.dex", "dex");
         b.AddRaw(std::string("PK\x03\x04", 4) + std::string(26, '\0'));
         b.AddDeflated("res/a.xml", TestBytes(3000, 5, true));
         return b.Finish();
     }},
};

class NotEntries : public ::testing::TestWithParam<TNotEntryCase> {};

// The central directory accounts for the archive's entries: headers in the
// space it does not describe as entries are no entries.
TEST_P(NotEntries, HeadersOutsideTheArchivesOwnRecordsAddNoEntry) {
    std::string zip = GetParam().Make();
    auto a = ReadArchive(Repair(zip));
    ASSERT_EQ(a.Entries.size(), 2u);
    EXPECT_EQ(a.Entries[0].Name, "classes.dex");
    EXPECT_EQ(Extract(a.Entries[1]), TestBytes(3000, 5, true));
}

INSTANTIATE_TEST_SUITE_P(Cases, NotEntries, ::testing::ValuesIn(NotEntryCases),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
