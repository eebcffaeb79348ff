// cli_test.cpp -- tessary-cli's exit codes, messages and file handling.
#include "corpus.h"

#include <gtest/gtest.h>

namespace tessary::interop {
namespace {

TEST(CliUsage, Placeholder) {
    TProcessResult r = RunProcess({CliPath()});
    EXPECT_EQ(r.ExitCode, 2) << r.Describe();
}

} // namespace
} // namespace tessary::interop
