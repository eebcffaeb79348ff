// Archives beyond the classic 32-bit fields, on synthetic inputs that hold
// gigabytes of zeros without storing them.
#include "byte_order.h"
#include "engine_test_util.h"
#include "zip_builder.h"
#include "zip_records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

using namespace tessary;
using namespace tessary::test;

namespace {

// An input made of pieces: real bytes, or runs of zeros of any length.
class TSyntheticInput : public TInputStream {
public:
    void Bytes(const std::string& s) { FPieces.push_back({FSize, s, 0}), FSize += s.size(); }
    void Zeros(int64_t n) { FPieces.push_back({FSize, {}, n}), FSize += n; }
    int64_t Size() const override { return FSize; }
    size_t ReadAt(int64_t offset, void* buffer, size_t count) override {
        auto out = static_cast<char*>(buffer);
        size_t done = 0;
        for (const auto& p : FPieces) {
            int64_t len = p.Data.empty() ? p.Zeros : static_cast<int64_t>(p.Data.size());
            int64_t from = offset + static_cast<int64_t>(done);
            if (done == count || from < p.Start || from >= p.Start + len)
                continue;
            size_t n = static_cast<size_t>(std::min<int64_t>(count - done, p.Start + len - from));
            if (p.Data.empty())
                std::memset(out + done, 0, n);
            else
                std::memcpy(out + done, p.Data.data() + (from - p.Start), n);
            done += n;
        }
        return done;
    }

private:
    struct Piece {
        int64_t Start;
        std::string Data;
        int64_t Zeros;
    };
    std::vector<Piece> FPieces;
    int64_t FSize = 0;
};

// An output that keeps only what is written as records; copied entry data is
// counted, not stored.
class TSparseOutput : public TOutputStream {
public:
    explicit TSparseOutput(std::map<int64_t, std::string>& records) : FRecords(records) {}
    int64_t Position() const override { return FPos; }
    void Write(const void* data, size_t count) override {
        FRecords[FPos] = std::string(static_cast<const char*>(data), count);
        FPos += static_cast<int64_t>(count);
    }
    void CopyFrom(TInputStream&, int64_t, int64_t count) override { FPos += count; }
    void Commit() override {}

private:
    std::map<int64_t, std::string>& FRecords;
    int64_t FPos = 0;
};

std::string LocalHeaderWithZip64(const std::string& name, uint64_t size, bool descriptor) {
    std::string h;
    PutLE32(h, LocalHeaderSignature);
    PutLE16(h, 45);
    PutLE16(h, descriptor ? 8 : 0);
    PutLE16(h, 0);
    PutLE16(h, 0);
    PutLE16(h, 0);
    PutLE32(h, 0x12345678);
    PutLE32(h, 0xFFFFFFFF);
    PutLE32(h, 0xFFFFFFFF);
    PutLE16(h, static_cast<uint16_t>(name.size()));
    PutLE16(h, 20);
    h += name;
    PutLE16(h, 1);
    PutLE16(h, 16);
    PutLE64(h, descriptor ? 0 : size);
    PutLE64(h, descriptor ? 0 : size);
    return h;
}

constexpr int64_t FiveGiB = int64_t(5) << 30;

struct TBigRepair {
    std::unique_ptr<TArcsalve> Engine;
    std::map<int64_t, std::string> Records;
};

std::unique_ptr<TBigRepair> RepairBig(std::unique_ptr<TSyntheticInput> input) {
    auto r = std::make_unique<TBigRepair>();
    TArcsalveOptions options;
    options.CreateOutput = [rec = &r->Records](const std::string&) {
        return std::make_unique<TSparseOutput>(*rec);
    };
    r->Engine = std::make_unique<TArcsalve>(std::move(input), nullptr, options);
    r->Engine->BeginScanFile();
    r->Engine->GetRecovered("big.zip");
    return r;
}

} // namespace

TEST(Zip64, EntryOfFiveGigabytesKeepsItsTrueSizeAndGetsZip64Records) {
    auto input = std::make_unique<TSyntheticInput>();
    input->Bytes(LocalHeaderWithZip64("big.bin", FiveGiB, false));
    input->Zeros(FiveGiB);
    TZipBuilder small;
    small.AddStored("small.txt", "small");
    input->Bytes(small.Bytes());
    auto r = RepairBig(std::move(input));

    ASSERT_EQ(r->Engine->FView.size(), 2u);
    EXPECT_EQ(r->Engine->FView[0].Size, FiveGiB);
    EXPECT_EQ(r->Engine->FView[0].Status, StatusExcellent);
    EXPECT_EQ(r->Engine->FView[1].Name, "small.txt");

    // The big entry's local header carries its sizes in a zip64 block.
    const std::string& local = r->Records.at(0);
    auto p = reinterpret_cast<const unsigned char*>(local.data());
    EXPECT_EQ(GetLE32(p + 18), 0xFFFFFFFFu);
    EXPECT_EQ(GetLE16(p + 30 + 7), 1);
    EXPECT_EQ(GetLE64(p + 30 + 7 + 4), static_cast<uint64_t>(FiveGiB));

    // The small entry lies past 4 GiB: its directory header needs a zip64 offset,
    // and the end records are zip64 ones.
    const std::string& end = r->Records.rbegin()->second;
    auto e = reinterpret_cast<const unsigned char*>(end.data());
    ASSERT_EQ(GetLE32(e), Zip64EndRecordSignature);
    EXPECT_EQ(GetLE64(e + 32), 2u);
    int64_t cdOffset = static_cast<int64_t>(GetLE64(e + 48));
    EXPECT_GT(cdOffset, FiveGiB);
    auto classic = e + Zip64EndRecordSize + Zip64LocatorSize;
    EXPECT_EQ(GetLE32(classic), EndRecordSignature);
    EXPECT_EQ(GetLE16(classic + 8), 0xFFFF);
    EXPECT_EQ(GetLE32(classic + 16), 0xFFFFFFFFu);
}

TEST(Zip64, StreamedEntryWith24ByteDescriptorOverFourGigabytes) {
    auto input = std::make_unique<TSyntheticInput>();
    input->Bytes(LocalHeaderWithZip64("streamed.bin", 0, true));
    int64_t dataStart = input->Size();
    input->Zeros(FiveGiB);
    std::string d;
    PutLE32(d, DescriptorSignature);
    PutLE32(d, 0xCAFEF00D);
    PutLE64(d, FiveGiB);
    PutLE64(d, FiveGiB + 7);
    input->Bytes(d);
    (void)dataStart;
    auto r = RepairBig(std::move(input));
    ASSERT_EQ(r->Engine->Entries().size(), 1u);
    const TFileInfo& e = r->Engine->Entries()[0];
    EXPECT_EQ(e.Status, StatusExcellent);
    EXPECT_EQ(e.Crc32, 0xCAFEF00Du);
    EXPECT_EQ(e.CompressedSize, FiveGiB);
    EXPECT_EQ(e.UncompressedSize, FiveGiB + 7);
    EXPECT_EQ(e.Found->Flags & FlagDataDescriptor, FlagDataDescriptor)
        << "the record stays as found";
    auto local = reinterpret_cast<const unsigned char*>(r->Records.at(0).data());
    EXPECT_EQ(GetLE16(local + 6) & FlagDataDescriptor, 0) << "the sizes are in the header";
}

TEST(Zip64, SmallZip64EntriesLoseTheirZip64BlockInTheRepairedArchive) {
    TZipEntry e{"z.txt", TestBytes(3000, 1, true)};
    e.Zip64 = true;
    e.Deflate = true;
    TZipBuilder b;
    b.Add(e);
    TZipEntry s{"s.txt", TestBytes(2000, 2, true)};
    s.Zip64 = true;
    s.Descriptor = TDescriptor::Unsigned;
    b.Add(s);
    auto a = ReadArchive(Repair(b.Bytes()));
    ASSERT_EQ(a.Entries.size(), 2u);
    for (const auto& r : a.Entries) {
        EXPECT_TRUE(r.LocalExtra.empty()) << r.Name;
        EXPECT_FALSE(a.Zip64End);
    }
    EXPECT_EQ(Extract(a.Entries[0]), e.Data);
    EXPECT_EQ(Extract(a.Entries[1]), s.Data);
}

TEST(Zip64, OnlyACountThatDoesNotFitItsFieldNeedsAZip64EndRecord) {
    for (uint64_t count : {uint64_t(65534), uint64_t(65535)}) {
        std::string end = EncodeEndRecords({count, 1000, 2000}, 3000, RecoveredComment);
        bool zip64 = count == 65535; // 0xFFFF itself is the field's marker
        ASSERT_EQ(end.size(), (zip64 ? 56u + 20u : 0u) + 22u + 33u) << count;
        auto p = reinterpret_cast<const unsigned char*>(end.data() + end.size() - 55);
        EXPECT_EQ(GetLE16(p + 8), zip64 ? 0xFFFF : count);
    }
}
