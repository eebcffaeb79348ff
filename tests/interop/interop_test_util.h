// interop_test_util.h -- the parameterised test every corpus runs: one test
// per damaged variant and reader.
#pragma once

#include "corpus.h"

#include <gtest/gtest.h>
#include <iostream>
#include <tuple>

namespace tessary::interop {

using TVariantReader = std::tuple<std::string, TReader>;

inline std::string VariantReaderName(const ::testing::TestParamInfo<TVariantReader>& info) {
    std::string reader = ReaderName(std::get<1>(info.param));
    return std::get<0>(info.param) + "_" + (reader == "7z" ? std::string("sevenzip") : reader);
}

inline void PrintTo(TReader reader, std::ostream* os) {
    *os << ReaderName(reader);
}

// Runs the check and reports it: skipped with its reason, or one failure
// listing every entry the reader lost.
inline void ExpectIntactEntriesRead(TCorpus& corpus, const TVariantReader& param,
                                    TCheck check = TCheck::Content) {
    TVerdict v = corpus.Check(std::get<0>(param), std::get<1>(param), check);
    // A reader that fails on thousands of entries needs no thousand lines.
    const size_t shown = 20;
    for (size_t i = 0; i < v.Notes.size() && i < shown; ++i)
        std::cout << "[   NOTE   ] " << v.Notes[i] << "\n";
    if (v.Notes.size() > shown)
        std::cout << "[   NOTE   ] ... and " << v.Notes.size() - shown << " more\n";
    if (!v.SkipReason.empty())
        GTEST_SKIP() << v.SkipReason;
    if (v.Total > 0)
        std::cout << "[  ENTRIES ] " << v.Intact << " of " << v.Total
                  << " entries survived the damage; " << v.Checked << " checked\n";
    std::string failures;
    for (size_t i = 0; i < v.Failures.size(); ++i) {
        if (i + 1 < v.Failures.size() && i >= 2 * shown) {
            failures += "... and " + std::to_string(v.Failures.size() - 1 - i) + " more\n";
            i = v.Failures.size() - 2; // the last one names the files and the transcript
            continue;
        }
        failures += v.Failures[i] + "\n";
    }
    EXPECT_TRUE(v.Failures.empty()) << failures;
    if (v.Failures.empty()) {
        EXPECT_GT(v.Intact, 0u) << "the damage leaves no entry to check";
    }
    if (v.Failures.empty() && v.Intact > 0 && v.Checked == 0)
        GTEST_SKIP() << "the reader reads none of these entries even in the undamaged original";
}

} // namespace tessary::interop
