// corpus.h -- one undamaged archive, damaged copies of it, their repair by
// tessary-cli, and the judgement of every reader on the repaired archives.
#pragma once

#include "archive_model.h"
#include "process.h"
#include "readers.h"

#include <functional>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessary::interop {

// The folder this test process keeps its files in, removed at the end unless
// the environment sets TESSARY_KEEP_SCRATCH (the archives run to hundreds of
// megabytes). TESSARY_INTEROP_TIMING prints how long each reader took over
// each corpus.
const std::string& ScratchRoot();

// The tool under test.
std::string CliPath();

// Thrown by a corpus's writer when the program that writes it is missing:
// its tests are skipped with the reason.
struct ECorpusUnavailable : std::runtime_error {
    using std::runtime_error::runtime_error;
};

using TDamage = std::function<void(TDamagedFile& file, const TLayout& original)>;

struct TVariantPlan {
    std::string Name; // also the test's name: letters, digits, underscores
    TDamage Damage;
};

enum class TCheck {
    Content,   // intact entries the reader reads in the original
    Names,     // ... and shown with the same text as in the original
    EveryEntry // intact entries, even those the reader fails on in the original
};

struct TVerdict {
    std::string SkipReason;
    std::vector<std::string> Failures;
    std::vector<std::string> Notes; // entries a reader could not read even in the original
    size_t Total = 0;               // entries of the original
    size_t Intact = 0;              // entries whose record survived the damage
    size_t Checked = 0;             // intact entries checked
};

class TCorpus {
public:
    // `makeOriginal` writes the undamaged archive into the given folder and
    // returns its bytes; encrypted entries are read with `password`.
    TCorpus(std::string name, std::function<std::string(const std::string& dir)> makeOriginal,
            std::vector<TVariantPlan> variants, std::string password = "");

    // Every entry whose record survived the damage of `variant` must be
    // listed by `reader` in the repaired archive and read back with its
    // original content, wherever the reader reads it from the original.
    TVerdict Check(const std::string& variant, TReader reader, TCheck check = TCheck::Content);

private:
    struct TVariant {
        TVariantPlan Plan;
        std::unique_ptr<TDamagedFile> Damaged;
        std::string DamagedPath;
        std::string RepairedPath;
        TProcessResult Repair;
        std::optional<TLayout> RepairedLayout;
        std::string RepairedLayoutError;
    };
    void Prepare();
    TVariant& Find(const std::string& variant);
    const std::vector<TReaderListing>& Listings(TReader reader);

    std::string FName;
    std::string FPassword;
    std::function<std::string(const std::string&)> FMakeOriginal;
    std::vector<TVariant> FVariants;
    std::string FDir;
    std::string FOriginalPath;
    TLayout FLayout;
    bool FPrepared = false;
    std::string FPrepareError;
    std::string FUnavailable;
    // Per reader: the listing of the original, then one per variant.
    std::map<TReader, std::shared_future<std::vector<TReaderListing>>> FListings;
};

// Test names for the variants crossed with the readers.
std::vector<std::string> VariantNames(const std::vector<TVariantPlan>& plans);

// Pseudo-random bytes for damage: repeatable, never a ZIP signature.
std::string NoiseBytes(size_t size, uint32_t seed);

// A self-extractor stub: program-like bytes holding stray "PK" signatures
// (local header, central header, end record, descriptor) whose fields make
// no sense.
std::string SelfExtractorStub(size_t size);

} // namespace tessary::interop
