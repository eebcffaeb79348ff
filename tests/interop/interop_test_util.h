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
    for (const std::string& note : v.Notes)
        std::cout << "[   NOTE   ] " << note << "\n";
    if (!v.SkipReason.empty())
        GTEST_SKIP() << v.SkipReason;
    std::string failures;
    for (const std::string& f : v.Failures)
        failures += f + "\n";
    EXPECT_TRUE(v.Failures.empty()) << failures;
    EXPECT_GT(v.Checked, 0u) << "no intact entry left to check";
}

} // namespace tessary::interop
