// lng_tables_test.cpp -- the built-in texts and their lookup by number.
#include "lng.h"

#include <gtest/gtest.h>

namespace tessary {
namespace {

class LngTables : public ::testing::Test {
protected:
    void SetUp() override { InitLngTables(); }
    void TearDown() override { ClearLngTables(); }
};

TEST_F(LngTables, ErrorsByCodeAndOutsideTheTable) {
    EXPECT_EQ(GetLngError(0), "No Errors");
    EXPECT_EQ(GetLngError(23), "File save error");
    EXPECT_EQ(GetLngError(38), "Too many partitions");
    EXPECT_EQ(GetLngError(39), "");
    EXPECT_EQ(GetLngError(44), "");
    EXPECT_EQ(GetLngError(45), "45");
    EXPECT_EQ(GetLngError(-1), "-1");
}

TEST_F(LngTables, StringsBySlotAndOutsideTheTable) {
    EXPECT_EQ(GetLngString(0), "Unknown file system: %d");
    EXPECT_EQ(GetLngString(71), "");
    EXPECT_EQ(GetLngString(119), "Excellent");
    EXPECT_EQ(GetLngString(161), "Disk analyzing SPACE. Found %d files");
    EXPECT_EQ(GetLngString(169), "");
    EXPECT_EQ(GetLngString(170), "170");
    EXPECT_EQ(GetLngString(INT32_MIN), "-2147483648");
}

TEST_F(LngTables, TextsKeepTheirOddBytes) {
    EXPECT_EQ(GetLngString(116), "W\xE0rning"); // single-byte a-grave
    EXPECT_EQ(GetLngString(116).size(), 7u);
    EXPECT_EQ(GetLngString(148), " Folders");
    EXPECT_EQ(GetLngString(156), "Search ");
    EXPECT_EQ(GetLngString(27), "Enter correct file path \"%s\"");
    EXPECT_EQ(GetLngString(143), "Select Volume Params. To continue searching, click \"Next\".");
}

TEST_F(LngTables, ClearingEmptiesEverySlot) {
    ClearLngTables();
    EXPECT_EQ(GetLngError(0), "");
    EXPECT_EQ(GetLngString(119), "");
    EXPECT_EQ(GetLngString(170), "170");
}

} // namespace
} // namespace tessary
