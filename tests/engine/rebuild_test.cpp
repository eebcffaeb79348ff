// Writing the repaired archive.
#include "engine_error.h"
#include "engine_test_util.h"
#include "zip_builder.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using namespace tessary;
using namespace tessary::test;

TEST(Rebuild, EntriesSitBackToBackThenTheDirectoryAndTheFixedComment) {
    TZipBuilder b;
    b.AddStored("a.txt", "alpha");
    b.AddDeflated("b.txt", TestBytes(4000, 1, true));
    std::string zip = "junk in front" + b.Finish("old comment");
    std::string out = Repair(zip);
    auto a = ReadArchive(out);
    ASSERT_EQ(a.Entries.size(), 2u);
    EXPECT_EQ(a.Entries[0].HeaderOffset, 0u);
    EXPECT_EQ(a.Entries[1].HeaderOffset, 30u + 5 + 5);
    EXPECT_EQ(a.Comment, "This Zip file has been recovered!");
    EXPECT_EQ(a.EndRecordCount, 2u);
    EXPECT_EQ(Extract(a.Entries[1]), TestBytes(4000, 1, true));
}

TEST(Rebuild, StopAfterAnEntryWritesACompleteArchiveOfTheEntriesSoFar) {
    TZipBuilder b;
    for (int i = 0; i < 10; ++i)
        b.AddStored("f" + std::to_string(i), TestBytes(50, i));
    auto run = Scan(b.Finish());
    size_t scanReports = run->Reports.size();
    run->StopAfterReports = static_cast<int>(scanReports) + 3;
    run->Engine->GetRecovered("out.zip");
    auto a = ReadArchive(run->Fs->Files.at("out.zip"));
    ASSERT_EQ(a.Entries.size(), 3u);
    EXPECT_EQ(a.EndRecordCount, 3u);
    EXPECT_EQ(run->Engine->WrittenEntries(), 3u);
    EXPECT_EQ(run->Reports.back(), (std::pair<int32_t, std::string>(100, "10")));
    for (const auto& e : a.Entries)
        EXPECT_NO_THROW(Extract(e));
}

TEST(Rebuild, FailedWriteRaisesAndLeavesNothingUnderTheName) {
    TZipBuilder b;
    b.AddStored("a.bin", TestBytes(10000, 2));
    auto run = Scan(b.Finish());
    run->Fs->FailAfterBytes = 5000;
    try {
        run->Engine->GetRecovered("full.zip");
        FAIL() << "a failed write must not pass for success";
    } catch (const EArcsalveError& e) {
        EXPECT_EQ(e.Kind, TErrorKind::WriteOutput);
        EXPECT_EQ(e.Path, "full.zip");
    }
    EXPECT_EQ(run->Fs->Files.count("full.zip"), 0u);
}

TEST(Rebuild, BytesClaimedPastTheEndOfTheFileAreWrittenAsZeros) {
    TZipBuilder b;
    b.AddStored("pad.bin", std::string(2000, 'p'));
    b.AddStored("cut.bin", std::string(1000, 'c'));
    std::string zip = b.Bytes().substr(0, b.Built()[1].DataStart + 400);
    auto a = ReadArchive(Repair(zip));
    ASSERT_EQ(a.Entries.size(), 2u);
    EXPECT_TRUE(a.Entries[1].Data == std::string(400, 'c') + std::string(600, '\0'));
}

TEST(Rebuild, ImplausibleEntryIsCutToAMegabyteBehindItsOwnName) {
    TZipBuilder b;
    b.AddStored("x.bin", TestBytes(2000, 3));
    std::string zip = b.Bytes();
    zip[21] = '\x10'; // claims 256 MiB more than the file holds
    auto run = Scan(zip);
    run->Engine->GetRecovered("out.zip");
    auto a = ReadArchive(run->Fs->Files.at("out.zip"));
    ASSERT_EQ(a.Entries.size(), 1u);
    EXPECT_EQ(a.Entries[0].Name, "x.bin");
    EXPECT_EQ(a.Entries[0].LocalName, "x.bin") << "local and central names agree";
    EXPECT_EQ(a.Entries[0].CompressedSize, 1048576u);
    EXPECT_EQ(a.Entries[0].UncompressedSize, 1048576u) << "stored: both sizes alike";
    EXPECT_EQ(a.Entries[0].Data.substr(0, 2000), TestBytes(2000, 3));
}

TEST(Rebuild, UnicodePathExtraIsRepeatedInTheCentralDirectory) {
    std::string upath = std::string("\x75\x70\x08\x00\x01\x00\x00\x00\x00", 9) + "n\xC3\xA9";
    TZipEntry e{"n\x82", "data"};
    e.Extra = upath;
    TZipBuilder b;
    b.Add(e);
    auto a = ReadArchive(Repair(b.Finish()));
    ASSERT_EQ(a.Entries.size(), 1u);
    EXPECT_EQ(a.Entries[0].CentralExtra, upath);
    EXPECT_EQ(a.Entries[0].LocalExtra, upath);
    EXPECT_EQ(a.Entries[0].Name, "n\x82") << "raw name bytes are kept";
}

TEST(Rebuild, UnknownUncompressedSizeFallsBackToTheCompressedSize) {
    TZipBuilder b;
    b.AddStored("u.bin", std::string(64, 'u'));
    std::string zip = b.Bytes();
    zip[22] = zip[23] = zip[24] = zip[25] = '\xFF';
    auto run = Scan(zip);
    EXPECT_EQ(run->Engine->FView[0].Size, -1);
    run->Engine->GetRecovered("out.zip");
    auto a = ReadArchive(run->Fs->Files.at("out.zip"));
    EXPECT_EQ(a.Entries[0].UncompressedSize, 64u);
}

// A reader that trusts the end record's count would see 4 of these entries
// if it held the count's low 16 bits.
TEST(Rebuild, MoreThan65535EntriesAreCountedInAZip64EndRecord) {
    TZipBuilder b;
    for (int i = 0; i < 65540; ++i)
        b.AddStored(std::to_string(i), "");
    auto a = ReadArchive(Repair(b.Bytes()));
    EXPECT_EQ(a.Entries.size(), 65540u);
    EXPECT_EQ(a.EndRecordCount, 65540u) << "as the zip64 end record counts them";
    EXPECT_TRUE(a.Zip64End);
}

TEST(Rebuild, Utf8NamesAreMarkedAsMadeOnAHostWhoseReadersHonourTheFlag) {
    TZipEntry utf8{"Gr\xC3\xBC\xC3\x9F"
                   "e.txt",
                   "x"};
    utf8.Flags = FlagUtf8Name;
    TZipBuilder b;
    b.Add(utf8);
    b.AddStored("plain.txt", "y");
    // Without a central directory: the host is the rebuild's own choice.
    std::string out = Repair(b.Bytes());
    size_t cd = out.find(std::string("PK\x01\x02", 4));
    ASSERT_NE(cd, std::string::npos);
    EXPECT_EQ(out[cd + 5], '\x0A') << "NTFS host for the UTF-8 name";
    size_t cd2 = out.find(std::string("PK\x01\x02", 4), cd + 4);
    EXPECT_EQ(out[cd2 + 4], '\0');
    EXPECT_EQ(out[cd2 + 5], '\0') << "MS-DOS host otherwise";
}

TEST(Rebuild, EntriesWithUnixExtraFieldsAreMarkedAsMadeOnUnix) {
    TZipEntry file{"Gr\xC3\xBC\xC3\x9F"
                   "e.txt",
                   "x"};
    file.Extra = std::string("ux\x0B\x00\x01\x04\x00\x00\x00\x00\x04\x00\x00\x00\x00", 15);
    TZipEntry folder{"dir/", ""};
    folder.Extra = file.Extra;
    TZipBuilder b;
    b.Add(file);
    b.Add(folder);
    std::string out = Repair(b.Bytes()); // no central directory to take modes from
    auto a = ReadArchive(out);
    ASSERT_EQ(a.Entries.size(), 2u);
    EXPECT_EQ(a.Entries[0].ExternalAttributes, 0100644u << 16);
    EXPECT_EQ(a.Entries[1].ExternalAttributes, (040755u << 16) | 0x10);
    size_t cd = out.find(std::string("PK\x01\x02", 4));
    EXPECT_EQ(out[cd + 5], '\x03');
}

// The rebuild works out what it writes on its own: the scan's records keep
// their offsets in the damaged file, their sizes, flags and extra fields, so
// what the front ends show after a repair is what the scan found.
TEST(Rebuild, LeavesTheScansRecordsAsFound) {
    TZipEntry described{"d.txt", "described"};
    described.Descriptor = TDescriptor::Signed;
    described.Extra = std::string("\x75\x70\x05\x00\x01\x00\x00\x00\x00", 9);
    TZipBuilder b;
    b.Add(described);
    b.AddStored("u.bin", std::string(64, 'u'));
    b.AddStored("x.bin", TestBytes(2000, 3));
    std::string zip = "junk" + b.Bytes();
    size_t unknown = 4 + b.Built()[1].HeaderOffset + 22;
    zip.replace(unknown, 4, "\xFF\xFF\xFF\xFF");
    zip[4 + b.Built()[2].HeaderOffset + 21] = '\x10'; // implausibly long

    auto run = Scan(zip);
    auto snapshot = [&] {
        std::vector<std::tuple<int64_t, int64_t, int64_t, uint16_t, uint16_t, std::string>> rows;
        for (const TFileInfo& e : run->Engine->Entries())
            rows.emplace_back(e.HeaderOffset(), e.CompressedSize, e.UncompressedSize,
                              e.Found->Flags, e.ExtraLength(), std::string(e.ExtraField()));
        return rows;
    };
    auto before = snapshot();
    ASSERT_EQ(before.size(), 3u);
    EXPECT_EQ(std::get<0>(before[0]), 4) << "offset in the damaged file";
    EXPECT_EQ(std::get<2>(before[1]), -1) << "unknown size";
    run->Engine->GetRecovered("out.zip");
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(run->Engine->FView[1].Size, -1);

    auto a = ReadArchive(run->Fs->Files.at("out.zip"));
    ASSERT_EQ(a.Entries.size(), 3u);
    EXPECT_EQ(a.Entries[0].HeaderOffset, 0u) << "offset in the repaired archive";
    EXPECT_EQ(a.Entries[0].CentralExtra, described.Extra);
    EXPECT_EQ(a.Entries[1].UncompressedSize, 64u);
    EXPECT_EQ(a.Entries[2].CompressedSize, 1048576u);
}
