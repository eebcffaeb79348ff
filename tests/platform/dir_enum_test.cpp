// dir_enum_test.cpp -- wildcard enumeration of folder entries.
#include "dir_enum.h"

#include "test_helpers.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace tessary {
namespace {

TEST(FindMatchingEntries, ListsHiddenFilesAndFoldersAlikeWithoutRegardToCase) {
    test::TTempFolder temp;
    test::WriteFile(temp.Path() + "lng/english.lng", "");
    test::WriteFile(temp.Path() + "lng/.hidden.lng", "");
    test::WriteFile(temp.Path() + "lng/UPPER.LNG", "");
    test::WriteFile(temp.Path() + "lng/notes.txt", "");
    test::WriteFile(temp.Path() + "lng/english.lng.bak", "");
    std::filesystem::create_directory(temp.Path() + "lng/folder.lng");

    test::TScopedCurrentFolder current(temp.Path());
    std::vector<std::string> names = FindMatchingEntries("lng/*.lng");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{".hidden.lng", "UPPER.LNG", "english.lng", "folder.lng"}));
}

TEST(FindMatchingEntries, MissingFolderGivesNothing) {
    test::TTempFolder temp;
    test::TScopedCurrentFolder current(temp.Path());
    EXPECT_TRUE(FindMatchingEntries("lng/*.lng").empty());
}

} // namespace
} // namespace tessary
