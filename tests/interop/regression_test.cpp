// regression_test.cpp -- the smallest archives that show a fault the reader
// tests found in repaired archives, one test per fault, named after it.
#include "corpus.h"
#include "zip_builder.h"
#include "zip_reader.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace tessary::interop {
namespace {

namespace fs = std::filesystem;

class Regression : public ::testing::Test {
protected:
    void SetUp() override {
        FDir = ScratchRoot() + "/regression/" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(FDir);
        fs::create_directories(FDir);
    }

    // Writes `damaged`, repairs it with tessary-cli and returns the repaired path.
    std::string Repair(const std::string& damaged) {
        WriteFileBytes(FDir + "/damaged.zip", damaged);
        TProcessResult r = RunProcess(
            {CliPath(), "--quiet", "--force", FDir + "/damaged.zip", "-o", FDir + "/repaired.zip"});
        EXPECT_EQ(r.ExitCode, 0) << r.Describe();
        return FDir + "/repaired.zip";
    }

    // The names of the files unzip extracts from `archive`.
    std::vector<std::string> UnzipExtracts(const std::string& archive, const std::string& into) {
        TProcessResult r = RunProcess({"unzip", "-q", "-o", archive, "-d", FDir + "/" + into});
        EXPECT_EQ(r.ExitCode, 0) << r.Describe();
        std::vector<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(FDir + "/" + into))
            if (e.is_regular_file())
                names.push_back(e.path().lexically_relative(FDir + "/" + into).string());
        return names;
    }

    std::string FDir;
};

// An entry with the UTF-8 flag (bit 11) is extracted by unzip under its
// UTF-8 name from the original, but under a name converted from code page
// 437 from the repaired archive: Debian's unzip converts every name of an
// entry whose central directory says "made by MS-DOS" (version made by 0),
// the flag notwithstanding.
TEST_F(Regression, Utf8FlaggedNameKeepsItsTextInUnzip) {
    if (FindProgram("unzip").empty())
        GTEST_SKIP() << "unzip is not installed (scripts/setup.sh installs it)";
    const std::string name = "Gr\xC3\xBC\xC3\x9F"
                             "e.txt"; // "Grüße.txt"
    test::TZipBuilder b;
    test::TZipEntry e;
    e.Name = name;
    e.Data = "hello\n";
    e.Flags = 0x0800;
    b.Add(e);
    std::string original = b.Finish();
    WriteFileBytes(FDir + "/original.zip", original);
    ASSERT_EQ(UnzipExtracts(FDir + "/original.zip", "from-original"),
              std::vector<std::string>{name});
    EXPECT_EQ(UnzipExtracts(Repair(original), "from-repaired"), std::vector<std::string>{name});
}

// Info-ZIP zip on Unix stores names in the system's character set (UTF-8)
// without the UTF-8 flag, says "made by Unix" and adds its Unix extra fields
// (extended time stamp, user and group ids); unzip then takes the name's
// bytes as they are. The repaired archive must not say "made by MS-DOS",
// or unzip converts the name from code page 437.
TEST_F(Regression, UnflaggedNameFromInfoZipOnUnixKeepsItsTextInUnzip) {
    if (FindProgram("unzip").empty())
        GTEST_SKIP() << "unzip is not installed (scripts/setup.sh installs it)";
    const std::string name = "Gr\xC3\xBC\xC3\x9F"
                             "e.txt";
    test::TZipEntry e;
    e.Name = name;
    e.Data = "hello\n";
    e.Extra = std::string("UT\x09\x00\x03\x00\x00\x60\x67\x00\x00\x60\x67", 13) +
              std::string("ux\x0B\x00\x01\x04\xE8\x03\x00\x00\x04\xE8\x03\x00\x00", 15);
    test::TZipBuilder b;
    b.Add(e); // version made by 0x031E: Unix
    std::string original = b.Finish();
    WriteFileBytes(FDir + "/original.zip", original);
    ASSERT_EQ(UnzipExtracts(FDir + "/original.zip", "from-original"),
              std::vector<std::string>{name});
    EXPECT_EQ(UnzipExtracts(Repair(original), "from-repaired"), std::vector<std::string>{name});
}

// A stored entry whose descriptor no longer matches (bytes were lost from
// its data) comes out with its compressed size taken from the distance to
// the next header but its uncompressed size left at the local header's 0.
// For a stored entry both sizes are the length of its data; a stream reader
// (Java's ZipInputStream) reads it as 0 bytes long, loses step and fails on
// the intact entry behind it.
TEST_F(Regression, StoredEntryWithoutDescriptorKeepsStreamReadersInStep) {
    test::TZipBuilder b;
    test::TZipEntry stored;
    stored.Name = "stored.bin";
    stored.Data = test::TestBytes(5000, 1);
    stored.Descriptor = test::TDescriptor::Signed;
    b.Add(stored);
    b.AddDeflated("intact.txt", test::TestBytes(3000, 2, true));
    TDamagedFile damaged(b.Bytes());
    damaged.Delete(b.Built()[0].DataStart + 1000, 100);

    std::string repaired = Repair(damaged.Bytes());
    test::TReadArchive a = test::ReadArchive(ReadFileBytes(repaired));
    ASSERT_EQ(a.Entries.size(), 2u);
    EXPECT_EQ(a.Entries[0].Method, 0);
    EXPECT_EQ(a.Entries[0].UncompressedSize, a.Entries[0].CompressedSize)
        << "a stored entry whose two sizes differ";
    EXPECT_EQ(test::Extract(a.Entries[1]), test::TestBytes(3000, 2, true));

    if (FindProgram("java").empty())
        GTEST_SKIP() << "java is not installed (scripts/setup.sh installs default-jdk-headless)";
    std::vector<TReaderListing> java = ReadArchives(TReader::Java, {repaired}, FDir);
    ASSERT_EQ(java.size(), 1u);
    bool intactRead = false;
    for (const TReaderEntry& e : java[0].Entries)
        intactRead = intactRead || (e.Name == "intact.txt" && e.Ok);
    EXPECT_TRUE(intactRead) << java[0].Transcript;
}

} // namespace
} // namespace tessary::interop
