// The parts of a split archive, found from any one of them by their names,
// and read in order as one stream.
#include "split_input.h"

#include "test_helpers.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace tessary;

namespace {

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// An end of central directory record that says it lies on disk `disk`.
std::string EndRecordOnDisk(uint16_t disk) {
    std::string r("PK\x05\x06", 4);
    r += std::string{char(disk & 0xFF), char(disk >> 8), char(disk & 0xFF), char(disk >> 8)};
    return r + std::string(14, '\0');
}

// The set's parts as "a.z01 a.z02? a.zip", '?' behind one not found;
// "none" when the file is an archive of its own.
std::string Describe(const std::optional<TSplitSet>& set, const std::string& folder) {
    if (!set)
        return "none";
    std::string text;
    for (size_t i = 0; i < set->Parts.size(); ++i)
        text += (i ? " " : "") + set->Parts[i].substr(folder.size()) + (set->Found[i] ? "" : "?");
    return text + " = " + set->Name.substr(folder.size());
}

} // namespace

TEST(SplitInput, PartsAreFoundByEitherNamingScheme) {
    // Files: names apart by spaces; "name@N" holds an end record that says it
    // lies on disk N (the last part's says how many parts come before it).
    const struct {
        const char* Label;
        std::string Files;
        std::string Named;
        std::string Expected;
    } rows[] = {
        {"an archive of its own", "a.zip", "a.zip", "none"},
        {"named by the last part", "a.z01 a.z02 a.zip", "a.zip", "a.z01 a.z02 a.zip = a.zip"},
        {"named by a middle part", "a.z01 a.z02 a.zip", "a.z02", "a.z01 a.z02 a.zip = a.zip"},
        {"a middle part missing", "a.z01 a.z03 a.zip", "a.z01", "a.z01 a.z02? a.z03 a.zip = a.zip"},
        {"the last part missing", "a.z01 a.z02", "a.z02", "a.z01 a.z02 a.zip? = a.zip"},
        {"capitals", "B.Z01 B.ZIP", "B.Z01", "B.Z01 B.ZIP = B.ZIP"},
        {"pieces", "c.zip.001 c.zip.002 c.zip.003", "c.zip.002",
         "c.zip.001 c.zip.002 c.zip.003 = c.zip"},
        {"a piece missing", "c.zip.001 c.zip.003", "c.zip.003",
         "c.zip.001 c.zip.002? c.zip.003 = c.zip"},
        {"pieces from 000", "e.zip.000 e.zip.001", "e.zip.000", "e.zip.000 e.zip.001 = e.zip"},
        {"a single piece", "c.zip.001", "c.zip.001", "none"},
        // A stray far higher number belongs to no set of these parts.
        {"a stray part number", "a.z01 a.z02 a.z900 a.zip", "a.z01", "a.z01 a.z02 a.zip = a.zip"},
        {"a stray part named", "a.z01 a.z900 a.zip", "a.z900", "none"},
        {"a stray piece number", "c.zip.001 c.zip.002 c.zip.900", "c.zip.002",
         "c.zip.001 c.zip.002 = c.zip"},
        {"a stray piece named", "c.zip.001 c.zip.002 c.zip.900", "c.zip.900", "none"},
        {"numbered files of no archive", "d.001 d.002", "d.001", "none"},
        {"end record: a single disk", "f.z01 f.zip@0", "f.zip", "none"},
        {"end record: parts lost at the end", "g.z01 g.z02 g.zip@3", "g.z01",
         "g.z01 g.z02 g.z03? g.zip = g.zip"},
        {"end record: a part of an older set", "h.z01 h.z02 h.zip@1", "h.zip",
         "h.z01 h.zip = h.zip"},
        {"end record: named by the older set's part", "h.z01 h.z02 h.zip@1", "h.z02", "none"},
    };
    for (const auto& row : rows) {
        test::TTempFolder folder;
        std::istringstream files(row.Files);
        for (std::string name; files >> name;) {
            size_t at = name.find('@');
            Write(folder.Path() + name.substr(0, at),
                  at == std::string::npos
                      ? "x"
                      : EndRecordOnDisk(uint16_t(std::stoi(name.substr(at + 1)))));
        }
        EXPECT_EQ(Describe(FindSplitSet(folder.Path() + row.Named), folder.Path()), row.Expected)
            << row.Label;
    }
}

// Each part but the last takes the room of the largest: a missing part and
// the lost end of a short one read as zeros, and every read but the last
// is whole across the parts' boundaries.
TEST(SplitInput, PartsReadAsOneStreamWithTheirLostBytesAsZeros) {
    test::TTempFolder folder;
    const std::string dir = folder.Path();
    Write(dir + "s.z01", std::string(100, 'a'));
    Write(dir + "s.z03", std::string(60, 'c'));
    Write(dir + "s.z04", std::string(100, 'd'));
    Write(dir + "s.zip", std::string(30, 'e'));
    const std::string expected = std::string(100, 'a') + std::string(100, '\0') +
                                 std::string(60, 'c') + std::string(40, '\0') +
                                 std::string(100, 'd') + std::string(30, 'e');
    std::unique_ptr<TInputStream> input = OpenArchiveInput(dir + "s.z03");
    ASSERT_EQ(input->Size(), int64_t(expected.size()));
    EXPECT_EQ(input->Name(), dir + "s.z03");
    std::unique_ptr<TInputStream> again = ReopenInput(*input, "s.z03");
    for (TInputStream* stream : {input.get(), again.get()}) {
        for (size_t step : {7u, 64u, 1000u}) {
            std::string read;
            for (int64_t at = 0; at < stream->Size();) {
                std::string chunk(step, '?');
                size_t got = stream->ReadAt(at, chunk.data(), step);
                ASSERT_EQ(got, std::min<size_t>(step, size_t(stream->Size() - at))) << at;
                read += chunk.substr(0, got);
                at += int64_t(got);
            }
            EXPECT_TRUE(read == expected) << "read " << step << " bytes at a time";
        }
    }

    const std::vector<TInputPart>& parts = input->Parts();
    ASSERT_EQ(parts.size(), 5u);
    const struct {
        int64_t Start, Length, Present;
        bool Missing, Short;
    } want[] = {{0, 100, 100, false, false},
                {100, 100, 0, true, false},
                {200, 100, 60, false, true},
                {300, 100, 100, false, false},
                {400, 30, 30, false, false}};
    for (size_t i = 0; i < parts.size(); ++i) {
        SCOPED_TRACE(parts[i].Name);
        EXPECT_EQ(parts[i].Start, want[i].Start);
        EXPECT_EQ(parts[i].Length, want[i].Length);
        EXPECT_EQ(parts[i].Present, want[i].Present);
        EXPECT_EQ(parts[i].Missing(), want[i].Missing);
        EXPECT_EQ(parts[i].Short(), want[i].Short);
        // Every part found is the damaged archive, which must never be replaced.
        EXPECT_EQ(input->IsSameFile(parts[i].Name), !want[i].Missing);
    }

    Write(dir + "plain.zip", "PK");
    EXPECT_TRUE(OpenArchiveInput(dir + "plain.zip")->Parts().empty());
    EXPECT_EQ(ArchiveNameOf(dir + "plain.zip"), dir + "plain.zip");
    EXPECT_EQ(ArchiveNameOf(dir + "s.z04"), dir + "s.zip");
}
