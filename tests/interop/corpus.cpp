// corpus.cpp -- repairing damaged copies through tessary-cli and judging
// the readers' listings of the repaired archives entry by entry.
#include "corpus.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <semaphore>
#include <stdexcept>
#include <thread>

#ifndef TESSARY_CLI_PATH
#error "TESSARY_CLI_PATH must name the tessary-cli binary"
#endif

namespace tessary::interop {

namespace fs = std::filesystem;

namespace {

class TScratchCleanup : public ::testing::Environment {
public:
    void TearDown() override {
        // Readers a filtered run never asked for may still be reading.
        for (const auto& pending : Pending())
            pending.wait();
        if (Root().empty())
            return;
        if (std::getenv("TESSARY_KEEP_SCRATCH")) {
            std::cout << "Test files kept in " << Root() << "\n";
            return;
        }
        std::error_code ec;
        fs::remove_all(Root(), ec);
        if (!::testing::UnitTest::GetInstance()->Passed())
            std::cout << "Test files removed; run with TESSARY_KEEP_SCRATCH=1 to keep them\n";
    }
    static std::vector<std::shared_future<std::vector<TReaderListing>>>& Pending() {
        static std::vector<std::shared_future<std::vector<TReaderListing>>> pending;
        return pending;
    }
    static std::string& Root() {
        static std::string root;
        return root;
    }
};

[[maybe_unused]] ::testing::Environment* const scratchCleanup =
    ::testing::AddGlobalTestEnvironment(new TScratchCleanup);

// As many readers run at a time as there are cores. Defined here, before any
// corpus exists, so that it outlives the corpora, whose destruction waits for
// their readers.
std::counting_semaphore<64> ReaderSlots(std::clamp<int>(std::thread::hardware_concurrency(), 1,
                                                        64));

std::string Printable(const std::string& name) {
    std::string out;
    for (unsigned char c : name) {
        if (c >= 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out.size() > 120 ? out.substr(0, 60) + "..." + out.substr(out.size() - 50) : out;
}

} // namespace

const std::string& ScratchRoot() {
    std::string& root = TScratchCleanup::Root();
    if (root.empty())
        root = MakeTempDir("tessary-interop-");
    return root;
}

std::string CliPath() {
    return TESSARY_CLI_PATH;
}

std::string NoiseBytes(size_t size, uint32_t seed) {
    std::string s(size, '\0');
    uint32_t x = seed * 2246822519u + 374761393u;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        char c = static_cast<char>(x >> 24);
        s[i] = c == 'P' ? 'Q' : c;
    }
    return s;
}

std::string SelfExtractorStub(size_t size) {
    std::string stub = "MZ\x90";
    stub += std::string("\x00\x03\x00\x00\x00\x04\x00\x00\x00\xFF\xFF", 11);
    stub += NoiseBytes(400, 7);
    stub += "This program cannot be run in DOS mode.\r\n";
    stub += NoiseBytes(900, 8);
    // A stray local header signature as a stub's search code holds it: the
    // bytes behind it are machine code, not a header (version needed 0xC3 in
    // its low byte, compression method 0xFC45).
    stub += std::string("PK\x03\x04\xC3\x8B\x45\xFC\x45\xFC\x8B\x4D\x08\x03\xC1\x89\x45\xF8", 18);
    stub += NoiseBytes(1200, 9);
    stub += std::string("PK\x01\x02", 4) + NoiseBytes(300, 10);
    stub += std::string("PK\x05\x06", 4) + NoiseBytes(300, 11);
    stub += std::string("PK\x07\x08", 4);
    if (stub.size() < size)
        stub += NoiseBytes(size - stub.size(), 12);
    return stub;
}

std::vector<std::string> VariantNames(const std::vector<TVariantPlan>& plans) {
    std::vector<std::string> names;
    for (const TVariantPlan& s : plans)
        names.push_back(s.Name);
    return names;
}

TCorpus::TCorpus(std::string name, std::function<std::string(const std::string&)> makeOriginal,
                 std::vector<TVariantPlan> variants, std::string password)
    : FName(std::move(name)), FPassword(std::move(password)),
      FMakeOriginal(std::move(makeOriginal)) {
    for (TVariantPlan& s : variants)
        FVariants.push_back(TVariant{std::move(s), nullptr, "", "", {}, std::nullopt, ""});
}

void TCorpus::Prepare() {
    if (FPrepared) {
        if (!FPrepareError.empty())
            throw std::runtime_error(FPrepareError);
        return;
    }
    FPrepared = true;
    std::string original;
    try {
        FDir = ScratchRoot() + "/" + FName;
        fs::create_directories(FDir);
        original = FMakeOriginal(FDir);
    } catch (const ECorpusUnavailable& e) {
        FUnavailable = e.what();
        return;
    } catch (const std::exception& e) {
        FPrepareError = "writing the original of corpus " + FName + " failed: " + e.what();
        throw std::runtime_error(FPrepareError);
    }
    try {
        FOriginalPath = FDir + "/original.zip";
        WriteFileBytes(FOriginalPath, original);
        FLayout = ParseLayout(original);
        for (TVariant& v : FVariants) {
            v.Damaged = std::make_unique<TDamagedFile>(original);
            v.Plan.Damage(*v.Damaged, FLayout);
            v.DamagedPath = FDir + "/" + v.Plan.Name + ".zip";
            v.RepairedPath = FDir + "/" + v.Plan.Name + "-repaired.zip";
            WriteFileBytes(v.DamagedPath, v.Damaged->Bytes());
            v.Damaged->ReleaseBytes();
            v.Repair =
                RunProcess({CliPath(), "--quiet", "--force", v.DamagedPath, "-o", v.RepairedPath});
            try {
                v.RepairedLayout = ParseLayout(ReadFileBytes(v.RepairedPath));
            } catch (const std::exception& e) {
                v.RepairedLayoutError = e.what();
            }
        }
    } catch (const std::exception& e) {
        FPrepareError = "building corpus " + FName + " failed: " + e.what();
        throw std::runtime_error(FPrepareError);
    }
    // Every reader reads the original and all repaired archives in one batch,
    // the batches side by side.
    std::vector<std::string> archives = {FOriginalPath};
    for (const TVariant& v : FVariants)
        archives.push_back(v.RepairedPath);
    for (TReader reader : AllReaders()) {
        if (!ReaderUnavailable(reader).empty())
            continue;
        std::string work = FDir + "/" + ReaderName(reader);
        fs::create_directories(work);
        FListings[reader] =
            std::async(std::launch::async, [reader, archives, work, name = FName,
                                            password = FPassword] {
                // Released however ReadArchives ends, so that a
                // reader that throws cannot starve the others.
                ReaderSlots.acquire();
                std::unique_ptr<void, void (*)(void*)> slot(&ReaderSlots,
                                                            [](void*) { ReaderSlots.release(); });
                auto start = std::chrono::steady_clock::now();
                auto listings = ReadArchives(reader, archives, work, password);
                slot.reset();
                if (std::getenv("TESSARY_INTEROP_TIMING"))
                    std::cerr << name << ": " << ReaderName(reader) << " read " << archives.size()
                              << " archives in "
                              << std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - start)
                                     .count()
                              << " ms\n";
                return listings;
            }).share();
        TScratchCleanup::Pending().push_back(FListings[reader]);
    }
}

TCorpus::TVariant& TCorpus::Find(const std::string& variant) {
    Prepare();
    for (TVariant& v : FVariants)
        if (v.Plan.Name == variant)
            return v;
    throw std::invalid_argument("no variant " + variant);
}

const std::vector<TReaderListing>& TCorpus::Listings(TReader reader) {
    Prepare();
    return FListings.at(reader).get();
}

TVerdict TCorpus::Check(const std::string& variant, TReader reader, TCheck check) {
    TVerdict verdict;
    verdict.SkipReason = ReaderUnavailable(reader);
    if (!verdict.SkipReason.empty())
        return verdict;
    TVariant& v = Find(variant);
    if (!FUnavailable.empty()) {
        verdict.SkipReason = FUnavailable;
        return verdict;
    }
    std::string r = ReaderName(reader);
    if (v.Repair.ExitCode != 0) {
        verdict.Failures.push_back("the repair failed:\n" + v.Repair.Describe());
        return verdict;
    }
    size_t index = 0;
    for (size_t i = 0; i < FVariants.size(); ++i)
        if (&FVariants[i] == &v)
            index = i + 1;
    const std::vector<TReaderListing>& listings = Listings(reader);
    const TReaderListing& baseline = listings.at(0);
    const TReaderListing& repaired = listings.at(index);
    for (const TReaderListing* l : {&baseline, &repaired}) {
        if (!l->Broken.empty()) {
            verdict.Failures.push_back(r + " did not run:\n" + l->Broken);
            return verdict;
        }
    }
    if (!baseline.Opened) {
        verdict.SkipReason = r + " refuses even the undamaged original (" + baseline.Refusal + ")";
        return verdict;
    }
    if (!repaired.Opened)
        verdict.Failures.push_back(r + " refuses the repaired archive: " + repaired.Refusal);
    for (const std::string& c : repaired.Complaints) {
        bool inOriginal = false;
        for (const std::string& o : baseline.Complaints)
            inOriginal = inOriginal || o == c;
        if (!inOriginal)
            verdict.Failures.push_back(r + " complains about the repaired archive: " + c);
    }

    // Readers list entries in archive order, so a listed entry's raw name is
    // that of the archive's entry at the same position. Where the reader reads
    // a plain ASCII name, it must show that name, or the positions disagree.
    auto rawNames = [&](const TReaderListing& listing, const std::vector<TLayoutEntry>& layout) {
        std::multimap<std::string, const TReaderEntry*> byRaw;
        for (const TReaderEntry& e : listing.Entries) {
            if (e.Index < 0 || static_cast<size_t>(e.Index) >= layout.size())
                continue;
            const TLayoutEntry& at = layout[static_cast<size_t>(e.Index)];
            const std::string& raw = at.Name;
            const std::string& read = listing.LocalNames ? at.LocalName : at.Name;
            bool ascii =
                std::all_of(read.begin(), read.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
            if (ascii && e.Ok && e.Name != read && e.Name + "/" != read)
                verdict.Failures.push_back(r + " lists '" + Printable(e.Name) + "' at position " +
                                           std::to_string(e.Index) + " where the archive has '" +
                                           Printable(raw) + "'");
            byRaw.emplace(raw, &e);
        }
        return byRaw;
    };
    std::multimap<std::string, const TReaderEntry*> original = rawNames(baseline, FLayout.Entries);
    std::multimap<std::string, const TReaderEntry*> found;
    if (v.RepairedLayout)
        found = rawNames(repaired, v.RepairedLayout->Entries);
    else
        verdict.Failures.push_back("the repaired archive's central directory cannot be read: " +
                                   v.RepairedLayoutError);

    verdict.Total = FLayout.Entries.size();
    for (size_t k = 0; k < FLayout.Entries.size(); ++k) {
        const TLayoutEntry& want = FLayout.Entries[k];
        if (!v.Damaged->EntrySurvives(FLayout, k))
            continue;
        ++verdict.Intact;
        std::string label = "'" + Printable(want.Name) + "'";
        const TReaderEntry* before = nullptr;
        auto b = original.equal_range(want.Name);
        for (auto it = b.first; it != b.second && !before; ++it)
            if (it->second->Index == static_cast<int64_t>(k))
                before = it->second;
        bool readBefore = before && before->Ok &&
                          (!before->HasContent ||
                           (before->Crc32 == want.Crc32 && before->Size == want.UncompressedSize));
        if (!readBefore && check != TCheck::EveryEntry) {
            verdict.Notes.push_back(r + " does not read entry " + label +
                                    " of the undamaged original either" +
                                    (before ? " (" + before->Message + ")" : " (not listed)") +
                                    "; not required of the repaired archive");
            continue;
        }
        ++verdict.Checked;
        const TReaderEntry* match = nullptr;
        std::string problems;
        auto range = found.equal_range(want.Name);
        for (auto it = range.first; it != range.second && !match; ++it) {
            const TReaderEntry& got = *it->second;
            std::string problem;
            if (!got.Ok)
                problem = got.Message.empty() ? "failed" : got.Message;
            else if (got.HasContent &&
                     (got.Crc32 != want.Crc32 || got.Size != want.UncompressedSize))
                problem = "content differs: CRC " + std::to_string(got.Crc32) + ", " +
                          std::to_string(got.Size) + " bytes";
            else if (got.IsDirectory && *got.IsDirectory != want.IsDirectory())
                problem = *got.IsDirectory ? "extracted as a folder" : "extracted as a file";
            else if (check == TCheck::Names && got.Name != before->Name)
                problem = "shown as '" + Printable(got.Name) + "' instead of '" +
                          Printable(before->Name) + "' as in the original";
            if (problem.empty())
                match = &got;
            else
                problems += " [" + problem + "]";
        }
        if (!match)
            verdict.Failures.push_back(r + ": intact entry " + label +
                                       (problems.empty() ? " is not listed" : problems));
    }
    if (!verdict.Failures.empty())
        verdict.Failures.push_back("damaged file: " + v.DamagedPath + "\nrepaired: " +
                                   v.RepairedPath + "\n" + repaired.Transcript.substr(0, 6000));
    return verdict;
}

} // namespace tessary::interop
