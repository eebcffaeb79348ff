// An archive read from its parts: entries that reach into a missing part are
// graded, named and checked as damaged, whatever the zeros in its place
// decode to; central headers count offsets from their own part.
#include "byte_order.h"
#include "engine_test_util.h"
#include "entry_check.h"
#include "entry_reasons.h"
#include "input_parts.h"
#include "zip_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

using namespace tessary;
using namespace tessary::test;

namespace {

constexpr int64_t PartSize = 4096;

// Bytes in memory as a stream over parts of PartSize bytes would show them:
// the parts listed in `missing` read as zeros.
class TPartsInput : public TMemoryInput {
public:
    TPartsInput(std::string data, std::vector<TInputPart> parts)
        : TMemoryInput(std::move(data)), FParts(std::move(parts)) {}
    const std::vector<TInputPart>& Parts() const override { return FParts; }

private:
    std::vector<TInputPart> FParts;
};

std::unique_ptr<TPartsInput> InParts(std::string data, const std::set<size_t>& missing) {
    std::vector<TInputPart> parts;
    for (int64_t at = 0; at < int64_t(data.size()); at += PartSize) {
        TInputPart p;
        p.Name = "dir/p" + std::to_string(parts.size());
        p.Start = at;
        p.Length = std::min<int64_t>(PartSize, int64_t(data.size()) - at);
        p.Found = !missing.count(parts.size());
        p.Present = p.Found ? p.Length : 0;
        if (!p.Found)
            data.replace(size_t(at), size_t(p.Length), size_t(p.Length), '\0');
        parts.push_back(p);
    }
    return std::make_unique<TPartsInput>(std::move(data), std::move(parts));
}

// Parts 1 and 4 missing: "zeros.bin" (stored zeros, which the zeros in the
// part's place would pass off as its content) spans part 1, "random.bin"
// (deflated) reaches into part 4; the others lie outside both.
struct TSplitFixture {
    std::string Zip;
    std::set<std::string> Hit = {"zeros.bin", "random.bin"};
    std::set<size_t> Missing = {1, 4};
};

TSplitFixture SplitFixture() {
    TZipBuilder b;
    b.AddStored("a.txt", TestBytes(1000, 1, true));
    b.AddStored("zeros.bin", std::string(8000, '\0'));
    b.AddDeflated("d.txt", TestBytes(3000, 2, true));
    b.AddStored("filler", std::string(15000 - b.Bytes().size() - 36, 'x'));
    b.AddDeflated("random.bin", TestBytes(6000, 3));
    b.AddStored("g.txt", TestBytes(500, 4, true));
    TSplitFixture f;
    f.Zip = b.Finish();
    EXPECT_LT(b.Built()[4].HeaderOffset, 4 * PartSize);
    EXPECT_GT(b.Built()[4].DataEnd, 4 * PartSize);
    return f;
}

std::unique_ptr<TArcsalve> Engine(std::unique_ptr<TInputStream> input, TMemoryFileSystem& fs,
                                  size_t bufferSize = 1 << 20) {
    TArcsalveOptions options;
    options.BufferSize = bufferSize;
    options.CreateOutput = fs.Factory();
    return std::make_unique<TArcsalve>(std::move(input), nullptr, options);
}

} // namespace

TEST(InputParts, EntriesInAMissingPartAreGradedNamedAndCheckedAsCutOff) {
    TSplitFixture f = SplitFixture();
    TMemoryFileSystem fs;
    auto engine = Engine(InParts(f.Zip, f.Missing), fs);
    engine->BeginScanFile();
    engine->GetRecovered("out.zip");
    ASSERT_EQ(engine->Entries().size(), 6u);
    auto checkInput = InParts(f.Zip, f.Missing);
    for (const TFileInfo& e : engine->Entries()) {
        const std::string name(e.Name());
        SCOPED_TRACE(name);
        const bool hit = f.Hit.count(name) > 0;
        std::vector<std::string> reasons =
            EntryReasons(e, engine->FileSize(), engine->InputParts());
        const std::string part = name == "zeros.bin" ? "p1" : "p4"; // the file, without its folder
        const bool named = std::find(reasons.begin(), reasons.end(),
                                     "data in the missing part " + part) != reasons.end();
        EXPECT_EQ(e.Status, hit ? StatusExtent : StatusExcellent);
        EXPECT_EQ(named, hit);
        TCheckResult r = CheckEntry(*checkInput, e);
        EXPECT_EQ(r.Outcome, hit ? TCheckOutcome::Truncated : TCheckOutcome::Ok);
        // The salvage keeps what lies in front of the missing part.
        EXPECT_EQ(IsSalvageable(e, r), hit);
    }

    // The one pass hands entries on mid-scan: they are graded before.
    TMemoryFileSystem onePassFs;
    auto onePass = Engine(InParts(f.Zip, f.Missing), onePassFs, 512);
    onePass->ScanAndRecover("out.zip");
    ASSERT_EQ(onePass->Entries().size(), engine->Entries().size());
    for (size_t i = 0; i < engine->Entries().size(); ++i)
        EXPECT_EQ(onePass->Entries()[i].Status, engine->Entries()[i].Status) << i;
    EXPECT_TRUE(onePassFs.Files["out.zip"] == fs.Files["out.zip"]);
}

TEST(InputParts, FirstUnreadByteFindsTheLostBytesOfMissingAndShortParts) {
    std::vector<TInputPart> parts(3);
    parts[0] = {"a", 0, 100, 100, true};
    parts[1] = {"b", 100, 100, 40, true}; // short: 140..200 lost
    parts[2] = {"c", 200, 100, 0, false}; // missing
    const struct {
        int64_t From, To, Expected;
    } rows[] = {{0, 100, -1},    {0, 141, 140},   {150, 160, 150}, {120, 140, -1},
                {199, 250, 199}, {210, 220, 210}, {300, 400, -1}};
    for (const auto& row : rows)
        EXPECT_EQ(FirstUnreadByte(parts, row.From, row.To), row.Expected)
            << row.From << ".." << row.To;
}

// Offsets that count from the start of their part are moved to count from the
// start of the stream, so that every entry matches its own header.
TEST(InputParts, CentralHeadersCountOffsetsFromTheirPart) {
    TZipBuilder b;
    for (int i = 0; i < 8; ++i)
        b.AddStored("f" + std::to_string(i), TestBytes(1500, uint32_t(i)));
    std::string zip = b.Finish();
    // Each central header as a writer of parts makes it: the disk of its
    // local header, and the offset within that disk.
    for (size_t at = size_t(b.CentralDirectoryOffset());
         (at = zip.find("PK\x01\x02", at)) != std::string::npos; at += 4) {
        uint32_t offset = GetLE32(reinterpret_cast<const unsigned char*>(zip.data() + at + 42));
        std::string disk, within;
        PutLE16(disk, uint16_t(offset / PartSize));
        PutLE32(within, uint32_t(offset % PartSize));
        zip.replace(at + 34, 2, disk);
        zip.replace(at + 42, 4, within);
    }
    TMemoryFileSystem fs;
    auto engine = Engine(InParts(zip, {}), fs);
    engine->BeginScanFile();
    ASSERT_EQ(engine->Entries().size(), 8u);
    for (const TFileInfo& e : engine->Entries()) {
        ASSERT_NE(e.Central, nullptr) << e.Name();
        EXPECT_EQ(e.Central->LocalOffset, e.HeaderOffset()) << e.Name();
    }
    // The same bytes as one file: the offsets are taken as they stand.
    auto plain = Scan(zip);
    EXPECT_NE(plain->Engine->Evidence().CentralHeaders.back().LocalOffset,
              plain->Engine->Entries().back().HeaderOffset());
}

TEST(InputParts, EndRecordDiskIsReadOnlyFromARecordThatEndsTheFile) {
    auto end = [](uint16_t disk, uint16_t directoryDisk, const std::string& comment) {
        std::string r("PK\x05\x06", 4);
        for (uint16_t v : {disk, directoryDisk, uint16_t(1), uint16_t(9)})
            r += std::string{char(v & 0xFF), char(v >> 8)};
        r += std::string(8, '\0');
        r += std::string{char(comment.size()), '\0'} + comment;
        return r;
    };
    const struct {
        const char* Label;
        std::string Tail;
        std::optional<uint16_t> Disk;
    } rows[] = {
        {"plain", "data" + end(6, 6, ""), 6},
        {"with a comment", end(2, 1, "a comment"), 2},
        {"followed by other bytes", end(6, 6, "") + "junk", std::nullopt},
        {"directory on a later disk", end(1, 3, ""), std::nullopt},
        {"too short", "PK\x05\x06", std::nullopt},
    };
    for (const auto& row : rows) {
        TMemoryInput input(row.Tail);
        EXPECT_EQ(EndRecordDisk(input), row.Disk) << row.Label;
    }
}
