// Entries that announce a data descriptor (flag bit 3).
#include "engine_test_util.h"
#include "zip_builder.h"

#include <gtest/gtest.h>

using namespace tessary;
using namespace tessary::test;

namespace {

TZipEntry Streamed(const std::string& name, const std::string& data, TDescriptor d,
                   bool deflate = true) {
    TZipEntry e{name, data};
    e.Deflate = deflate;
    e.Descriptor = d;
    return e;
}

void ExpectAllIntact(const std::string& repairedBytes, const std::vector<TZipEntry>& originals) {
    auto repaired = ReadArchive(repairedBytes);
    ASSERT_EQ(repaired.Entries.size(), originals.size());
    for (size_t i = 0; i < originals.size(); ++i) {
        EXPECT_EQ(repaired.Entries[i].Name, originals[i].Name);
        EXPECT_EQ(Extract(repaired.Entries[i]), originals[i].Data) << originals[i].Name;
    }
}

} // namespace

TEST(ScanDescriptors, SignedAndUnsignedDescriptorsGiveCrcAndSizes) {
    for (TDescriptor kind : {TDescriptor::Signed, TDescriptor::Unsigned}) {
        std::vector<TZipEntry> entries = {
            Streamed("one.txt", TestBytes(20000, 1, true), kind),
            Streamed("two.bin", TestBytes(3000, 2), kind, false),
            Streamed("three.txt", TestBytes(100, 3, true), kind),
        };
        TZipBuilder b;
        for (const auto& e : entries)
            b.Add(e);
        std::string zip = b.Finish();
        auto run = Scan(zip);
        ASSERT_EQ(run->Engine->FView.size(), 3u);
        for (const auto& v : run->Engine->FView)
            EXPECT_EQ(v.Status, StatusExcellent) << v.Name;
        EXPECT_EQ(run->Engine->FView[0].Size, 20000);
        ExpectAllIntact(Repair(zip), entries);
    }
}

TEST(ScanDescriptors, RewrittenHeaderDropsFlagBit3UnlessEncrypted) {
    TZipBuilder b;
    b.Add(Streamed("plain.txt", "plain text", TDescriptor::Signed));
    TZipEntry secret = Streamed("secret.bin", "pretend-encrypted", TDescriptor::Signed, false);
    secret.Flags = FlagEncrypted;
    b.Add(secret);
    std::string out = Repair(b.Finish());
    auto repaired = ReadArchive(out);
    ASSERT_EQ(repaired.Entries.size(), 2u);
    EXPECT_EQ(repaired.Entries[0].Flags & FlagDataDescriptor, 0);
    EXPECT_EQ(repaired.Entries[0].LocalFlags & FlagDataDescriptor, 0);
    EXPECT_EQ(repaired.Entries[1].Flags & FlagDataDescriptor, FlagDataDescriptor);
    EXPECT_EQ(repaired.Entries[1].Crc32, Crc32Of("pretend-encrypted"));
    // The encrypted entry's data is followed by a 16-byte signed descriptor.
    size_t after = repaired.Entries[1].HeaderOffset + 30 + 10 + 17;
    EXPECT_EQ(out.substr(after, 4), std::string("PK\x07\x08", 4));
}

TEST(ScanDescriptors, UnsignedDescriptorEntryDoesNotSwallowTheNextEntrysDescriptor) {
    // The first entry's descriptor has no signature; the second's has one. A
    // scan that took the first signature it met would give the first entry
    // the second's descriptor and hide the second entry.
    std::vector<TZipEntry> entries = {
        Streamed("unsigned.txt", TestBytes(5000, 4, true), TDescriptor::Unsigned),
        Streamed("signed.txt", TestBytes(6000, 5, true), TDescriptor::Signed),
        Streamed("last.txt", TestBytes(700, 6, true), TDescriptor::Unsigned),
    };
    TZipBuilder b;
    for (const auto& e : entries)
        b.Add(e);
    ExpectAllIntact(Repair(b.Finish()), entries);
}

TEST(ScanDescriptors, DescriptorEndingExactlyAtTheEndOfTheFileIsFound) {
    for (TDescriptor kind : {TDescriptor::Signed, TDescriptor::Unsigned}) {
        std::vector<TZipEntry> entries = {
            Streamed("a.txt", TestBytes(900, 7, true), kind),
            Streamed("tail.txt", TestBytes(1200, 8, true), kind),
        };
        TZipBuilder b;
        for (const auto& e : entries)
            b.Add(e);
        // The central directory is cut off: the last descriptor ends the file.
        auto run = Scan(b.Bytes());
        ASSERT_EQ(run->Engine->FView.size(), 2u);
        EXPECT_EQ(run->Engine->FView[1].Status, StatusExcellent);
        ExpectAllIntact(Repair(b.Bytes()), entries);
    }
}

TEST(ScanDescriptors, LostDescriptorOfAWholeDeflateStreamIsFoundByInflatingNotWrittenAsEmpty) {
    TZipBuilder b;
    std::string content = TestBytes(3000, 9, true);
    b.Add(Streamed("lost.txt", content, TDescriptor::Signed));
    b.AddStored("next.txt", "next");
    std::string zip = b.Finish();
    const auto& lost = b.Built()[0];
    // Destroy the descriptor: the stream's own end still tells the sizes and CRC.
    std::fill(zip.begin() + lost.DataEnd, zip.begin() + lost.RecordEnd, '\xEE');
    auto run = Scan(zip.substr(0, lost.RecordEnd + 40)); // directory gone too
    const auto& e = run->Engine->Entries();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].Status, StatusExcellent);
    EXPECT_EQ(e[0].CompressedSize, lost.DataEnd - lost.DataStart);
    EXPECT_EQ(e[0].UncompressedSize, 3000);
    EXPECT_EQ(e[1].Name(), "next.txt");
    auto repaired = ReadArchive(Repair(zip));
    ASSERT_EQ(repaired.Entries.size(), 2u);
    EXPECT_EQ(Extract(repaired.Entries[0]), content);

    // A stream cut short: status 3, its size unknown, and never written as 0.
    std::string cutDeflate = zip.substr(0, lost.DataEnd - 100);
    auto cd = Scan(cutDeflate);
    ASSERT_EQ(cd->Engine->Entries().size(), 1u);
    EXPECT_EQ(cd->Engine->Entries()[0].Status, StatusNoDescriptor);
    EXPECT_EQ(cd->Engine->Entries()[0].UncompressedSize, -1);
    auto written = ReadArchive(Repair(cutDeflate));
    ASSERT_EQ(written.Entries.size(), 1u);
    EXPECT_GT(written.Entries[0].UncompressedSize, 0u);

    // A stored entry's data is as long as its file.
    TZipBuilder stored;
    stored.Add(Streamed("lost.bin", TestBytes(3000, 9), TDescriptor::Signed, false));
    std::string cut = stored.Bytes().substr(0, stored.Built()[0].DataEnd - 100);
    auto s = Scan(cut);
    ASSERT_EQ(s->Engine->Entries().size(), 1u);
    EXPECT_EQ(s->Engine->Entries()[0].UncompressedSize, 2900);
}

TEST(ScanDescriptors, HeadersInsideAnEntryWithoutDescriptorAreStillFound) {
    TZipBuilder inner;
    inner.AddStored("inside.txt", "inside");
    TZipBuilder b;
    TZipEntry carrier = Streamed("carrier.zip", inner.Finish(), TDescriptor::Signed, false);
    b.Add(carrier);
    std::string zip = b.Bytes();
    // Break the carrier's descriptor: the search must go on from its data.
    zip[b.Built()[0].DataEnd] = 'X';
    auto run = Scan(zip);
    ASSERT_EQ(run->Engine->FView.size(), 2u);
    EXPECT_EQ(run->Engine->FView[1].Name, "inside.txt");
}

TEST(ScanDescriptors, ManyDescriptorEntriesScanInLinearTime) {
    // 20,000 entries with unsigned descriptors: a per-entry search of the rest
    // of the file would take minutes; this finishes in well under a second.
    TZipBuilder b;
    for (int i = 0; i < 20000; ++i)
        b.Add(Streamed("f" + std::to_string(i), "x" + std::to_string(i), TDescriptor::Unsigned,
                       false));
    auto run = Scan(b.Bytes());
    ASSERT_EQ(run->Engine->FView.size(), 20000u);
    for (const auto& v : run->Engine->FView)
        ASSERT_EQ(v.Status, StatusExcellent);
}

TEST(ScanDescriptors, OverlongClaimDoesNotOverruleAFoundDescriptor) {
    TZipBuilder b;
    b.Add(Streamed("a.bin", "hello world", TDescriptor::Signed, false));
    b.AddStored("b.bin", "hello world");
    std::string zip = b.Bytes();
    zip[21] = '\x01'; // the local header claims 16 MiB despite flag bit 3
    auto run = Scan(zip);
    ASSERT_EQ(run->Engine->Entries().size(), 2u);
    EXPECT_EQ(run->Engine->Entries()[0].CompressedSize, 11);
    EXPECT_EQ(Extract(ReadArchive(Repair(zip)).Entries[0]), "hello world");
}

TEST(ScanDescriptors, UnsignedDescriptorBeforeACutOffHeaderIsFound) {
    TZipBuilder b;
    b.Add(Streamed("a.txt", "hello", TDescriptor::Unsigned, false));
    b.AddStored("b.txt", "hello");
    std::string zip = b.Bytes().substr(0, b.Built()[1].HeaderOffset + 17);
    auto run = Scan(zip);
    ASSERT_EQ(run->Engine->Entries().size(), 1u);
    EXPECT_EQ(run->Engine->Entries()[0].Status, StatusExcellent);
    EXPECT_EQ(run->Engine->Entries()[0].Crc32, Crc32Of("hello"));
}
