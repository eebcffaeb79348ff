// cli_test.cpp -- tessary-cli as scripts see it: exit codes, one-line
// errors, the files it writes and the ones it must leave alone.
#include "corpus.h"
#include "zip_builder.h"
#include "zip_reader.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <pty.h>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tessary::interop {
namespace {

namespace fs = std::filesystem;

enum TExit {
    Ok = 0,
    NothingFound = 1,
    Usage = 2,
    Input = 3,
    Output = 4,
    OutputIsInput = 5,
    CheckFailed = 7,
    CutShort = 8,
    Refused = 9,
};

// Headers claiming overlapping data: copied as claimed, the repaired archive
// would be hundreds of times the file.
std::string OverlappingClaims() {
    std::string zip(1 << 20, '\0');
    for (int i = 0; i < 300; ++i) {
        std::string h("PK\x03\x04\x0A\x00\x00\x00\x00\x00", 10);
        h += std::string(8, '\0');
        h += std::string("\xA0\xBB\x0D\x00\xA0\xBB\x0D\x00\x01\x00\x00\x00", 12);
        h += "n";
        zip.replace(static_cast<size_t>(i) * 3000, h.size(), h);
    }
    return zip;
}

// One deflated entry behind a signed data descriptor, with its directory.
std::string StreamedArchive() {
    test::TZipBuilder b;
    test::TZipEntry e{"streamed.txt", test::TestBytes(3000, 4, true)};
    e.Deflate = true;
    e.Descriptor = test::TDescriptor::Signed;
    b.Add(e);
    return b.Finish();
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A folder of its own per test, holding "damaged.zip": three entries whose
// central directory was cut off.
class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        FDir = ScratchRoot() + "/cli/" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(FDir);
        fs::create_directories(FDir);
        test::TZipBuilder b;
        b.AddDeflated("docs/readme.txt", test::TestBytes(5000, 1, true));
        b.AddStored("data.bin", test::TestBytes(2000, 2));
        b.AddStored("folder/", "");
        FDamaged = b.Bytes();
        WriteFileBytes(Path("damaged.zip"), FDamaged);
    }

    std::string Path(const std::string& name) const { return FDir + "/" + name; }

    TProcessResult Run(std::vector<std::string> args, TProcessOptions options = {}) const {
        args.insert(args.begin(), CliPath());
        if (options.WorkingDir.empty())
            options.WorkingDir = FDir;
        return RunProcess(args, options);
    }

    // Runs the Python asserts over the JSON document `json` (as `d`; its
    // summary as `s`); sys.argv[2] is the CRC-32 of data.bin. json.load
    // refuses anything but exactly one document.
    void ExpectJson(const std::string& json, const std::string& asserts) const {
        WriteFileBytes(Path("out.json"), json);
        TProcessResult check = RunProcess(
            {"python3", "-c",
             "import json, sys\nd = json.load(open(sys.argv[1]))\ns = d.get('summary')\n" + asserts,
             Path("out.json"), std::to_string(test::Crc32Of(test::TestBytes(2000, 2)))});
        EXPECT_EQ(check.ExitCode, 0) << check.Describe() << "\n" << json;
    }

    std::set<std::string> Listing() const {
        std::set<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(FDir))
            names.insert(e.path().lexically_relative(FDir).string());
        return names;
    }

    void ExpectInputUntouched() const {
        EXPECT_EQ(ReadFileBytes(Path("damaged.zip")), FDamaged)
            << "the damaged archive was changed";
    }

    // The archive holds the three entries with their content.
    void ExpectRepaired(const std::string& path) const {
        test::TReadArchive a;
        ASSERT_NO_THROW(a = test::ReadArchive(ReadFileBytes(path))) << path;
        ASSERT_EQ(a.Entries.size(), 3u);
        EXPECT_EQ(test::Extract(a.Entries[0]), test::TestBytes(5000, 1, true));
        EXPECT_EQ(test::Extract(a.Entries[1]), test::TestBytes(2000, 2));
        EXPECT_EQ(a.Entries[2].Name, "folder/");
    }

    std::string FDir;
    std::string FDamaged;
};

// Arguments or file names, given as one line split at spaces.
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

std::string UsageError(const std::string& reason) {
    return "tessary-cli: " + reason + "\nTry 'tessary-cli --help' for more information.\n";
}

// A command line that cannot be carried out: its exit status, its whole
// standard error, nothing on standard output and no file written or changed.
TEST_F(Cli, FailuresSayWhyAndWriteNothing) {
    struct TRow {
        const char* Label;
        std::string Args;
        int Exit;
        std::string Err;
    };
    const std::string cantCreate = "tessary-cli: Cannot create file \"";
    const TRow rows[] = {
        {"no archive", "", Usage, UsageError("no damaged archive given")},
        {"unknown option", "--frobnicate damaged.zip", Usage,
         UsageError("unknown option '--frobnicate'")},
        {"missing input", "absent.zip", Input,
         "tessary-cli: Cannot open file \"absent.zip\". No such file or directory\n"},
        // Permission bits do not stop root: a folder is its unreadable input.
        {"folder as input", "folder.zip", Input,
         "tessary-cli: Cannot open file \"folder.zip\". Not a regular file\n"},
        {"unreadable input", "locked.zip", Input,
         "tessary-cli: Cannot open file \"locked.zip\". Permission denied\n"},
        {"output under a file", "damaged.zip -o note.txt/repaired.zip", Output,
         cantCreate + "note.txt/repaired.zip\". Not a directory\n"},
        {"output is a folder", "damaged.zip -o out", Output,
         cantCreate + "out\". Is a directory\n"},
        {"existing output without --force", "damaged.zip -o note.txt", Output,
         cantCreate + "note.txt\". File exists (--force replaces it)\n"},
        // Every read succeeded: this is no read error.
        {"overlapping claims", "overlap.zip -o big.zip", Refused,
         "tessary-cli: Cannot repair file \"overlap.zip\". Its headers claim far more data than "
         "it holds (overlapping entries); the repaired archive would be more than twice its "
         "size, so nothing was written\n"},
    };
    WriteFileBytes(Path("overlap.zip"), OverlappingClaims());
    WriteFileBytes(Path("note.txt"), "not a folder\n");
    WriteFileBytes(Path("locked.zip"), FDamaged);
    ASSERT_EQ(::chmod(Path("locked.zip").c_str(), 0), 0);
    fs::create_directory(Path("out"));
    fs::create_directory(Path("folder.zip"));
    const std::set<std::string> scene = Listing();
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Label);
        if (row.Args == "locked.zip" && ::geteuid() == 0)
            continue; // root reads a file of mode 000
        TProcessResult r = Run(Words(row.Args));
        EXPECT_EQ(r.ExitCode, row.Exit) << r.Describe();
        EXPECT_EQ(r.Err, row.Err);
        EXPECT_EQ(r.Out, "");
        EXPECT_EQ(Listing(), scene);
    }
    EXPECT_EQ(ReadFileBytes(Path("note.txt")), "not a folder\n");
    ExpectInputUntouched();
}

// Every form of the command line, as a script would type it: the exit
// status, which repaired archives appear (each one checked whole), what the
// summary says, and a standard error left empty by a run that succeeds (no
// progress bar when it is no terminal).
struct TFormRow {
    const char* Label;
    std::string Args;
    int Exit;
    std::string Repaired;   // files that must hold the repaired archive
    const char* Out = "";   // expected in standard output
    bool Stdin = false;     // damaged.zip on standard input
    bool StdinPipe = false; // ... through a pipe rather than the file
    bool ArchiveOnStdout = false;
};

TEST_F(Cli, EveryOptionFormRepairsWhereItSays) {
    const TFormRow rows[] = {
        {"separate", "-o a.zip damaged.zip", Ok, "a.zip"},
        {"attached", "-oa.zip damaged.zip", Ok, "a.zip"},
        {"long separate", "damaged.zip --output a.zip", Ok, "a.zip"},
        {"long equals", "--output=a.zip damaged.zip", Ok, "a.zip"},
        {"abbreviated", "--outp=a.zip --qu damaged.zip", Ok, "a.zip"},
        {"bundled", "-qfoa.zip damaged.zip", Ok, "a.zip"},
        {"help", "--help", Ok, "", "Usage: tessary-cli"},
        {"bundled list", "-lq damaged.zip", Ok, ""},
        {"list ignores -o", "--list damaged.zip -o a.zip", Ok, "", "3 files have been found."},
        {"verbose list", "-lv streamed.zip", Ok, "", "   sizes from data descriptor at 0x"},
        {"default name beside the input", "in/damaged.zip", Ok, "in/recovered_damaged.zip",
         "3 files have been found, 3 files have been repaired into in/recovered_damaged.zip."},
        {"into a new folder", "damaged.zip -o out/repaired.zip", Ok, "out/repaired.zip",
         "3 files have been found, 3 files have been repaired into out/repaired.zip."},
        {"nothing found", "noise.bin", NothingFound, "", "Nothing is found"},
        {"empty file", "empty.zip", NothingFound, "", "Nothing is found"},
        {"options after the archive", "damaged.zip --fo --qu", Ok, "recovered_damaged.zip"},
        {"after --", "-q -- -damaged.zip", Ok, "recovered_-damaged.zip"},
        {"several", "damaged.zip -q copy.zip", Ok, "recovered_damaged.zip recovered_copy.zip"},
        {"several into a folder", "-d out damaged.zip copy.zip", Ok,
         "out/recovered_damaged.zip out/recovered_copy.zip"},
        {"worst status of several", "damaged.zip absent.zip noise.bin", Input,
         "recovered_damaged.zip"},
        {"-o with several", "damaged.zip copy.zip -o a.zip", Usage, ""},
        {"stdin from a file", "- -o a.zip", Ok, "a.zip", "", true},
        {"stdin from a pipe", "-", Ok, "recovered_stdin.zip", "", true, true},
        {"stdout", "damaged.zip -o -", Ok, "", "", false, false, true},
        {"pipe to pipe", "-q - -o -", Ok, "", "", true, true, true},
    };
    WriteFileBytes(Path("noise.bin"), NoiseBytes(100000, 5));
    WriteFileBytes(Path("empty.zip"), "");
    fs::create_directory(Path("in"));
    WriteFileBytes(Path("in/damaged.zip"), FDamaged);
    WriteFileBytes(Path("streamed.zip"), StreamedArchive());
    const std::vector<std::string> files = Words(
        "damaged.zip copy.zip -damaged.zip noise.bin empty.zip in in/damaged.zip streamed.zip");
    const std::set<std::string> scene(files.begin(), files.end());
    for (const TFormRow& row : rows) {
        SCOPED_TRACE(row.Label);
        for (const std::string& name : Listing())
            if (!scene.count(name))
                fs::remove_all(Path(name));
        WriteFileBytes(Path("copy.zip"), FDamaged);
        WriteFileBytes(Path("-damaged.zip"), FDamaged);
        TProcessOptions options;
        if (row.Stdin)
            options.StdinPath = Path("damaged.zip");
        options.StdinPipe = row.StdinPipe;
        TProcessResult r = Run(Words(row.Args), options);
        EXPECT_EQ(r.ExitCode, row.Exit) << r.Describe();
        std::set<std::string> expected = scene;
        for (const std::string& name : Words(row.Repaired)) {
            expected.insert(name);
            if (name.find('/') != std::string::npos)
                expected.insert(name.substr(0, name.find('/')));
            ExpectRepaired(Path(name));
        }
        EXPECT_EQ(Listing(), expected) << r.Describe();
        EXPECT_TRUE(Contains(r.Out, row.Out)) << r.Describe();
        if (row.Exit == Ok && !row.ArchiveOnStdout) {
            EXPECT_EQ(r.Err, "");
        }
        if (row.ArchiveOnStdout) {
            WriteFileBytes(Path("stdout.zip"), r.Out);
            ExpectRepaired(Path("stdout.zip"));
            EXPECT_TRUE(row.Args.rfind("-q", 0) == 0 || Contains(r.Err, "3 files have been found"))
                << "the summary goes to standard error\n"
                << r.Describe();
        }
        ExpectInputUntouched();
    }
}

// Several damaged archives: a table and a summary each, under its name.
TEST_F(Cli, SeveralArchivesGetASummaryEach) {
    WriteFileBytes(Path("copy.zip"), FDamaged);
    TProcessResult r = Run({"damaged.zip", "copy.zip"});
    EXPECT_EQ(r.ExitCode, Ok) << r.Describe();
    size_t first = r.Out.find("damaged.zip:\n");
    size_t second = r.Out.find("\ncopy.zip:\n");
    ASSERT_NE(first, std::string::npos) << r.Out;
    ASSERT_NE(second, std::string::npos) << r.Out;
    EXPECT_NE(r.Out.rfind("repaired into recovered_damaged.zip.", second), std::string::npos);
    EXPECT_NE(r.Out.find("repaired into recovered_copy.zip.", second), std::string::npos);

    // With --json, one document each, in order, whatever became of each.
    if (FindProgram("python3").empty())
        return;
    TProcessResult json = Run({"--json", "--list", "damaged.zip", "absent.zip"});
    EXPECT_EQ(json.ExitCode, Input) << json.Describe();
    WriteFileBytes(Path("out.json"), json.Out);
    TProcessResult check =
        RunProcess({"python3", "-c",
                    "import json, sys\n"
                    "text, docs, at = open(sys.argv[1]).read(), [], 0\n"
                    "while text[at:].strip():\n"
                    "    d, at = json.JSONDecoder().raw_decode(text, at + len(text[at:]) - "
                    "len(text[at:].lstrip()))\n"
                    "    docs.append(d)\n"
                    "assert [d['input'] for d in docs] == ['damaged.zip', 'absent.zip'], docs\n"
                    "assert docs[0]['summary']['found'] == 3 and 'error' not in docs[0], docs\n"
                    "assert docs[1]['error']['kind'] == 'open_input', docs\n",
                    Path("out.json")});
    EXPECT_EQ(check.ExitCode, 0) << check.Describe() << "\n" << json.Out;
}

// Every spelling of the input as output fails before anything is written,
// and leaves the input as it was, its links as they were and no file beside.
TEST_F(Cli, OutputSpelledAsTheInputIsRefused) {
    fs::create_symlink("damaged.zip", Path("symlink.zip"));
    fs::create_hard_link(Path("damaged.zip"), Path("hardlink.zip"));
    fs::create_directory(Path("sub"));
    const std::set<std::string> scene = Listing();
    for (const std::string& spelling : {std::string("damaged.zip"), std::string("./damaged.zip"),
                                        std::string("sub/../damaged.zip"), Path("damaged.zip"),
                                        std::string("symlink.zip"), std::string("hardlink.zip")}) {
        SCOPED_TRACE(spelling);
        TProcessResult r = Run({"damaged.zip", "-o", spelling});
        EXPECT_EQ(r.ExitCode, OutputIsInput) << r.Describe();
        EXPECT_EQ(r.Err, "tessary-cli: Cannot create file \"" + spelling +
                             "\". The repaired archive cannot replace the damaged one\n");
        ExpectInputUntouched();
        EXPECT_EQ(Listing(), scene);
        EXPECT_TRUE(fs::is_symlink(Path("symlink.zip")));
    }
}

TEST_F(Cli, ForceReplacesAnOldFileAndQuietPrintsNothing) {
    WriteFileBytes(Path("repaired.zip"), "old contents");
    TProcessResult r = Run({"damaged.zip", "-o", "repaired.zip", "--quiet", "-f"});
    EXPECT_EQ(r.ExitCode, Ok) << r.Describe();
    EXPECT_EQ(r.Out, "");
    EXPECT_EQ(r.Err, "");
    ExpectRepaired(Path("repaired.zip"));
    EXPECT_EQ(Listing(), (std::set<std::string>{"damaged.zip", "repaired.zip"}));
}

// The three entries followed by 32 GiB of holes: a scan of half a minute,
// long enough to be interrupted, that takes no room on the disk. False where
// the file system stores the holes.
bool MakeLongScan(const std::string& path) {
    if (::truncate(path.c_str(), int64_t(32) << 30) != 0)
        return false;
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && st.st_blocks * 512 < (int64_t(1) << 20);
}

// Extra fields past the scan's memory budget: the summary says where the
// scan stopped, in the words the wizard's Results page uses too.
TEST_F(Cli, ScanAtItsMemoryLimitSaysSoAndExits8) {
    ASSERT_TRUE(test::WriteLongExtraHeaders(Path("long-extras.zip"), 800));
    TProcessResult r = Run({"--list", "long-extras.zip"});
    EXPECT_EQ(r.ExitCode, CutShort) << r.Describe();
    EXPECT_TRUE(Contains(r.Out,
                         " files have been found.\nThe scan stopped at its memory limit; the "
                         "rest of the file was not searched.\n"))
        << r.Describe();
}

// Ctrl-C stops the scan at its next progress report; the entries found so
// far are written into a complete archive, and the exit code says it stopped.
TEST_F(Cli, InterruptStopsTheScanAndKeepsWhatWasFound) {
    if (!MakeLongScan(Path("damaged.zip")))
        GTEST_SKIP() << "no sparse files here: the long input would fill the disk";
    TProcessOptions options;
    options.SignalsAfterMs = {{1000, SIGINT}}; // well after start-up, long before the end
    options.TimeoutSeconds = 30;
    TProcessResult r = Run({"damaged.zip", "-o", "repaired.zip"}, options);
    EXPECT_EQ(r.ExitCode, 130) << r.Describe();
    EXPECT_TRUE(Contains(r.Out, "3 files have been repaired into repaired.zip (stopped early)."))
        << r.Describe();
    ExpectRepaired(Path("repaired.zip"));
    EXPECT_EQ(Listing(), (std::set<std::string>{"damaged.zip", "repaired.zip"}));
}

// A second Ctrl-C ends the program at once, leaving no file behind. Behind
// the three small entries stands one whose data claims a gigabyte of the long
// input, so that after the first Ctrl-C ends the scan the rebuild is still
// copying when the second arrives (or, on a slow machine, the scan is still
// running: either way the program must abort). Should a busy machine deliver
// both as one, the program ends normally and the run is tried again.
TEST_F(Cli, SecondInterruptAbortsAndLeavesNoFile) {
    std::string bigHeader("PK\x03\x04\x0a\x00\x00\x00\x00\x00\x00\x00\x21\x00"
                          "\x00\x00\x00\x00\x00\x00\x00\x40\x00\x00\x00\x40\x07\x00\x00\x00"
                          "big.bin",
                          37);
    WriteFileBytes(Path("damaged.zip"), FDamaged + bigHeader);
    if (!MakeLongScan(Path("damaged.zip")))
        GTEST_SKIP() << "no sparse files here: the long input would fill the disk";
    TProcessOptions options;
    options.SignalsAfterMs = {{1000, SIGINT}, {1150, SIGINT}};
    options.TimeoutSeconds = 60;
    TProcessResult r;
    for (int attempt = 0; attempt < 8; ++attempt) {
        fs::remove(Path("repaired.zip"));
        r = Run({"damaged.zip", "-o", "repaired.zip"}, options);
        if (!Contains(r.Out, "(stopped early)"))
            break;
    }
    EXPECT_EQ(r.ExitCode, 130) << r.Describe();
    EXPECT_TRUE(Contains(r.Err, "tessary-cli: aborted")) << r.Describe();
    EXPECT_EQ(Listing(), (std::set<std::string>{"damaged.zip"}));
}

// --json prints one document however the run ends, with what a script
// needs: each entry's name, sizes, CRC, method, offset, status and check,
// the summary and, where the run failed or was stopped, why.
TEST_F(Cli, JsonIsOneCompleteDocumentOnEveryExitPath) {
    if (FindProgram("python3").empty())
        GTEST_SKIP() << "python3 is not installed (scripts/setup.sh installs it)";
    struct TRow {
        const char* Label;
        std::vector<std::string> Args;
        int Exit;
        std::string Asserts; // Python over the document `d` and its summary `s`
        bool Interrupt = false;
    };
    const std::string entries =
        "keys = {'name', 'compressed_size', 'uncompressed_size', 'crc32', 'method',\n"
        "        'offset', 'status', 'status_word'}\n"
        "assert [e['name'] for e in d['entries']] == ['docs/readme.txt', 'data.bin',\n"
        "                                             'folder/'], d['entries']\n"
        "assert all(keys <= set(e) for e in d['entries']), d['entries']\n"
        "assert d['entries'][1]['crc32'] == '%08x' % int(sys.argv[2]), d['entries'][1]\n"
        "assert d['entries'][1]['uncompressed_size'] == 2000\n"
        "assert d['entries'][0]['method'] == 8 and d['entries'][1]['method'] == 0\n"
        "assert [e['status_word'] for e in d['entries'][:2]] == ['Excellent'] * 2\n"
        "assert s['found'] == 3 and 'error' not in d, d\n";
    const TRow rows[] = {
        {"repair",
         {"damaged.zip", "-o", "ok.zip"},
         Ok,
         entries + "assert s['written'] == 3 and s['output'] == 'ok.zip', s\n"
                   "assert d['format'] == 1 and d['input'] == 'damaged.zip', d\n"},
        {"list",
         {"--list", "damaged.zip"},
         Ok,
         entries + "assert s['written'] == 0 and s['output'] is None, s\n"},
        {"verify",
         {"--verify", "damaged.zip", "-o", "verified.zip"},
         Ok,
         "assert [e['check']['outcome'] for e in d['entries']] == ['ok'] * 3, d['entries']\n"
         "assert d['check'] == {'passed': 3, 'failed': 0, 'not_checked': 0, 'salvaged': 0,\n"
         "                      'left_out': 0}, d['check']\n"},
        {"nothing found",
         {"noise.bin"},
         NothingFound,
         "assert d['entries'] == [] and s['found'] == 0 and 'error' not in d\n"},
        {"input error",
         {"absent.zip"},
         Input,
         "assert d['entries'] == [] and d['error']['kind'] == 'open_input'\n"
         "assert d['error']['file'] == 'absent.zip' and d['error']['reason']\n"
         "assert d['error']['errno'] == 2, d['error']\n"},
        // The output is checked before the scan, so nothing has been listed.
        {"output error",
         {"damaged.zip", "-o", "note.txt/repaired.zip"},
         Output,
         "assert d['entries'] == [] and s['written'] == 0 and s['output'] is None\n"
         "assert d['error']['kind'] == 'create_output'\n"
         "assert d['error']['file'] == 'note.txt/repaired.zip'\n"},
        {"output is input",
         {"damaged.zip", "-o", "./damaged.zip"},
         OutputIsInput,
         "assert d['error']['kind'] == 'output_is_input'\n"},
        {"refused",
         {"overlap.zip", "-o", "refused.zip"},
         Refused,
         "assert d['error']['kind'] == 'refused' and d['error']['file'] == 'overlap.zip'\n"
         "assert s['written'] == 0 and s['output'] is None\n"},
        {"reasons",
         {"--list", "streamed.zip"},
         Ok,
         "r = d['entries'][0]['reasons']\n"
         "assert r[0].startswith('sizes from data descriptor at 0x'), r\n"
         "assert r[1].startswith('modes and made-by from central header at 0x'), r\n"},
        {"ctrl-c",
         {"long.zip", "-o", "stopped.zip"},
         130,
         "assert len(d['entries']) == 3 and d['stopped']['during'] == 'scan'\n"
         "assert s['stopped'] and 'error' not in d\n",
         true},
    };
    WriteFileBytes(Path("noise.bin"), NoiseBytes(100000, 5));
    WriteFileBytes(Path("note.txt"), "a plain file");
    WriteFileBytes(Path("overlap.zip"), OverlappingClaims());
    WriteFileBytes(Path("streamed.zip"), StreamedArchive());
    WriteFileBytes(Path("long.zip"), FDamaged);
    const bool sparse = MakeLongScan(Path("long.zip"));
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Label);
        if (row.Interrupt && !sparse) {
            std::cout << "no sparse files here: the Ctrl-C path was not tried\n";
            continue;
        }
        std::vector<std::string> args = row.Args;
        args.insert(args.begin(), "--json");
        TProcessOptions options;
        if (row.Interrupt) {
            options.SignalsAfterMs = {{1000, SIGINT}};
            options.TimeoutSeconds = 30;
        }
        TProcessResult r = Run(args, options);
        EXPECT_EQ(r.ExitCode, row.Exit) << r.Describe();
        ExpectJson(r.Out, row.Asserts);
    }
    ExpectRepaired(Path("ok.zip"));
    ExpectRepaired(Path("verified.zip"));
}

// The table shows sizes and names with the same rules as the wizard: a size
// field of all ones is unknown, and a UTF-8 name from a Unix writer is UTF-8,
// but for a right-to-left override, which is escaped.
TEST_F(Cli, TableUsesTheSharedEntryTexts) {
    test::TZipBuilder b;
    test::TZipEntry marked{"marked.txt", test::TestBytes(3000, 4, true)};
    marked.Deflate = true;
    marked.Descriptor = test::TDescriptor::Signed;
    b.Add(marked);
    test::TZipEntry unix{"Gr\xC3\xBC\xC3\x9F"
                         "e.txt",
                         "x"};
    unix.Extra = std::string("ux\x0B\x00\x01\x04\x00\x00\x00\x00\x04\x00\x00\x00\x00", 15);
    b.Add(unix);
    unix.Name = "live\xE2\x80\xAEtxt.exe";
    b.Add(unix);
    std::string zip = b.Bytes();
    zip.replace(static_cast<size_t>(b.Built()[0].RecordEnd - 4), 4, "\xFF\xFF\xFF\xFF");
    WriteFileBytes(Path("marked.zip"), zip);
    TProcessResult r = Run({"--list", "marked.zip"});
    EXPECT_EQ(r.ExitCode, Ok) << r.Describe();
    EXPECT_TRUE(Contains(r.Out, "             Excellent marked.txt\n")) << r.Describe();
    EXPECT_TRUE(Contains(r.Out, " Excellent Gr\xC3\xBC\xC3\x9F"
                                "e.txt\n"))
        << r.Describe();
    EXPECT_TRUE(Contains(r.Out, " Excellent live\\342\\200\\256txt.exe\n")) << r.Describe();
}

// Standard error on a terminal of 80 columns, standard output elsewhere.
TProcessResult RunUnderTerminal(const std::vector<std::string>& args, const std::string& dir) {
    winsize size{};
    size.ws_col = 80;
    size.ws_row = 24;
    int master = -1;
    pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
    if (pid == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::setenv("TERM", "xterm", 1);
        if (::chdir(dir.c_str()) != 0)
            ::_exit(127);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    TProcessResult r;
    r.CommandLine = args.back();
    if (pid < 0)
        return r;
    char chunk[4096];
    for (ssize_t n; (n = ::read(master, chunk, sizeof chunk)) > 0;)
        r.Err.append(chunk, static_cast<size_t>(n));
    ::close(master);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// While the checks of many small entries are collected the terminal shows the
// stage Checking, and no frame of any stage is wider than the terminal.
TEST_F(Cli, ProgressFitsTheTerminalAndShowsTheCheck) {
    test::TZipBuilder b;
    for (int i = 0; i < 100000; ++i)
        b.AddStored("f/" + std::to_string(i), "x");
    WriteFileBytes(Path("many.zip"), b.Bytes());
    TProcessResult r = RunUnderTerminal({CliPath(), "--list", "--verify", "many.zip"}, FDir);
    EXPECT_EQ(r.ExitCode, Ok) << r.Err;
    std::set<std::string> stages;
    size_t widest = 0;
    std::string frame;
    for (char c : r.Err + "\r") {
        if (c != '\r' && c != '\n') {
            frame += c;
            continue;
        }
        size_t escape = frame.find("\x1b[J");
        if (escape != std::string::npos)
            frame.erase(escape, 3);
        widest = std::max(widest, frame.size());
        if (!frame.empty())
            stages.insert(frame.substr(0, frame.find(' ')));
        frame.clear();
    }
    EXPECT_LT(widest, 80u) << r.Err;
    EXPECT_TRUE(stages.count("Scanning") && stages.count("Checking")) << r.Err;
}

// --verify, --drop-damaged and --salvage over one archive holding a sound
// entry, a stored one with a flipped byte and a deflated one cut off: the
// check column and summary, the exit status and what the archive holds.
TEST_F(Cli, CheckOptionsReportAndKeepWhatTheySay) {
    struct TRow {
        const char* Label;
        std::string Args;
        std::vector<const char*> Printed;
        size_t Written; // entries in the repaired archive; 0: none written
        bool Salvaged;  // the last one holds what was left of the cut-off entry, stored
    };
    const TRow rows[] = {
        {"verify",
         "--verify",
         {" ok ", "CRC error", "cut off", "Check: 1 passed, 2 failed, 0 not checked."},
         3,
         false},
        {"list", "--list --verify", {"CRC error", "cut off"}, 0, false},
        {"drop damaged",
         "--drop-damaged",
         {"CRC error, left out", "cut off, left out", "; 2 left out."},
         1,
         false},
        {"salvage", "--salvage", {"Average   cut off, salvaged", "; 1 salvaged."}, 3, true},
        {"salvage and drop",
         "--salvage --drop-damaged",
         {"CRC error, left out", "cut off, salvaged"},
         2,
         true},
    };
    const std::string cut = test::TestBytes(60000, 6, true);
    test::TZipBuilder b;
    b.AddStored("good.txt", "sound");
    b.AddStored("flipped.bin", test::TestBytes(2000, 2));
    b.AddDeflated("cut.txt", cut);
    const test::TBuiltEntry& last = b.Built()[2];
    std::string zip = b.Bytes().substr(0, static_cast<size_t>((last.DataStart + last.DataEnd) / 2));
    zip[static_cast<size_t>(b.Built()[1].DataStart + 10)] ^= 0x01;
    WriteFileBytes(Path("mixed.zip"), zip);
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Label);
        fs::remove(Path("repaired.zip"));
        TProcessResult r = Run(Words(std::string(row.Args) + " mixed.zip -o repaired.zip"));
        EXPECT_EQ(r.ExitCode, CheckFailed) << r.Describe();
        for (const char* text : row.Printed)
            EXPECT_TRUE(Contains(r.Out, text)) << "missing '" << text << "'\n" << r.Describe();
        if (row.Written == 0) {
            EXPECT_EQ(Listing(), (std::set<std::string>{"damaged.zip", "mixed.zip"}));
            continue;
        }
        test::TReadArchive a = test::ReadArchive(ReadFileBytes(Path("repaired.zip")));
        ASSERT_EQ(a.Entries.size(), row.Written);
        EXPECT_EQ(test::Extract(a.Entries[0]), "sound");
        const test::TReadEntry& salvaged = a.Entries.back();
        if (row.Salvaged) {
            ASSERT_EQ(salvaged.Name, "cut.txt");
            ASSERT_EQ(salvaged.Method, 0);
            std::string prefix = test::Extract(salvaged);
            EXPECT_GT(prefix.size(), 0u);
            EXPECT_EQ(prefix, cut.substr(0, prefix.size()));
        }
    }
}

// Damage only this tool undoes: the archive comes back whole, the content
// check reads what the repair read, and the list, the summary and the JSON
// document say what was undone. A text-mode transfer turned every LF into
// CR LF; a zeroed local header leaves an entry rebuilt from its central
// header, written after the entries found.
struct TUndoneDamage {
    const char* Name;
    // The damaged bytes of `zip` and the reason its changed entries carry.
    std::pair<std::string, std::string> (*Damage)(const std::string& zip, int64_t directory);
    std::vector<std::string> Printed; // lines of the -v repair's output
    const char* FirstEntry;           // the first entry written
    const char* Json;                 // asserted on the --json --list document
};

const TUndoneDamage UndoneDamages[] = {
    {"TextModeTransfer",
     [](const std::string& zip, int64_t) {
         std::string damaged;
         for (char c : zip)
             damaged += c == '\n' ? std::string("\r\n") : std::string(1, c);
         return std::pair(damaged, std::string("text-mode transfer damage undone"));
     },
     {"Text-mode transfer damage (every LF had become CR LF) was undone in 2 of 2 entries.\n",
      "   text-mode transfer damage undone\n"},
     "docs/readme.txt",
     "assert s['text_mode'] == {'damage': 'lf-became-crlf', 'restored': 2, 'not_restored': 0}, s\n"
     "assert all(REASON in e['reasons'] for e in d['entries'])\n"},
    {"ZeroedLocalHeader",
     [](const std::string& zip, int64_t directory) {
         std::string damaged = zip;
         std::fill_n(damaged.begin(), 30 + 15, '\0');
         std::ostringstream reason;
         reason << "local header destroyed; rebuilt from central header at 0x" << std::hex
                << directory;
         return std::pair(damaged, reason.str());
     },
     {" docs/readme.txt\n               REASON\n"},
     "data.bin",
     "e = d['entries'][1]\n"
     "assert e['name'] == 'docs/readme.txt' and e['offset'] == 0, e\n"
     "assert e['reasons'][0] == REASON, e\n"
     "assert 'text_mode' not in s, s\n"},
};

class CliUndoneDamage : public Cli, public ::testing::WithParamInterface<TUndoneDamage> {};

TEST_P(CliUndoneDamage, ComesBackWholeAndSaidSo) {
    if (RunProcess({"python3", "-c", ""}).ExitCode != 0)
        GTEST_SKIP() << "python3 is not installed (scripts/setup.sh installs it)";
    const TUndoneDamage& row = GetParam();
    test::TZipBuilder b;
    b.AddDeflated("docs/readme.txt", test::TestBytes(5000, 1, true));
    b.AddStored("data.bin", test::TestBytes(2000, 2));
    const std::string zip = b.Finish();
    auto [damaged, reason] = row.Damage(zip, b.CentralDirectoryOffset());
    WriteFileBytes(Path("in.zip"), damaged);
    auto withReason = [&](std::string text) {
        for (size_t at; (at = text.find("REASON")) != std::string::npos;)
            text.replace(at, 6, reason);
        return text;
    };

    TProcessResult r = Run(Words("--verify -v in.zip -o repaired.zip"));
    EXPECT_EQ(r.ExitCode, Ok) << r.Describe();
    EXPECT_TRUE(Contains(r.Out, "Check: 2 passed, 0 failed, 0 not checked.")) << r.Describe();
    for (const std::string& line : row.Printed)
        EXPECT_TRUE(Contains(r.Out, withReason(line))) << r.Describe();
    test::TReadArchive a = test::ReadArchive(ReadFileBytes(Path("repaired.zip")));
    ASSERT_EQ(a.Entries.size(), 2u);
    bool readmeFirst = a.Entries[0].Name == "docs/readme.txt";
    EXPECT_EQ(a.Entries[0].Name, row.FirstEntry);
    EXPECT_EQ(test::Extract(a.Entries[readmeFirst ? 0 : 1]), test::TestBytes(5000, 1, true));
    EXPECT_EQ(test::Extract(a.Entries[readmeFirst ? 1 : 0]), test::TestBytes(2000, 2));

    TProcessResult json = Run(Words("--json --list in.zip"));
    EXPECT_EQ(json.ExitCode, Ok) << json.Describe();
    ExpectJson(json.Out, "REASON = '" + reason + "'\n" + row.Json);
}

INSTANTIATE_TEST_SUITE_P(, CliUndoneDamage, ::testing::ValuesIn(UndoneDamages),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace tessary::interop
