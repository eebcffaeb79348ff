// What the repaired archive keeps from the damaged one beyond the entries'
// bytes: what surviving central directory headers held, the extra blocks
// readers look for in the directory, and flags that must not mislead them.
#include "engine_test_util.h"
#include "zip_builder.h"

#include <gtest/gtest.h>

using namespace tessary;
using namespace tessary::test;

namespace {

constexpr uint32_t Executable = 0100755u << 16;
constexpr uint32_t SymbolicLink = 0120777u << 16;
const std::string TimeBlock("UT\x05\x00\x01\x10\x20\x30\x40", 9);

TZipBuilder UnixArchive() {
    TZipEntry run{"run.sh", "#!/bin/sh\necho hi\n"};
    run.ExternalAttributes = Executable;
    run.Comment = "starts it";
    run.CentralExtra = TimeBlock;
    TZipEntry link{"link", "run.sh"};
    link.ExternalAttributes = SymbolicLink;
    TZipEntry text{"text.txt", TestBytes(4000, 3, true)};
    text.Deflate = true;
    text.ExternalAttributes = 0100600u << 16;
    TZipBuilder b;
    b.Add(run);
    b.Add(link);
    b.Add(text);
    return b;
}

struct TDirectoryDamage {
    const char* Name;
    // Damages the finished archive; `cd` is where its directory starts.
    std::string (*Damage)(const std::string& zip, size_t cd);
    std::vector<uint32_t> Attributes; // expected per entry; 0: no header matched
};

const TDirectoryDamage DirectoryDamages[] = {
    {"Intact",
     [](const std::string& z, size_t) { return z; },
     {Executable, SymbolicLink, 0100600u << 16}},
    {"BehindASelfExtractorStub",
     [](const std::string& z, size_t) { return std::string(1000, 'S') + z; },
     {Executable, SymbolicLink, 0100600u << 16}},
    {"DirectoryOverwrittenPastItsFirstHeaders",
     [](const std::string& z, size_t cd) {
         std::string d = z;
         size_t third = d.find("PK\x01\x02", cd + 4);
         third = d.find("PK\x01\x02", third + 4);
         std::fill(d.begin() + static_cast<long>(third), d.end(), 'U');
         return d;
     },
     {Executable, SymbolicLink, 0}},
    {"DirectoryCutOff", [](const std::string& z, size_t cd) { return z.substr(0, cd); }, {0, 0, 0}},
    {"HeaderWhoseCrcDisagrees",
     [](const std::string& z, size_t cd) {
         std::string d = z;
         d[cd + 16] ^= 1; // the first header's CRC-32
         return d;
     },
     {0, SymbolicLink, 0100600u << 16}},
};

class DirectoryDamage : public ::testing::TestWithParam<TDirectoryDamage> {};

} // namespace

TEST_P(DirectoryDamage, ModesLinksAndCommentsComeBackWhereAHeaderSurvived) {
    TZipBuilder b = UnixArchive();
    std::string zip = b.Finish();
    std::string damaged = GetParam().Damage(zip, static_cast<size_t>(b.CentralDirectoryOffset()));
    auto repaired = ReadArchive(Repair(damaged));
    ASSERT_EQ(repaired.Entries.size(), 3u) << "directory headers are never entries themselves";
    for (size_t i = 0; i < 3; ++i) {
        const TReadEntry& e = repaired.Entries[i];
        uint32_t want = GetParam().Attributes[i];
        if (want == 0) {
            EXPECT_EQ(e.ExternalAttributes >> 16, 0u) << e.Name << ": the rebuild's own choice";
            EXPECT_EQ(e.Comment, "") << e.Name;
            continue;
        }
        EXPECT_EQ(e.ExternalAttributes, want) << e.Name;
        EXPECT_EQ(e.VersionMadeBy, 0x031E) << e.Name;
        if (i == 0) {
            EXPECT_EQ(e.Comment, "starts it");
            EXPECT_EQ(e.CentralExtra, TimeBlock);
        }
    }
    EXPECT_EQ(Extract(repaired.Entries[2]), TestBytes(4000, 3, true));
}

INSTANTIATE_TEST_SUITE_P(Damage, DirectoryDamage, ::testing::ValuesIn(DirectoryDamages),
                         [](const auto& info) { return std::string(info.param.Name); });

// Two entries of one name each get their own header's modes and comment,
// also where the archive has moved behind a stub.
TEST(CentralMatch, EntriesOfOneNameEachKeepTheirOwnHeader) {
    TZipEntry first{"same", "first"};
    first.ExternalAttributes = Executable;
    first.Comment = "one";
    TZipEntry second{"same", "second"};
    second.ExternalAttributes = 0100600u << 16;
    second.Comment = "two";
    TZipBuilder b;
    b.Add(first);
    b.Add(second);
    const std::string zip = b.Finish();
    for (const std::string& damaged : {zip, std::string(700, 'S') + zip}) {
        auto repaired = ReadArchive(Repair(damaged));
        ASSERT_EQ(repaired.Entries.size(), 2u);
        EXPECT_EQ(repaired.Entries[0].ExternalAttributes, Executable);
        EXPECT_EQ(repaired.Entries[0].Comment, "one");
        EXPECT_EQ(repaired.Entries[1].ExternalAttributes, 0100600u << 16);
        EXPECT_EQ(repaired.Entries[1].Comment, "two");
    }
}

TEST(CentralMatch, LostDescriptorTakesCrcAndSizesFromTheDirectory) {
    // A stored entry streamed with a descriptor, which is destroyed: its
    // size and CRC live on only in the directory.
    TZipEntry streamed{"stored.bin", TestBytes(3000, 4)};
    streamed.Descriptor = TDescriptor::Signed;
    TZipBuilder b;
    b.Add(streamed);
    b.AddStored("next.txt", "next");
    std::string zip = b.Finish();
    const auto& lost = b.Built()[0];
    std::fill(zip.begin() + lost.DataEnd, zip.begin() + lost.RecordEnd, '\xEE');
    auto repaired = ReadArchive(Repair(zip));
    ASSERT_EQ(repaired.Entries.size(), 2u);
    EXPECT_EQ(Extract(repaired.Entries[0]), streamed.Data);
}

TEST(CentralMatch, DirectoryRepeatsAesBlocksAndNoNameIsFlaggedUtf8UnlessItIs) {
    TZipEntry aes{"secret.txt", "ciphertext and mac"};
    aes.Flags = FlagEncrypted;
    aes.Extra = std::string("\x01\x99\x07\x00\x02\x00"
                            "AE\x03\x08\x00",
                            11);
    TZipEntry badName{"caf\xE9.txt", "x"}; // Latin-1, not UTF-8
    badName.Flags = FlagUtf8Name;
    TZipEntry goodName{"caf\xC3\xA9.txt", "y"};
    goodName.Flags = FlagUtf8Name;
    TZipBuilder b;
    b.Add(aes);
    b.Add(badName);
    b.Add(goodName);
    auto repaired = ReadArchive(Repair(b.Bytes()));
    ASSERT_EQ(repaired.Entries.size(), 3u);
    EXPECT_EQ(repaired.Entries[0].CentralExtra, aes.Extra) << "readers find AES in the directory";
    EXPECT_EQ(repaired.Entries[1].Flags & FlagUtf8Name, 0);
    EXPECT_EQ(repaired.Entries[1].LocalFlags & FlagUtf8Name, 0);
    EXPECT_EQ(repaired.Entries[2].Flags & FlagUtf8Name, FlagUtf8Name);
}
