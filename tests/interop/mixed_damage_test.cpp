// mixed_damage_test.cpp -- an archive of every kind of entry real writers
// produce, damaged in every common way, repaired by tessary-cli and read
// back by each reader.
#include "interop_test_util.h"
#include "zip_builder.h"

namespace tessary::interop {
namespace {

using test::TDescriptor;
using test::TestBytes;
using test::TZipBuilder;
using test::TZipEntry;

TZipEntry Entry(std::string name, std::string data, bool deflate,
                TDescriptor descriptor = TDescriptor::None, bool zip64 = false) {
    TZipEntry e;
    e.Name = std::move(name);
    e.Data = std::move(data);
    e.Deflate = deflate;
    e.Descriptor = descriptor;
    e.Zip64 = zip64;
    return e;
}

// A stored ZIP archive inside the archive: its local headers are found too.
std::string NestedArchive() {
    TZipBuilder inner;
    inner.Add(Entry("inner/a.txt", TestBytes(4000, 101, true), true));
    inner.Add(Entry("inner/b.bin", TestBytes(1500, 102), false));
    inner.Add(Entry("inner/c.txt", TestBytes(2500, 103, true), true, TDescriptor::Signed));
    return inner.Finish("inner comment");
}

std::string LongName() {
    std::string name = "long";
    for (int i = 0; i < 4; ++i)
        name +=
            "/component-" + std::to_string(i) + "-" + std::string(60, static_cast<char>('a' + i));
    return name + "/file-with-a-long-path.txt"; // 330 bytes
}

// Indexes into the layout, so the damage below can aim at particular entries.
enum : size_t {
    Readme,
    StoredSmall,
    DeflatedSigned,
    DeflatedUnsigned,
    EmptyFile,
    Folder,
    SubFolder,
    NoteInFolder,
    StoredBig,
    DeflatedSignedBig,
    Zip64Signed,
    Zip64Unsigned,
    Zip64Sizes,
    Cp437Name,
    Utf8Name,
    LongPath,
    Nested,
    DeflatedUnsignedBig,
    StoredSigned,
    StoredUnsigned,
    LastUnsigned,
};

// Marks an entry's central directory header as written on MS-DOS (version made
// by 0x0014), as a DOS or Windows writer of a code page 437 name would.
void MarkMadeOnDos(std::string& zip, const std::string& name) {
    const std::string signature("PK\x01\x02", 4);
    for (size_t p = zip.find(signature); p != std::string::npos; p = zip.find(signature, p + 1)) {
        if (zip.compare(p + 46, name.size(), name) == 0) {
            zip[p + 4] = 0x14;
            zip[p + 5] = 0x00;
            return;
        }
    }
    throw std::logic_error("no central directory header for " + name);
}

std::string MakeMixedOriginal(const std::string&) {
    TZipBuilder b;
    b.Add(Entry("readme.txt", TestBytes(6000, 1, true), true));
    b.Add(Entry("data/stored.bin", TestBytes(3000, 2), false));
    b.Add(Entry("data/signed-deflated.txt", TestBytes(20000, 3, true), true, TDescriptor::Signed));
    b.Add(Entry("data/unsigned-deflated.txt", TestBytes(15000, 4, true), true,
                TDescriptor::Unsigned));
    b.Add(Entry("empty.txt", "", false));
    b.Add(Entry("folder/", "", false));
    b.Add(Entry("folder/sub/", "", false));
    b.Add(Entry("folder/sub/note.txt", TestBytes(300, 5, true), true));
    b.Add(Entry("big/stored-1.2MiB.bin", TestBytes(1258291, 6), false));
    b.Add(
        Entry("big/deflated-signed-1.1MiB.bin", TestBytes(1153434, 7), true, TDescriptor::Signed));
    b.Add(Entry("stream/zip64-signed.txt", TestBytes(30000, 8, true), true, TDescriptor::Signed,
                true));
    b.Add(Entry("stream/zip64-unsigned.txt", TestBytes(25000, 9, true), true, TDescriptor::Unsigned,
                true));
    b.Add(Entry("stream/zip64-sizes.bin", TestBytes(7000, 10), false, TDescriptor::None, true));
    // Code page 437, no UTF-8 flag: "München/äöÜ-ß.txt".
    const std::string cp437Name = "M\x81nchen/\x84\x94\x9A-\xE1.txt";
    b.Add(Entry(cp437Name, TestBytes(900, 11, true), true));
    TZipEntry utf8 = Entry("Gr\xC3\xBC\xC3\x9F"
                           "e/\xE6\x97\xA5\xE6\x9C\xAC-\xC3\xBCn\xC3\xAF.txt",
                           TestBytes(800, 12, true), false);
    utf8.Flags = 0x0800;
    b.Add(utf8);
    b.Add(Entry(LongName(), TestBytes(5000, 13, true), true));
    b.Add(Entry("nested/inner.zip", NestedArchive(), false));
    b.Add(Entry("big/deflated-unsigned-1.05MiB.bin", TestBytes(1101004, 14), true,
                TDescriptor::Unsigned));
    b.Add(Entry("tail/stored-signed.bin", TestBytes(4000, 15), false, TDescriptor::Signed));
    b.Add(Entry("tail/stored-unsigned.bin", TestBytes(3500, 16), false, TDescriptor::Unsigned));
    b.Add(Entry("tail/last-unsigned.txt", TestBytes(12000, 17, true), true, TDescriptor::Unsigned));
    std::string zip = b.Finish("original comment");
    MarkMadeOnDos(zip, cp437Name);
    return zip;
}

const TLayoutEntry& At(const TLayout& l, size_t i) {
    return l.Entries.at(i);
}

std::vector<TVariantPlan> MixedVariants() {
    return {
        {"Undamaged", [](TDamagedFile&, const TLayout&) {}},
        {"CentralDirectoryCutOff",
         [](TDamagedFile& f, const TLayout& l) { f.Truncate(l.CentralOffset); }},
        {"TruncatedAtQuarter",
         [](TDamagedFile& f, const TLayout& l) { f.Truncate(l.CentralOffset / 4); }},
        {"TruncatedAtHalf",
         [](TDamagedFile& f, const TLayout& l) { f.Truncate(l.CentralOffset / 2); }},
        {"TruncatedAtThreeQuarters",
         [](TDamagedFile& f, const TLayout& l) { f.Truncate(l.CentralOffset / 4 * 3); }},
        {"TruncatedInsideLocalHeader",
         [](TDamagedFile& f, const TLayout& l) { f.Truncate(At(l, StoredBig).HeaderOffset + 17); }},
        {"TruncatedInsideLongName",
         [](TDamagedFile& f, const TLayout& l) {
             f.Truncate(At(l, LongPath).HeaderOffset + 30 + 200);
         }},
        {"TruncatedInsideDescriptor",
         [](TDamagedFile& f, const TLayout& l) {
             f.Truncate(At(l, DeflatedSignedBig).RecordEnd - 7);
         }},
        {"TruncatedRightAfterUnsignedDescriptor",
         [](TDamagedFile& f, const TLayout& l) { f.Truncate(At(l, DeflatedUnsigned).RecordEnd); }},
        {"TruncatedInsideCentralDirectory",
         [](TDamagedFile& f, const TLayout& l) { f.Truncate(l.CentralOffset + 100); }},
        {"CentralDirectoryZeroed",
         [](TDamagedFile& f, const TLayout& l) {
             f.Overwrite(l.CentralOffset, std::string(l.Size - l.CentralOffset, '\0'));
         }},
        {"CentralDirectoryOverwritten",
         [](TDamagedFile& f, const TLayout& l) {
             f.Overwrite(l.CentralOffset, NoiseBytes(l.Size - l.CentralOffset, 21));
         }},
        {"EndRecordOverwritten",
         [](TDamagedFile& f, const TLayout& l) { f.Overwrite(l.Size - 30, NoiseBytes(30, 22)); }},
        {"SelfExtractorStubInFront",
         [](TDamagedFile& f, const TLayout&) { f.Insert(0, SelfExtractorStub(48 * 1024)); }},
        {"StubInFrontAndCentralDirectoryCutOff",
         [](TDamagedFile& f, const TLayout& l) {
             f.Truncate(l.CentralOffset);
             f.Insert(0, SelfExtractorStub(48 * 1024));
         }},
        {"ChunkDeletedAcrossEntries",
         [](TDamagedFile& f, const TLayout& l) {
             int64_t from = At(l, StoredSmall).DataStart + 1000;
             f.Delete(from, At(l, DeflatedSigned).DataStart + 2000 - from);
         }},
        {"ChunkDeletedInsideStoredData",
         [](TDamagedFile& f, const TLayout& l) {
             f.Delete(At(l, StoredBig).DataStart + 500000, 4096);
         }},
        {"ChunkDeletedInsideDeflatedData",
         [](TDamagedFile& f, const TLayout& l) { f.Delete(At(l, Readme).DataStart + 100, 500); }},
        {"ChunkInsertedBetweenEntries",
         [](TDamagedFile& f, const TLayout& l) {
             f.Insert(At(l, EmptyFile).HeaderOffset, NoiseBytes(5000, 23));
         }},
        {"ChunkInsertedInsideData",
         [](TDamagedFile& f, const TLayout& l) {
             f.Insert(At(l, DeflatedSignedBig).DataStart + 300000, NoiseBytes(777, 24));
         }},
        {"BytesFlippedAtRandom",
         [](TDamagedFile& f, const TLayout& l) {
             uint32_t x = 0x2545F491;
             for (int i = 0; i < 12; ++i) {
                 x = x * 1103515245u + 12345u;
                 f.FlipByte(static_cast<int64_t>(x % static_cast<uint32_t>(l.CentralOffset)),
                            static_cast<uint8_t>(1u << (x >> 29)));
             }
         }},
        {"CompressedSizeFieldFlipped",
         [](TDamagedFile& f, const TLayout& l) {
             f.FlipByte(At(l, StoredSmall).HeaderOffset + 21, 0x40);
         }},
        {"NameLengthFieldFlipped",
         [](TDamagedFile& f, const TLayout& l) {
             f.FlipByte(At(l, EmptyFile).HeaderOffset + 27, 0x0F);
         }},
        {"ExtraLengthFieldFlipped",
         [](TDamagedFile& f, const TLayout& l) {
             f.FlipByte(At(l, NoteInFolder).HeaderOffset + 29, 0x20);
         }},
        {"LocalSignatureBroken",
         [](TDamagedFile& f, const TLayout& l) {
             f.FlipByte(At(l, Folder).HeaderOffset + 2, 0x01);
         }},
        {"DescriptorSignatureBroken",
         [](TDamagedFile& f, const TLayout& l) {
             f.FlipByte(At(l, DeflatedSigned).RecordEnd - 15, 0x01);
         }},
    };
}

TCorpus& MixedCorpus() {
    static TCorpus corpus("mixed", MakeMixedOriginal, MixedVariants());
    return corpus;
}

class MixedArchive : public ::testing::TestWithParam<TVariantReader> {};

TEST_P(MixedArchive, IntactEntriesReadBack) {
    ExpectIntactEntriesRead(MixedCorpus(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Damage, MixedArchive,
                         ::testing::Combine(::testing::ValuesIn(VariantNames(MixedVariants())),
                                            ::testing::ValuesIn(AllReaders())),
                         VariantReaderName);

// Readers show each name as they show it in the original: code page 437,
// UTF-8 and long names keep their text through the repair.
class MixedArchiveNames : public ::testing::TestWithParam<TVariantReader> {};

TEST_P(MixedArchiveNames, ShownAsInOriginal) {
    ExpectIntactEntriesRead(MixedCorpus(), GetParam(), TCheck::Names);
}

INSTANTIATE_TEST_SUITE_P(Damage, MixedArchiveNames,
                         ::testing::Combine(::testing::Values("Undamaged",
                                                              "CentralDirectoryCutOff"),
                                            ::testing::ValuesIn(AllReaders())),
                         VariantReaderName);

// The repaired archive holds no layout a reader stumbles on: each reader
// reads every intact entry, also those of the original it cannot read
// (zip64 descriptors for Java, stored entries with descriptors for the
// stream readers).
class MixedArchiveEveryEntry : public ::testing::TestWithParam<TVariantReader> {};

TEST_P(MixedArchiveEveryEntry, ReadEvenWhereOriginalIsNot) {
    ExpectIntactEntriesRead(MixedCorpus(), GetParam(), TCheck::EveryEntry);
}

INSTANTIATE_TEST_SUITE_P(Damage, MixedArchiveEveryEntry,
                         ::testing::Combine(::testing::Values("Undamaged",
                                                              "CentralDirectoryCutOff"),
                                            ::testing::ValuesIn(AllReaders())),
                         VariantReaderName);

} // namespace
} // namespace tessary::interop
