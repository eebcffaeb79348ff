// large_archives_test.cpp -- records placed across the 1 MiB read-buffer
// boundaries of the scan, and more entries than the end record's 16-bit
// count holds; both repaired by tessary-cli and read back by each reader.
#include "interop_test_util.h"
#include "zip_builder.h"

#include <filesystem>

namespace tessary::interop {
namespace {

constexpr int64_t MiB = 1 << 20;

using test::TDescriptor;
using test::TestBytes;
using test::TZipBuilder;
using test::TZipEntry;

// One record placed against a multiple of 1 MiB: the entry, and where its
// header must start for the record's interesting part to sit at `Shift`
// bytes from the boundary (negative: before it).
struct TPlacement {
    std::string What;
    TZipEntry Entry;
    int64_t HeaderToPart; // from the header to the part placed at the boundary
    int64_t Shift;
};

TZipEntry Stored(const std::string& name, const std::string& data,
                 TDescriptor descriptor = TDescriptor::None) {
    TZipEntry e;
    e.Name = name;
    e.Data = data;
    e.Descriptor = descriptor;
    return e;
}

TZipEntry Deflated(const std::string& name, const std::string& data, TDescriptor descriptor) {
    TZipEntry e = Stored(name, data, descriptor);
    e.Deflate = true;
    return e;
}

std::vector<TPlacement> Placements() {
    std::vector<TPlacement> p;
    // Local headers beginning just before a boundary, so that their 30 fixed
    // bytes straddle it or end right at it, and one just behind it.
    for (int64_t before : {1, 2, 3, 4, 15, 16, 29, 30, 31, 33, 34, 40}) {
        std::string name = "header-" + std::to_string(before) + "-before.txt";
        p.push_back({name, Stored(name, TestBytes(100 + before, 300 + before, true)), 0, -before});
    }
    p.push_back({"header-at", Stored("header-at.txt", TestBytes(70, 299, true)), 0, 0});
    p.push_back({"header-after", Stored("header-after.txt", TestBytes(80, 298, true)), 0, 2});
    // A name running across the boundary.
    std::string longName = "name-across/" + std::string(60, 'n') + ".txt";
    p.push_back({"name-across", Stored(longName, TestBytes(90, 297, true)), 30, -25});
    // Data descriptors across the boundary and in the last bytes before it.
    for (int64_t before : {4, 8, 15}) {
        std::string name = "signed-descriptor-" + std::to_string(before) + "-before.txt";
        std::string data = TestBytes(3000, 400 + before, true);
        int64_t toDescriptor =
            30 + static_cast<int64_t>(name.size() + test::RawDeflate(data).size());
        p.push_back({name, Deflated(name, data, TDescriptor::Signed), toDescriptor, -before});
    }
    for (int64_t before : {3, 6, 12}) {
        std::string name = "unsigned-descriptor-" + std::to_string(before) + "-before.txt";
        std::string data = TestBytes(2500, 500 + before, true);
        int64_t toDescriptor =
            30 + static_cast<int64_t>(name.size() + test::RawDeflate(data).size());
        p.push_back({name, Deflated(name, data, TDescriptor::Unsigned), toDescriptor, -before});
    }
    return p;
}

// Each placement behind a stored filler entry sized to put it in place.
std::string MakeBoundaryOriginal(const std::string&) {
    TZipBuilder b;
    int64_t boundary = MiB;
    int index = 0;
    for (const TPlacement& p : Placements()) {
        int64_t headerAt = boundary + p.Shift - p.HeaderToPart;
        std::string fillerName = "filler-" + std::to_string(index) + ".bin";
        int64_t gap = headerAt - static_cast<int64_t>(b.Bytes().size()) - 30 -
                      static_cast<int64_t>(fillerName.size());
        if (gap < 0)
            throw std::logic_error("placements overlap at " + p.What);
        b.AddStored(fillerName, TestBytes(static_cast<size_t>(gap), 1000 + index));
        b.Add(p.Entry);
        if (b.Built().back().HeaderOffset != headerAt)
            throw std::logic_error("misplaced " + p.What);
        boundary += MiB;
        ++index;
    }
    b.AddStored("last.txt", TestBytes(500, 999, true));
    return b.Finish();
}

std::vector<TVariantPlan> BoundaryVariants() {
    return {
        {"Undamaged", [](TDamagedFile&, const TLayout&) {}},
        {"CentralDirectoryCutOff",
         [](TDamagedFile& f, const TLayout& l) { f.Truncate(l.CentralOffset); }},
        // The last entry's unsigned descriptor then ends the file.
        {"CutOffBehindLastDescriptor",
         [](TDamagedFile& f, const TLayout& l) {
             f.Truncate(l.Entries.at(l.Entries.size() - 2).RecordEnd);
         }},
    };
}

TCorpus& BoundaryCorpus() {
    static TCorpus corpus("boundaries", MakeBoundaryOriginal, BoundaryVariants());
    return corpus;
}

class BufferBoundaries : public ::testing::TestWithParam<TVariantReader> {};

TEST_P(BufferBoundaries, IntactEntriesReadBack) {
    ExpectIntactEntriesRead(BoundaryCorpus(), GetParam(), TCheck::EveryEntry);
}

INSTANTIATE_TEST_SUITE_P(Large, BufferBoundaries,
                         ::testing::Combine(::testing::ValuesIn(VariantNames(BoundaryVariants())),
                                            ::testing::ValuesIn(AllReaders())),
                         VariantReaderName);

// 70,000 tiny stored entries written by Python's zipfile, which gives them a
// zip64 end record.
constexpr int ManyEntries = 70000;

std::string MakeManyOriginal(const std::string& dir) {
    if (FindProgram("python3").empty())
        throw ECorpusUnavailable("python3 is not installed (scripts/setup.sh installs it): "
                                 "the archive of many entries cannot be made");
    std::string plan = dir + "/plan.json";
    WriteFileBytes(plan, "{\"output\": \"" + dir + "/many.zip\", \"many\": {\"count\": " +
                             std::to_string(ManyEntries) + ", \"prefix\": \"many/\"}}\n");
    TProcessResult r = RunProcess(
        {"python3", std::string(TESSARY_INTEROP_SOURCE_DIR) + "/zip_check.py", "make", plan});
    if (r.ExitCode != 0)
        throw std::runtime_error("Python could not write the archive:\n" + r.Describe());
    return ReadFileBytes(dir + "/many.zip");
}

std::vector<TVariantPlan> ManyVariants() {
    return {
        {"CentralDirectoryCutOff",
         [](TDamagedFile& f, const TLayout& l) { f.Truncate(l.CentralOffset); }},
        {"TruncatedInLastEntries",
         [](TDamagedFile& f, const TLayout& l) {
             f.Truncate(l.Entries.at(l.Entries.size() - 100).HeaderOffset + 10);
         }},
    };
}

TCorpus& ManyCorpus() {
    static TCorpus corpus("many", MakeManyOriginal, ManyVariants());
    return corpus;
}

class ManyEntriesArchive : public ::testing::TestWithParam<TVariantReader> {};

TEST_P(ManyEntriesArchive, IntactEntriesReadBack) {
    ExpectIntactEntriesRead(ManyCorpus(), GetParam(), TCheck::EveryEntry);
}

INSTANTIATE_TEST_SUITE_P(Large, ManyEntriesArchive,
                         ::testing::Combine(::testing::ValuesIn(VariantNames(ManyVariants())),
                                            ::testing::ValuesIn(AllReaders())),
                         VariantReaderName);

} // namespace
} // namespace tessary::interop
