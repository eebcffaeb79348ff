// state_files_test.cpp -- the folders made for the settings file and the log
// are the user's private ones, whatever the umask lets others see.
#include "settings.h"
#include "tlog.h"

#include "test_helpers.h"

#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tessary {
namespace {

TEST(StateFiles, MissingFoldersAreMadePrivate) {
    const std::pair<const char*, std::function<void(const std::string&)>> cases[] = {
        {"settings",
         [](const std::string& folder) {
             InitSettings(folder);
             IniWriteString("Main", "Lng", "x.lng");
         }},
        {"log",
         [](const std::string& folder) {
             TLog log;
             log.Add(0, "x");
             log.SaveToFile(folder + "tessary.log", false);
         }},
    };
    const mode_t oldMask = ::umask(022);
    for (const auto& [what, write] : cases) {
        test::TTempFolder temp;
        write(temp.Path() + "base/tessary/");
        for (const char* folder : {"base", "base/tessary"}) {
            struct stat info {};
            ASSERT_EQ(::stat((temp.Path() + folder).c_str(), &info), 0) << what << " " << folder;
            EXPECT_EQ(info.st_mode & 07777, 0700u) << what << " " << folder;
        }
    }
    ::umask(oldMask);
}

} // namespace
} // namespace tessary
