// The records as the scan finds them: each kind decoded by its one reader,
// which never reads past the bytes it is given, and kept as found.
#include "engine_test_util.h"
#include "zip_builder.h"
#include "zip_records.h"

#include <gtest/gtest.h>

#include <functional>

using namespace tessary;
using namespace tessary::test;

namespace {

struct TRecordCase {
    const char* Name;
    std::string Bytes;
    std::function<bool(TByteCursor&)> Decode;
};

} // namespace

// Every prefix shorter than the record fails; the whole record decodes.
TEST(ZipRecords, ReadersRefuseARecordCutShortAnywhere) {
    TZipBuilder b;
    TZipEntry e{"name.txt", "data"};
    e.Descriptor = TDescriptor::Signed;
    b.Add(e);
    std::string zip = b.Finish("note");
    const TBuiltEntry& built = b.Built()[0];
    size_t cd = static_cast<size_t>(b.CentralDirectoryOffset());
    TFileHeader h;
    TDataDescriptor d;
    TEndRecord r;
    const TRecordCase cases[] = {
        {"local", zip.substr(0, LocalHeaderSize),
         [&](TByteCursor& c) { return DecodeFileHeader(c, THeaderKind::Local, h); }},
        {"central", zip.substr(cd, CentralHeaderSize),
         [&](TByteCursor& c) { return DecodeFileHeader(c, THeaderKind::Central, h); }},
        {"descriptor", zip.substr(static_cast<size_t>(built.DataEnd), 16),
         [&](TByteCursor& c) { return DecodeDataDescriptor(c, 0, true, false, d); }},
        {"end", zip.substr(zip.size() - EndRecordSize - 4, EndRecordSize),
         [&](TByteCursor& c) { return DecodeEndRecord(c, 0, r); }},
    };
    for (const TRecordCase& c : cases) {
        SCOPED_TRACE(c.Name);
        auto p = reinterpret_cast<const unsigned char*>(c.Bytes.data());
        for (size_t n = 0; n < c.Bytes.size(); ++n) {
            TByteCursor cut(p, n);
            EXPECT_FALSE(c.Decode(cut)) << n << " bytes";
        }
        TByteCursor whole(p, c.Bytes.size());
        EXPECT_TRUE(c.Decode(whole));
    }
    EXPECT_EQ(h.LocalOffset, 0);
    EXPECT_EQ(h.NameLength, 8);
    EXPECT_EQ(d.Crc32, Crc32Of("data"));
    EXPECT_EQ(r.Entries, 1);
    EXPECT_EQ(r.DirectoryOffset, cd);
}

// The scan keeps every record it found as found; the entries refer to them
// and say what the repair concluded beside them.
TEST(ZipRecords, EvidenceHoldsEveryRecordAsFoundBesideTheConclusions) {
    TZipBuilder b;
    TZipEntry e{"streamed.txt", TestBytes(3000, 1, true)};
    e.Deflate = true;
    e.Descriptor = TDescriptor::Signed;
    b.Add(e);
    b.AddStored("plain.bin", "plain");
    std::string zip = b.Finish();
    auto run = Scan(zip);
    const TScanEvidence& found = run->Engine->Evidence();
    ASSERT_EQ(found.LocalHeaders.size(), 2u);
    ASSERT_EQ(found.CentralHeaders.size(), 2u);
    ASSERT_EQ(found.EndRecords.size(), 1u);
    EXPECT_EQ(found.EndRecords[0].Entries, 2);
    EXPECT_EQ(found.CentralHeaders[1].LocalOffset, b.Built()[1].HeaderOffset);
    const TLocalHeader& local = found.LocalHeaders[0];
    EXPECT_EQ(local.CompressedSize, 0) << "as the header says, before its descriptor";
    EXPECT_EQ(found.Descriptors.at(local.DataStart()).Signed.Offset, b.Built()[0].DataEnd);

    const TFileInfo& entry = run->Engine->Entries()[0];
    EXPECT_EQ(entry.Found, &local);
    EXPECT_EQ(entry.Central, &found.CentralHeaders[0]);
    EXPECT_EQ(entry.CompressedSize, b.Built()[0].DataEnd - b.Built()[0].DataStart);
    EXPECT_EQ(entry.SizeSource, TSizeSource::Descriptor);
}
