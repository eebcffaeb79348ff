// Archives that went through a text-mode transfer: every LF turned into
// CR LF, or every CR LF into LF, in data and headers alike. The repair reads
// them back with the damage undone in every entry whose CRC-32 then matches,
// says so in the entry's reasons, and leaves what it cannot restore as found.
#include "engine_test_util.h"
#include "entry_check.h"
#include "entry_reasons.h"
#include "text_mode.h"
#include "zip_builder.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tessary;
using namespace tessary::test;

namespace {

std::string Replaced(std::string s, const std::string& from, const std::string& to) {
    std::string out;
    for (size_t at = 0;;) {
        size_t hit = s.find(from, at);
        out.append(s, at, hit == std::string::npos ? std::string::npos : hit - at);
        if (hit == std::string::npos)
            return out;
        out += to;
        at = hit + from.size();
    }
}

std::string Transferred(const std::string& zip, TTextModeDamage damage) {
    return damage == TTextModeDamage::LfBecameCrLf ? Replaced(zip, "\n", "\r\n")
                                                   : Replaced(zip, "\r\n", "\n");
}

size_t Count(const std::string& s, const std::string& part) {
    size_t n = 0;
    for (size_t at = s.find(part); at != std::string::npos; at = s.find(part, at + 1))
        ++n;
    return n;
}

std::string UnixText(size_t size, uint32_t seed) {
    return TestBytes(size, seed, true);
}
std::string DosText(size_t size, uint32_t seed) {
    return Replaced(UnixText(size, seed), "\n", "\r\n");
}
// Binary with CR LF pairs in it, and text with binary runs.
std::string BinaryWithCrLf(size_t size, uint32_t seed) {
    std::string s = TestBytes(size, seed);
    s.replace(size / 3, 2, "\r\n");
    s.replace(2 * size / 3, 2, "\r\n");
    return s;
}
std::string Mixed(size_t size, uint32_t seed) {
    std::string s = UnixText(size, seed);
    for (size_t at = 0; at + 64 < size; at += 700)
        s.replace(at, 64, TestBytes(64, seed + static_cast<uint32_t>(at)));
    return s;
}

// Text whose deflated stream holds exactly `pairs` CR LF pairs: the
// transfer that drops CRs takes one from the compressed bytes, and only the
// inflater and the CRC can tell which LF lost it.
std::string TextDeflatingToCrLf(size_t pairs) {
    for (uint32_t seed = 1;; ++seed) {
        std::string s = UnixText(8000, seed);
        if (Count(RawDeflate(s), "\r\n") == pairs)
            return s;
    }
}

struct TTransfer {
    const char* Name;
    TTextModeDamage Damage;
    TDescriptor Descriptor;
    bool Directory;
    // Untouched entries first and a long CR LF text last: the damage shows
    // only past the first entries, and the last entry lost more CRs than the
    // directory behind it is long.
    bool Late = false;
};

const TTransfer Transfers[] = {
    {"LfBecameCrLf", TTextModeDamage::LfBecameCrLf, TDescriptor::None, true},
    {"LfBecameCrLfStreamedSigned", TTextModeDamage::LfBecameCrLf, TDescriptor::Signed, true},
    {"LfBecameCrLfStreamedUnsignedNoDirectory", TTextModeDamage::LfBecameCrLf,
     TDescriptor::Unsigned, false},
    {"CrLfBecameLf", TTextModeDamage::CrLfBecameLf, TDescriptor::None, true},
    {"CrLfBecameLfStreamedSigned", TTextModeDamage::CrLfBecameLf, TDescriptor::Signed, true},
    {"CrLfBecameLfStreamedUnsignedNoDirectory", TTextModeDamage::CrLfBecameLf,
     TDescriptor::Unsigned, false},
    {"CrLfBecameLfLateInTheArchive", TTextModeDamage::CrLfBecameLf, TDescriptor::None, true, true},
};

class TextModeTransfer : public ::testing::TestWithParam<TTransfer> {};

// Every kind of content, stored and deflated, comes back whole by CRC and
// by content, in both the two-stage repair and the one pass (Repair checks
// that they agree), and the content check reads the file as the scan did.
TEST_P(TextModeTransfer, EveryEntryComesBackWhole) {
    const TTransfer& t = GetParam();
    std::vector<std::pair<std::string, std::string>> contents;
    if (t.Late)
        for (uint32_t seed = 20; seed < 24; ++seed)
            contents.emplace_back("first-" + std::to_string(seed) + ".txt", UnixText(3000, seed));
    contents.insert(contents.end(), {
                                        {"unix.txt", UnixText(6000, 1)},
                                        {"dos.txt", DosText(6000, 2)},
                                        {"binary.bin", BinaryWithCrLf(3000, 3)},
                                        {"mixed.dat", Mixed(6000, 4)},
                                        {"crlf-in-stream.txt", TextDeflatingToCrLf(1)},
                                        {"empty.txt", ""},
                                    });
    if (t.Late)
        contents.emplace_back("last.txt", DosText(100000, 25));
    TZipBuilder b;
    for (const auto& [name, data] : contents)
        for (bool deflate : {true, false}) {
            TZipEntry e{name + (deflate ? ".deflated" : ".stored"), data};
            e.Deflate = deflate;
            e.Descriptor = t.Descriptor;
            b.Add(e);
        }
    const std::string zip = t.Directory ? b.Finish() : b.Bytes();
    const std::string damaged = Transferred(zip, t.Damage);
    // The entries whose records the transfer changed.
    size_t hit = 0;
    for (const TBuiltEntry& e : b.Built()) {
        std::string record =
            zip.substr(size_t(e.HeaderOffset), size_t(e.RecordEnd - e.HeaderOffset));
        hit += Transferred(record, t.Damage) != record ? 1 : 0;
    }
    ASSERT_GE(hit, 4u); // CR LF text, binary (stored and deflated), the stream with CR LF

    std::string repaired = Repair(damaged);
    TReadArchive a = ReadArchive(repaired);
    ASSERT_EQ(a.Entries.size(), 2 * contents.size());
    for (size_t i = 0; i < a.Entries.size(); ++i) {
        SCOPED_TRACE(a.Entries[i].Name);
        EXPECT_EQ(Extract(a.Entries[i]), contents[i / 2].second);
    }

    auto run = Scan(damaged);
    const TArcsalve& engine = *run->Engine;
    EXPECT_EQ(engine.TextModeDamage(), t.Damage);
    EXPECT_EQ(engine.TextModeNotRestored(), 0u);
    size_t marked = 0;
    auto check = engine.ReadAsScanned(std::make_unique<TMemoryInput>(damaged));
    for (size_t i = 0; i < engine.Entries().size(); ++i) {
        const TFileInfo& e = engine.Entries()[i];
        SCOPED_TRACE(std::string(e.Name()));
        std::vector<std::string> reasons = EntryReasons(e, engine.FileSize());
        bool said = std::find(reasons.begin(), reasons.end(), "text-mode transfer damage undone") !=
                    reasons.end();
        EXPECT_EQ(said, (e.Reasons & ReasonTextModeUndone) != 0);
        marked += said ? 1 : 0;
        EXPECT_EQ(CheckEntry(*check, e).Outcome, TCheckOutcome::Ok);
        EXPECT_EQ(e.Status, StatusExcellent);
    }
    EXPECT_EQ(marked, engine.TextModeRestored());
    EXPECT_EQ(marked, hit);
}

INSTANTIATE_TEST_SUITE_P(, TextModeTransfer, ::testing::ValuesIn(Transfers),
                         [](const auto& info) { return std::string(info.param.Name); });

// Archives that merely hold CR LF and LF, or are damaged some other way, are
// not taken for text-mode damage.
TEST(TextModeDetection, OtherArchivesAreLeftAlone) {
    TZipBuilder b;
    b.AddStored("dos.txt", DosText(5000, 5));
    b.AddStored("unix.txt", UnixText(5000, 6));
    b.AddDeflated("binary.bin", BinaryWithCrLf(20000, 7));
    b.AddStored("binary.bin", BinaryWithCrLf(20000, 8));
    const std::string intact = b.Finish();
    std::string cut = intact;
    cut.erase(static_cast<size_t>(b.Built()[1].DataStart + 100), 3); // bytes lost mid-entry
    std::string lfLost = intact;
    lfLost.erase(lfLost.find('\n', static_cast<size_t>(b.Built()[0].DataStart)), 1);
    for (const std::string* zip : {&intact, static_cast<const std::string*>(&cut),
                                   static_cast<const std::string*>(&lfLost)}) {
        TMemoryInput input(*zip);
        EXPECT_EQ(DetectTextModeDamage(input), TTextModeDamage::None);
        auto run = Scan(*zip);
        EXPECT_EQ(run->Engine->TextModeDamage(), TTextModeDamage::None);
    }
}

// An entry the transfer hit that also took other damage cannot match its
// CRC-32 however it is read: it is written as found, as without the
// restoration, while the others are restored.
TEST(TextModeDetection, EntryThatCannotBeRestoredStaysAsFound) {
    TZipBuilder b;
    b.AddStored("a.txt", DosText(4000, 9));
    b.AddStored("b.txt", DosText(4000, 10));
    b.AddDeflated("c.txt", TextDeflatingToCrLf(1));
    const std::string zip = b.Finish();
    std::string damaged = Transferred(zip, TTextModeDamage::CrLfBecameLf);
    const size_t dataOfB =
        Transferred(zip.substr(0, size_t(b.Built()[1].DataStart)), TTextModeDamage::CrLfBecameLf)
            .size();
    damaged[dataOfB + 20] ^= 0x40;

    auto run = Scan(damaged);
    const TArcsalve& engine = *run->Engine;
    EXPECT_EQ(engine.TextModeRestored(), 2u);
    EXPECT_EQ(engine.TextModeNotRestored(), 1u);
    run->Engine->GetRecovered("out.zip");
    TReadArchive a = ReadArchive(OutputOf(*run));
    ASSERT_EQ(a.Entries.size(), 3u);
    EXPECT_EQ(Extract(a.Entries[0]), DosText(4000, 9));
    EXPECT_EQ(Extract(a.Entries[2]), TextDeflatingToCrLf(1));

    TArcsalveOptions plain;
    plain.UndoTextMode = false;
    TMemoryFileSystem fs;
    plain.CreateOutput = fs.Factory();
    TArcsalve asFound(std::make_unique<TMemoryInput>(damaged), {}, plain);
    asFound.BeginScanFile();
    asFound.GetRecovered("out.zip");
    EXPECT_EQ(a.Entries[1].Data, ReadArchive(fs.Files["out.zip"]).Entries[1].Data);
}

// The restored view reads like the restored bytes wherever a read starts and
// however long it is, across edits and the edit list's blocks.
TEST(TextModeView, ReadsAsTheRestoredBytes) {
    const std::string original = Mixed(3 << 20, 12) + DosText(1 << 20, 13);
    for (TTextModeDamage damage : {TTextModeDamage::LfBecameCrLf, TTextModeDamage::CrLfBecameLf}) {
        SCOPED_TRACE(static_cast<int>(damage));
        const std::string damaged = Transferred(original, damage);
        // For LfBecameCrLf the CR before every LF of the damaged file; for
        // CrLfBecameLf the LF of each CR LF pair of the original, one byte
        // nearer the start in the damaged file for every CR dropped before.
        auto edits = std::make_shared<TEditList>(damage);
        const bool removing = damage == TTextModeDamage::LfBecameCrLf;
        const std::string& marked = removing ? damaged : original;
        const std::string mark = removing ? "\n" : "\r\n";
        int64_t dropped = 0;
        for (size_t at = marked.find(mark); at != std::string::npos; at = marked.find(mark, at + 1))
            edits->Append(removing ? static_cast<int64_t>(at) - 1
                                   : static_cast<int64_t>(at) - dropped++);
        ASSERT_GT(edits->Size(), 8192u);
        TMemoryInput input(damaged);
        TRestoredInput view(input, edits);
        ASSERT_EQ(view.Size(), static_cast<int64_t>(original.size()));
        std::string whole(original.size(), '\0');
        ASSERT_EQ(view.ReadAt(0, whole.data(), whole.size()), whole.size());
        EXPECT_TRUE(whole == original);
        uint32_t x = 1;
        for (int i = 0; i < 2000; ++i) {
            x = x * 1103515245u + 12345u;
            size_t at = (x >> 4) % original.size();
            size_t length = i % 3 == 0 ? 1 : (x >> 8) % 70000;
            std::string part(length, '\0');
            size_t got = view.ReadAt(static_cast<int64_t>(at), part.data(), length);
            ASSERT_EQ(part.substr(0, got), original.substr(at, length)) << at << " " << length;
        }
        // The byte behind the 101st removed CR, or the LF behind the 101st CR put back.
        if (removing)
            EXPECT_EQ(edits->RestoredOffset(edits->At(100) + 1), edits->At(100) - 100);
        else
            EXPECT_EQ(edits->RestoredOffset(edits->At(100)), edits->At(100) + 101);
    }
}

// Bytes whose bzip2 stream holds a CR LF pair for the transfer to break.
std::string BytesWhoseBzip2HoldsCrLf() {
    for (uint32_t seed = 1;; ++seed) {
        std::string original = TestBytes(2000, seed);
        if (Bzip2(original).find("\r\n") != std::string::npos)
            return original;
    }
}

struct TChoiceCase {
    const char* Name;
    uint16_t Method;
    std::string Original;
};

// The search finds which LFs lost their CR, by CRC for stored data and by
// decoding otherwise, and gives up when its budget is too small (a search by
// decoding does not begin when the budget cannot try every choice).
TEST(TextModeSearch, FindsTheCarriageReturnsTheDataNeeds) {
    const TChoiceCase cases[] = {
        {"StoredTwoOfMany", MethodStored, BinaryWithCrLf(5000, 14)},
        {"StoredTextAllOfThem", MethodStored, DosText(3000, 15)},
        {"DeflatedStoredBlocks", MethodDeflate, BinaryWithCrLf(5000, 16)},
        {"DeflatedHuffmanCodes", MethodDeflate, TextDeflatingToCrLf(2)},
        {"Bzip2", MethodBzip2, BytesWhoseBzip2HoldsCrLf()},
    };
    for (const TChoiceCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string data = c.Method == MethodDeflate ? RawDeflate(c.Original)
                                 : c.Method == MethodBzip2 ? Bzip2(c.Original)
                                                           : c.Original;
        const std::string likely = Replaced(data, "\r\n", "\n");
        std::vector<int64_t> spots;
        for (size_t at = likely.find('\n'); at != std::string::npos; at = likely.find('\n', at + 1))
            spots.push_back(static_cast<int64_t>(at));
        const size_t count = data.size() - likely.size();
        ASSERT_GT(count, 0u);
        TDataPromise promise;
        promise.Method = c.Method;
        promise.Crc32 = Crc32Of(c.Original);
        promise.UncompressedSize = static_cast<int64_t>(c.Original.size());
        auto chosen = FindCarriageReturns(likely, spots, count, promise);
        ASSERT_TRUE(chosen.has_value());
        EXPECT_EQ(WithCarriageReturns(likely, spots, *chosen), data);
        EXPECT_FALSE(FindCarriageReturns(likely, spots, count + 1, promise).has_value());
        TSearchBudget tiny;
        tiny.DecodedBytes = 100;
        tiny.StoredCombinations = 1;
        if (count < spots.size()) {
            EXPECT_FALSE(FindCarriageReturns(likely, spots, count, promise, tiny).has_value());
        }
    }
}

} // namespace
