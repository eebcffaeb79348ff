// split_archive_test.cpp -- archives in parts, as Info-ZIP's zip -s writes
// them (name.z01 ... name.zip) and as a file cut into pieces leaves them
// (name.zip.001 ...): repaired whole from any part, and with a middle part
// missing, every entry outside it intact and those reaching into it graded,
// named and checked as damaged.
#include "corpus.h"
#include "zip_builder.h"
#include "zip_reader.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <sstream>

namespace tessary::interop {
namespace {

namespace fs = std::filesystem;

// Compares the JSON document of the whole set's repair (argv[1]) with that of
// the set without the part argv[3] (argv[2]): an entry that lies outside the
// part's room is there, "Excellent" and "ok"; one found that reaches into it
// is "Average", names the part and fails its check. Prints the names of the
// entries outside, one a line.
constexpr const char* CompareScript = R"(
import json, os, sys
whole = json.load(open(sys.argv[1]))
miss = json.load(open(sys.argv[2]))
gone = sys.argv[3]
part = [p for p in miss['parts'] if os.path.basename(p['name']) == gone]
assert len(part) == 1 and part[0]['state'] == 'missing', miss['parts']
lo, hi = part[0]['offset'], part[0]['offset'] + part[0]['size']
ents = whole['entries']
end = whole['parts'][-1]['offset'] + whole['parts'][-1]['size']
hit = set()
for i, e in enumerate(ents):
    stop = ents[i + 1]['offset'] if i + 1 < len(ents) else end
    if e['offset'] < hi and lo < stop:
        hit.add(e['name'])
got = {e['name']: e for e in miss['entries']}
for e in ents:
    n = e['name']
    if n not in hit:
        g = got[n]
        assert g['status_word'] == 'Excellent' and g['check']['outcome'] == 'ok', g
        print(n)
    elif n in got:
        g = got[n]
        assert g['status_word'] == 'Average', g
        assert 'data in the missing part ' + gone in g.get('reasons', []), g
        assert g['check']['outcome'] != 'ok', g
assert hit, 'no entry reaches into the missing part'
sys.stderr.write('%d of %d entries lie outside %s; %d reach into it, %d of them found\n'
                 % (len(ents) - len(hit), len(ents), gone, len(hit), len(hit & set(got))))
)";

struct TScheme {
    const char* Label;
    const char* Named;   // the part the whole set is repaired from
    const char* Gone;    // the middle part taken away
    const char* Remains; // the part the rest is repaired from
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class SplitArchive : public ::testing::Test {
protected:
    void SetUp() override {
        if (FindProgram("zip").empty() || FindProgram("python3").empty() ||
            FindProgram("split").empty())
            GTEST_SKIP()
                << "zip, split or python3 is not installed (scripts/setup.sh installs them)";
        FDir = ScratchRoot() + "/split/" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(FDir);
        fs::create_directories(FDir + "/src");
        // Files of 20 to 90 KB, most of them incompressible, so that entries
        // span the 64 KB parts.
        for (int i = 0; i < 14; ++i) {
            std::string name = "src/f" + std::to_string(10 + i) + ".bin";
            FFiles[name] =
                test::TestBytes(size_t(20000 + (i * 37) % 7 * 10000), uint32_t(i), i % 4 == 0);
            WriteFileBytes(FDir + "/" + name, FFiles[name]);
        }
    }

    TProcessResult Run(const std::vector<std::string>& args) const {
        TProcessOptions options;
        options.WorkingDir = FDir;
        return RunProcess(args, options);
    }
    TProcessResult RunCli(std::vector<std::string> args) const {
        args.insert(args.begin(), CliPath());
        return Run(args);
    }

    // Every name listed holds its file's content in the archive `path`.
    void ExpectIntact(const std::string& path, const std::vector<std::string>& names) const {
        test::TReadArchive a = test::ReadArchive(ReadFileBytes(FDir + "/" + path));
        std::map<std::string, const test::TReadEntry*> byName;
        for (const test::TReadEntry& e : a.Entries)
            byName[e.Name] = &e;
        for (const std::string& name : names) {
            SCOPED_TRACE(name);
            ASSERT_TRUE(byName.count(name));
            auto file = FFiles.find(name);
            if (file != FFiles.end()) {
                EXPECT_TRUE(test::Extract(*byName[name]) == file->second);
            }
        }
    }

    // The set repaired whole from one of its parts, then without a middle part.
    void ExpectRepairs(const TScheme& s) {
        TProcessResult whole = RunCli({"--verify", "--json", s.Named, "-o", "whole.zip"});
        ASSERT_EQ(whole.ExitCode, 0) << whole.Describe();
        WriteFileBytes(FDir + "/whole.json", whole.Out);
        std::vector<std::string> all;
        for (const auto& [name, content] : FFiles)
            all.push_back(name);
        ExpectIntact("whole.zip", all);
        EXPECT_EQ(test::ReadArchive(ReadFileBytes(FDir + "/whole.zip")).Entries.size(),
                  FFiles.size() + 1) // and the folder
            << whole.Out;

        fs::rename(FDir + "/" + s.Gone, FDir + "/held-out");
        TProcessResult list = RunCli({"--list", s.Remains});
        EXPECT_EQ(list.ExitCode, 0) << list.Describe();
        EXPECT_NE(list.Out.find(std::string("; missing: ") + s.Gone + "."), std::string::npos)
            << list.Out;
        // The entries reaching into the missing part fail their check.
        TProcessResult miss = RunCli({"--verify", "--json", s.Remains, "-o", "miss.zip"});
        EXPECT_EQ(miss.ExitCode, 7) << miss.Describe();
        WriteFileBytes(FDir + "/miss.json", miss.Out);
        TProcessResult compare =
            Run({"python3", "-c", CompareScript, "whole.json", "miss.json", s.Gone});
        ASSERT_EQ(compare.ExitCode, 0) << compare.Describe();
        std::cout << "[  SPLIT   ] " << s.Label << ": " << compare.Err;
        ExpectIntact("miss.zip", Lines(compare.Out));
    }

    std::string FDir;
    std::map<std::string, std::string> FFiles;
};

TEST_F(SplitArchive, MadeByZipSplitComesBackFromAnyPart) {
    TProcessResult zip = Run({"zip", "-q", "-r", "-s", "64k", "set.zip", "src"});
    ASSERT_EQ(zip.ExitCode, 0) << zip.Describe();
    ASSERT_TRUE(fs::exists(FDir + "/set.z04")) << "expected a set of at least five parts";
    ExpectRepairs({"zip -s 64k", "set.z03", "set.z02", "set.zip"});
}

TEST_F(SplitArchive, CutIntoPiecesComesBackFromAnyPiece) {
    TProcessResult zip = Run({"zip", "-q", "-r", "one.zip", "src"});
    ASSERT_EQ(zip.ExitCode, 0) << zip.Describe();
    TProcessResult cut =
        Run({"split", "-b", "64k", "-d", "-a", "3", "--numeric-suffixes=1", "one.zip", "set.zip."});
    ASSERT_EQ(cut.ExitCode, 0) << cut.Describe();
    fs::remove(FDir + "/one.zip");
    ASSERT_TRUE(fs::exists(FDir + "/set.zip.005")) << "expected at least five pieces";
    ExpectRepairs({"split -b 64k", "set.zip.004", "set.zip.002", "set.zip.003"});
}

} // namespace
} // namespace tessary::interop
