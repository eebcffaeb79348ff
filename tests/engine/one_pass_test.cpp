// The one-pass repair writes what the scan followed by the rebuild writes
// (every repair of the engine tests compares the two; see Repair), and what
// ends it early leaves a complete archive of whole entries, or nothing.
#include "engine_error.h"
#include "engine_test_util.h"
#include "zip_builder.h"

#include <gtest/gtest.h>

using namespace tessary;
using namespace tessary::test;

namespace {

void PutLE32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>(v >> (8 * i));
}

// An entry whose unsigned descriptor lies before the next header is handed
// on mid-scan; a signed descriptor that fits it further on takes precedence,
// so what was handed on is thrown away and the repair made again.
TEST(OnePass, SignedDescriptorFoundLateOverrulesTheUnsignedOneTakenMidScan) {
    TZipBuilder b;
    TZipEntry a("a.bin", TestBytes(1000, 1));
    a.Descriptor = TDescriptor::Unsigned;
    b.Add(a);
    b.AddStored("b.bin", TestBytes(3000, 2));
    int64_t dataStart = b.Built()[0].DataStart;
    auto late = static_cast<uint32_t>(b.Bytes().size() - dataStart);
    std::string descriptor("PK\x07\x08", 4);
    PutLE32(descriptor, b.Built()[0].Crc32);
    PutLE32(descriptor, late);
    PutLE32(descriptor, late);
    b.AddRaw(descriptor);
    b.AddStored("c.bin", TestBytes(100, 3));
    std::string zip = b.Bytes();

    ASSERT_FALSE(Repair(zip).empty()); // and the one-pass repair is the same
    auto run = Scan(zip);
    ASSERT_EQ(run->Engine->Entries().size(), 2u) << "b.bin lies inside a.bin's data";
    EXPECT_EQ(run->Engine->Entries()[0].CompressedSize, late);
    EXPECT_EQ(run->Engine->Entries()[1].Name(), "c.bin");
}

enum class TEnd { Refused, WriteFails, Stopped };

struct TEarlyEndCase {
    const char* Name;
    TEnd End;
};

class OnePassEndingEarly : public ::testing::TestWithParam<TEarlyEndCase> {};

TEST_P(OnePassEndingEarly, LeavesWholeEntriesOrNothing) {
    std::string zip;
    if (GetParam().End == TEnd::Refused) {
        // Headers claiming overlapping data: copied as claimed, the repaired
        // archive would be hundreds of times the file.
        zip.assign(1 << 20, '\0');
        for (int i = 0; i < 300; ++i) {
            std::string h("PK\x03\x04\x0A\x00\x00\x00\x00\x00", 10);
            h += std::string(8, '\0');
            h += std::string("\xA0\xBB\x0D\x00\xA0\xBB\x0D\x00\x01\x00\x00\x00", 12);
            h += "n";
            zip.replace(static_cast<size_t>(i) * 3000, h.size(), h);
        }
    } else {
        TZipBuilder b;
        for (int i = 0; i < 2000; ++i)
            b.AddStored("f" + std::to_string(i), TestBytes(500, i));
        zip = b.Bytes();
    }
    auto run = Scan(zip, 512, false);
    if (GetParam().End == TEnd::WriteFails)
        run->Fs->FailAfterBytes = 100000;
    if (GetParam().End == TEnd::Stopped)
        run->StopAfterReports = 1;

    if (GetParam().End != TEnd::Stopped) {
        EXPECT_THROW(run->Engine->ScanAndRecover("out.zip"), EArcsalveError);
        EXPECT_TRUE(run->Fs->Files.empty()) << "nothing is left behind";
        return;
    }
    run->Engine->ScanAndRecover("out.zip");
    auto archive = ReadArchive(run->Fs->Files.at("out.zip"));
    EXPECT_EQ(archive.Entries.size(), run->Engine->FView.size()) << "every entry found is written";
    if (run->Engine->ScanWasStopped()) {
        EXPECT_LT(archive.Entries.size(), 2000u);
    }
    for (const auto& e : archive.Entries)
        EXPECT_NO_THROW(Extract(e));
}

INSTANTIATE_TEST_SUITE_P(Ends, OnePassEndingEarly,
                         ::testing::Values(TEarlyEndCase{"Refused", TEnd::Refused},
                                           TEarlyEndCase{"WriteFails", TEnd::WriteFails},
                                           TEarlyEndCase{"Stopped", TEnd::Stopped}),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
