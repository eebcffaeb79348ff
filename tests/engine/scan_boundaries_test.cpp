// The scan's result never depends on where its read blocks end.
#include "engine_test_util.h"
#include "find_pk.h"
#include "zip_builder.h"

#include <gtest/gtest.h>

using namespace tessary;
using namespace tessary::test;

namespace {

void ExpectSameEntries(const std::string& zip, size_t bufferSize) {
    auto big = Scan(zip);
    auto small = Scan(zip, bufferSize);
    const auto& a = big->Engine->Entries();
    const auto& b = small->Engine->Entries();
    ASSERT_EQ(a.size(), b.size()) << "buffer " << bufferSize;
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].HeaderOffset(), b[i].HeaderOffset());
        EXPECT_EQ(a[i].Name(), b[i].Name());
        EXPECT_EQ(a[i].CompressedSize, b[i].CompressedSize);
        EXPECT_EQ(a[i].UncompressedSize, b[i].UncompressedSize);
        EXPECT_EQ(a[i].Crc32, b[i].Crc32);
        EXPECT_EQ(a[i].Status, b[i].Status);
    }
    EXPECT_EQ(Repair(zip), Repair(zip, bufferSize));
}

std::string MixedArchive() {
    TZipBuilder b;
    b.AddRaw("garbage before the first header PK\x03");
    for (int i = 0; i < 30; ++i) {
        TZipEntry e{"entry" + std::to_string(i) + ".dat", TestBytes(37 * i + 3, i, i % 2)};
        e.Deflate = i % 3 == 0;
        e.Descriptor = i % 4 == 1   ? TDescriptor::Signed
                       : i % 4 == 2 ? TDescriptor::Unsigned
                                    : TDescriptor::None;
        e.Zip64 = i % 5 == 0;
        b.Add(e);
    }
    return b.Finish();
}

} // namespace

TEST(ScanBoundaries, TinyBuffersGiveTheSameEntriesAsTheLargeOne) {
    std::string zip = MixedArchive();
    for (size_t size : {64, 31, 7, 1})
        ExpectSameEntries(zip, size);
}

TEST(ScanBoundaries, HeadersStraddlingEveryPositionAroundABlockEdgeAreFound) {
    // Shift the archive across a 64-byte block edge one byte at a time, so
    // that every record's signature and fixed fields cross it somewhere.
    std::string zip = MixedArchive();
    for (int shift = 0; shift < 64; ++shift) {
        std::string shifted = std::string(static_cast<size_t>(shift), 'z') + zip;
        auto run = Scan(shifted, 64);
        ASSERT_EQ(run->Engine->FView.size(), 30u) << "shift " << shift;
        for (const auto& v : run->Engine->FView)
            ASSERT_EQ(v.Status, StatusExcellent) << "shift " << shift << " " << v.Name;
    }
}

TEST(ScanBoundaries, PairSearchFindsEveryPKAndALoneTrailingP) {
    std::string s(200, 'x');
    for (size_t at : {0, 15, 31, 47, 64, 100, 166})
        s[at] = 'P', s[at + 1] = 'K';
    s[199] = 'P';
    std::vector<size_t> found;
    auto p = reinterpret_cast<const unsigned char*>(s.data());
    for (auto hit = p; (hit = FindPK(hit, p + s.size())) != nullptr; ++hit)
        found.push_back(static_cast<size_t>(hit - p));
    EXPECT_EQ(found, (std::vector<size_t>{0, 15, 31, 47, 64, 100, 166, 199}));
}
