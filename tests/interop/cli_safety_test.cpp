// cli_safety_test.cpp -- tessary-cli given hostile or unusual paths and
// inputs, each tried as a new user would: it never replaces what is not a
// regular file of ours, never reports a read or write failure as success,
// never prints a name's control bytes raw, and never changes its input.
#include "corpus.h"
#include "zip_builder.h"
#include "zip_reader.h"

#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace tessary::interop {
namespace {

namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string Sha256(const std::string& path) {
    TProcessResult r = RunProcess({"sha256sum", path});
    return r.ExitCode == 0 ? r.Out.substr(0, 64) : "unreadable: " + r.Describe();
}

// A scratch folder with "damaged.zip" (three entries, central directory cut
// off, names holding control bytes), where each row builds what it needs.
struct TScene {
    std::string Dir;
    std::string Path(const std::string& name) const { return Dir + "/" + name; }
    // A device node inside the scratch folder (never the real /dev); false
    // where device nodes cannot be made (not root, or no CAP_MKNOD).
    bool Device(const std::string& name, int major, int minor) const {
        return ::mknod(Path(name).c_str(), S_IFCHR | 0666, makedev(major, minor)) == 0;
    }
    // Thousands of three-byte entries of empty data; entry content does not
    // matter, only that the table printed for them outgrows a pipe's buffer.
    void ManyEntries(const std::string& name, int count) const {
        test::TZipBuilder b;
        for (int i = 0; i < count; ++i)
            b.AddStored("entry-" + std::to_string(i) + ".txt", "x");
        WriteFileBytes(Path(name), b.Bytes());
    }
    // 32 GiB of holes behind `head`: a scan long enough to be interrupted.
    bool LongFile(const std::string& name, const std::string& head) const {
        WriteFileBytes(Path(name), head);
        struct stat st;
        return ::truncate(Path(name).c_str(), int64_t(32) << 30) == 0 &&
               ::stat(Path(name).c_str(), &st) == 0 && st.st_blocks * 512 < (int64_t(1) << 20);
    }
};

struct TSafetyRow {
    const char* Name;
    // Prepares the scene; returns a reason to skip the row, or "".
    std::function<std::string(const TScene&)> Setup;
    // Arguments after the program, split at spaces; "@sh script": the script
    // run by bash with the program as $1, for pipes, redirections and limits.
    std::string Args;
    int Exit;          // expected exit code; -1: ended by a signal
    std::string Err;   // expected in standard error ("" checks nothing)
    std::string Input; // the file whose checksum must not change
    std::function<void(const TScene&, const TProcessResult&)> Check = {};
    int Signal = 0;                                 // sent a second after the start
    std::function<void(const TScene&)> During = {}; // runs beside the program
};

using TSetup = std::function<std::string(const TScene&)>;

std::string Always(const TScene&) {
    return "";
}

TSetup Fifo(std::string name) {
    return [name](const TScene& s) {
        return ::mkfifo(s.Path(name).c_str(), 0600) == 0 ? "" : "cannot make a FIFO";
    };
}

TSetup Device(std::string name, int major, int minor) {
    return [=](const TScene& s) { return s.Device(name, major, minor) ? "" : "no device nodes"; };
}

// long.zip: 32 GiB of holes, behind the damaged archive where `withEntries`.
TSetup LongScan(bool withEntries) {
    return [withEntries](const TScene& s) {
        std::string head = withEntries ? ReadFileBytes(s.Path("damaged.zip")) : "";
        return s.LongFile("long.zip", head) ? "" : "no sparse files";
    };
}

TSetup ManyEntries() {
    return [](const TScene& s) { return s.ManyEntries("many.zip", 6000), ""; };
}

// Both setups, the first reason to skip winning.
TSetup Both(TSetup first, TSetup second) {
    return [=](const TScene& s) {
        std::string skip = first(s);
        return skip.empty() ? second(s) : skip;
    };
}

// A mount namespace without /proc, where the program names its temporary
// file from the start. Sanitizer runtimes need /proc for themselves: with
// them the program cannot even show its version there.
std::string WithoutProc(const TScene&) {
    TProcessResult r = RunProcess({"unshare", "-m", "bash", "-c",
                                   "umount -l /proc && exec \"$1\" --version", "bash", CliPath()});
    return r.ExitCode == 0 && r.Err.empty() ? "" : "no mount namespace, or no run without /proc";
}

// The library that makes system calls fail (fault_shim.cpp), loaded before
// the program with `faults` set; a sanitizer runtime takes one beside it
// only when told.
std::string Faults(const std::string& library, const std::string& faults) {
    return "LD_PRELOAD=" + library +
           " ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 " + faults + " ";
}

TSetup FaultsLoad(std::string library) {
    return [library](const TScene&) {
        TProcessResult r = RunProcess(
            {"bash", "-c", Faults(library, "") + "exec \"$1\" --version", "bash", CliPath()});
        return r.ExitCode == 0 && r.Err.empty() ? "" : "the fault library cannot be loaded here";
    };
}

const std::string kFaults = TESSARY_FAULT_SHIM;
const std::string kAllocFaults = TESSARY_ALLOC_SHIM;

// An unprivileged user's symbolic link to nothing, planted in a shared
// folder (world-writable, sticky) as the default output name of
// shared/damaged.zip; it leads into a folder only root may enter. Needs root
// to plant it as another user.
std::string PlantedLink(const TScene& s) {
    if (::geteuid() != 0)
        return "needs root, to plant the link as another user";
    fs::create_directory(s.Path("shared"));
    fs::create_directory(s.Path("rootonly"));
    fs::copy_file(s.Path("damaged.zip"), s.Path("shared/damaged.zip"));
    if (::chmod(s.Path("shared").c_str(), 01777) != 0 ||
        ::chmod(s.Path("rootonly").c_str(), 0700) != 0)
        return "chmod failed";
    // The user must reach the shared folder through the scratch folders.
    for (const std::string& folder : {ScratchRoot(), ScratchRoot() + "/cli-safety", s.Dir})
        fs::permissions(folder, fs::perms::others_exec, fs::perm_options::add);
    TProcessResult r =
        RunProcess({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "ln", "-s",
                    "../rootonly/new/dir/pwn", s.Path("shared/recovered_damaged.zip")});
    struct stat st;
    if (r.ExitCode != 0 || ::lstat(s.Path("shared/recovered_damaged.zip").c_str(), &st) != 0 ||
        st.st_uid != 65534)
        return "cannot act as user 65534 (setpriv): " + r.Describe();
    return "";
}

// The default output name as a link to a file in a folder that does not exist.
std::string LinkToNothing(const TScene& s) {
    fs::create_symlink("elsewhere/new/pwn", s.Path("recovered_damaged.zip"));
    return "";
}

// A regular file of another user's, with a mode of its own.
TSetup OwnFile(std::string name, mode_t mode) {
    return [=](const TScene& s) {
        WriteFileBytes(s.Path(name), "mine");
        if (::chmod(s.Path(name).c_str(), mode) != 0)
            return "chmod failed";
        if (::geteuid() == 0 && ::chown(s.Path(name).c_str(), 65534, 65534) != 0)
            return "chown failed";
        return "";
    };
}

void ExpectKind(const TScene& s, const std::string& name, fs::file_type type) {
    EXPECT_EQ(fs::symlink_status(s.Path(name)).type(), type) << name << " was replaced";
}

void LinkLeftAlone(const TScene& s, const TProcessResult&) {
    ExpectKind(s, "recovered_damaged.zip", fs::file_type::symlink);
    EXPECT_FALSE(fs::exists(s.Path("elsewhere"))) << "written through the link";
}

void ExpectRepaired(const TScene& s, const std::string& name, size_t entries) {
    test::TReadArchive a;
    ASSERT_NO_THROW(a = test::ReadArchive(ReadFileBytes(s.Path(name)))) << name;
    EXPECT_EQ(a.Entries.size(), entries) << name;
}

// No file of the repair (named or hidden temporary) beside the input, but
// for `allowed`.
void ExpectNoOutput(const TScene& s, const std::string& allowed = "") {
    for (const auto& e : fs::directory_iterator(s.Dir)) {
        std::string leaf = e.path().filename().string();
        if (leaf != allowed) {
            EXPECT_FALSE(leaf.rfind("recovered_", 0) == 0 || leaf.front() == '.' ||
                         leaf == "out.zip")
                << "left behind: " << leaf;
        }
    }
}

void NoOutput(const TScene& s, const TProcessResult&) {
    ExpectNoOutput(s);
}

void ExpectNoControlBytes(const std::string& text) {
    for (char c : text)
        EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c) << "\n" << text;
}

const std::string kNone;

std::vector<TSafetyRow> Rows() {
    const std::string cantCreate = "tessary-cli: Cannot create file \"";
    const std::string notRegular = "Not a regular file";
    return {
        // 1. Devices, FIFOs and links as the output.
        {"DeviceOutputIsRefused", Device("null", 1, 3), "damaged.zip -o null --force", 4,
         cantCreate + "null\". " + notRegular, "damaged.zip",
         [](const TScene& s, const TProcessResult&) {
             ExpectKind(s, "null", fs::file_type::character);
             ExpectNoOutput(s);
         }},
        {"FifoOutputIsRefused", Fifo("fifo"), "damaged.zip -o fifo --force", 4,
         cantCreate + "fifo\". " + notRegular, "damaged.zip",
         [](const TScene& s, const TProcessResult&) {
             ExpectKind(s, "fifo", fs::file_type::fifo);
         }},
        {"LinkToAFifoIsRefused",
         [](const TScene& s) {
             fs::create_symlink("fifo", s.Path("link"));
             return Fifo("fifo")(s);
         },
         "damaged.zip -o link --force", 4, notRegular, "damaged.zip",
         [](const TScene& s, const TProcessResult&) {
             ExpectKind(s, "link", fs::file_type::symlink);
             ExpectKind(s, "fifo", fs::file_type::fifo);
         }},
        {"LinkIsFollowedAndStaysALink",
         [](const TScene& s) {
             fs::create_directory(s.Path("real"));
             WriteFileBytes(s.Path("real/old.zip"), "old");
             fs::create_symlink("real/old.zip", s.Path("link.zip"));
             return "";
         },
         "damaged.zip -o link.zip --force --quiet", 0, kNone, "damaged.zip",
         [](const TScene& s, const TProcessResult&) {
             ExpectKind(s, "link.zip", fs::file_type::symlink);
             ExpectRepaired(s, "real/old.zip", 3);
             EXPECT_EQ(
                 std::distance(fs::directory_iterator(s.Path("real")), fs::directory_iterator()), 1)
                 << "a temporary file was left beside the link's target";
         }},
        // 2. Existing files: --force does not override a read-only one.
        {"ReadOnlyFileIsKeptEvenWithForce",
         [](const TScene& s) {
             WriteFileBytes(s.Path("out.zip"), "mine");
             return ::chmod(s.Path("out.zip").c_str(), 0444) ? "chmod failed" : "";
         },
         "damaged.zip -o out.zip --force", 4, "The file is read-only", "damaged.zip",
         [](const TScene& s, const TProcessResult&) {
             EXPECT_EQ(ReadFileBytes(s.Path("out.zip")), "mine");
         }},
        // 3. Termination signals leave no temporary file.
        {"SigtermDuringTheScanLeavesNothing", LongScan(false), "long.zip -o out.zip", -1, kNone, "",
         NoOutput, SIGTERM},
        {"SighupDuringTheScanLeavesNothing", LongScan(false), "long.zip -o out.zip", -1, kNone, "",
         NoOutput, SIGHUP},
        {"RepairWorksWithoutProc", WithoutProc,
         "@sh unshare -m bash -c 'umount -l /proc && exec \"$1\" -q damaged.zip -o out.zip' "
         "bash \"$1\"",
         0, kNone, "damaged.zip",
         [](const TScene& s, const TProcessResult&) {
             ExpectRepaired(s, "out.zip", 3);
             ExpectNoOutput(s, "out.zip");
         }},
        // 4. A damaged file that shrinks during the scan.
        {"InputCutDuringTheScanIsAReadError",
         LongScan(true),
         "long.zip -o out.zip",
         3,
         "tessary-cli: Cannot read file \"long.zip\". ",
         "",
         NoOutput,
         {},
         [](const TScene& s) {
             std::this_thread::sleep_for(std::chrono::milliseconds(800));
             (void)::truncate(s.Path("long.zip").c_str(), int64_t(1) << 30);
         }},
        // 5. Closed pipes, full output, file-size limits.
        {"ClosedPipeIsReportedAfterTheArchive", ManyEntries(),
         "@sh \"$1\" many.zip -o out.zip | head -3 >/dev/null; exit ${PIPESTATUS[0]}", 6,
         "tessary-cli: Cannot write to standard output.", "many.zip",
         [](const TScene& s, const TProcessResult&) { ExpectRepaired(s, "out.zip", 6000); }},
        {"FullStandardOutputIsAnError", Device("full", 1, 7),
         "@sh \"$1\" --list damaged.zip > full", 6,
         "Cannot write to standard output. No space left on device", "damaged.zip"},
        {"FileSizeLimitIsAWriteError", Always,
         "@sh ulimit -f 2; exec \"$1\" damaged.zip -o out.zip", 4,
         cantCreate + "out.zip\". File too large", "damaged.zip", NoOutput},
        // Standard input and output: the copy of a pipe has no name at any
        // moment, and a failing standard output is a write error.
        {"PipedInputLeavesNoTemporaryFile",
         [](const TScene& s) { return fs::create_directory(s.Path("tmp")), ""; },
         "@sh cat damaged.zip | TMPDIR=$PWD/tmp \"$1\" -q - -o out.zip", 0, kNone, "damaged.zip",
         [](const TScene& s, const TProcessResult&) {
             ExpectRepaired(s, "out.zip", 3);
             EXPECT_TRUE(fs::is_empty(s.Path("tmp")));
         }},
        {"SigtermWhileCopyingStandardInputLeavesNothing",
         [](const TScene& s) {
             fs::create_directory(s.Path("tmp"));
             return Fifo("fifo")(s);
         },
         "@sh (cat damaged.zip; sleep 3) > fifo 2>/dev/null &\n"
         "TMPDIR=$PWD/tmp exec \"$1\" - -o out.zip < fifo",
         -1, kNone, "damaged.zip",
         [](const TScene& s, const TProcessResult&) {
             EXPECT_TRUE(fs::is_empty(s.Path("tmp")));
             ExpectNoOutput(s);
         },
         SIGTERM},
        {"UnusableOutputFailsBeforeStandardInputIsCopied", Fifo("fifo"),
         "@sh (sleep 15; cat damaged.zip) > fifo 2>/dev/null &\n"
         "exec \"$1\" - -o /proc/x.zip < fifo",
         4, cantCreate + "/proc/x.zip\".", "damaged.zip"},
        {"FullStandardOutputIsAWriteErrorOfTheArchive", Device("full", 1, 7),
         "@sh \"$1\" damaged.zip -o - > full", 4, cantCreate + "-\". No space left on device",
         "damaged.zip"},
        {"ClosedPipeAsArchiveOutputIsAWriteError", ManyEntries(),
         "@sh \"$1\" many.zip -o - | head -c 10 >/dev/null; exit ${PIPESTATUS[0]}", 4,
         cantCreate + "-\". Broken pipe", "many.zip"},
        // Standard input that never ends stops short of filling the disk.
        {"EndlessStandardInputStopsBeforeTheDiskIsFull",
         [](const TScene& s) {
             fs::create_directory(s.Path("tmp"));
             TProcessResult r =
                 RunProcess({"unshare", "-m", "mount", "-t", "tmpfs", "tmpfs", s.Path("tmp")});
             return r.ExitCode == 0 ? "" : "no mount namespace for a small file system";
         },
         "@sh unshare -m bash -c 'mount -t tmpfs -o size=8m tmpfs tmp && "
         "{ head -c 64m /dev/zero | TMPDIR=$PWD/tmp \"$1\" - -o out.zip; s=$?; "
         "[ -z \"$(ls -A tmp)\" ] || s=99; exit $s; }' "
         "bash \"$1\"",
         3, "tessary-cli: Cannot read file \"-\". It does not fit in the temporary folder ", "",
         NoOutput},
        // 6. Names that would drive the terminal.
        {"ControlBytesInNamesAreEscaped", Always, "--list damaged.zip", 0, kNone, "damaged.zip",
         [](const TScene&, const TProcessResult& r) {
             EXPECT_TRUE(Contains(r.Out, "\\033]2;evil\\007readme.txt")) << r.Out;
             EXPECT_TRUE(Contains(r.Out, "evil.exe\\015readme.txt")) << r.Out;
             ExpectNoControlBytes(r.Out);
         }},
        {"ControlBytesInJsonAreEscapes", Always, "--list --json damaged.zip", 0, kNone,
         "damaged.zip",
         [](const TScene&, const TProcessResult& r) {
             EXPECT_TRUE(Contains(r.Out, "\\u001b]2;evil\\u0007readme.txt")) << r.Out;
             ExpectNoControlBytes(r.Out);
         }},
        // 7. Inputs that are no files.
        {"FifoInputIsRefusedWithoutBlocking", Fifo("in.zip"), "in.zip", 3,
         "tessary-cli: Cannot open file \"in.zip\". " + notRegular + "\n", ""},
        {"DeviceInputIsRefused", Device("zero", 1, 5), "zero", 3,
         "Cannot open file \"zero\". " + notRegular, ""},
        {"ProcFileInputIsRefused", Always, "/proc/self/maps", 3, notRegular, ""},
        {"PipeInputIsRefused", Always, "@sh \"$1\" <(cat damaged.zip)", 3, notRegular,
         "damaged.zip"},
        // 8. Language files are not the command-line tool's business.
        {"VersionReadsNoLanguageFile",
         [](const TScene& s) {
             fs::create_directory(s.Path("lng"));
             fs::create_symlink("../fifo", s.Path("lng/link.lng"));
             std::string skip = Fifo("lng/f.lng")(s);
             return skip.empty() ? Fifo("fifo")(s) : skip;
         },
         "@sh HOME=$PWD/home XDG_CONFIG_HOME=$PWD/config exec \"$1\" --version", 0, kNone,
         "damaged.zip",
         [](const TScene& s, const TProcessResult& r) {
             EXPECT_EQ(r.Out.rfind("tessary-cli (Quenlor Tessary ", 0), 0u) << r.Out;
             EXPECT_FALSE(fs::exists(s.Path("home"))) << "a settings folder was made";
             EXPECT_FALSE(fs::exists(s.Path("config"))) << "a settings folder was made";
             EXPECT_FALSE(fs::exists(fs::path(CliPath()).parent_path() / "tessary-cli.log"));
         }},
        // 9. Stops and unusable folders.
        {"InterruptBeforeAnythingWasFoundSaysStopped", LongScan(false), "long.zip -o out.zip", 130,
         kNone, "",
         [](const TScene& s, const TProcessResult& r) {
             EXPECT_TRUE(Contains(r.Out, "stopped")) << r.Describe();
             EXPECT_FALSE(Contains(r.Out, "Nothing is found")) << r.Describe();
             ExpectNoOutput(s);
         },
         SIGINT},
        {"UnwritableOutputFolderFailsBeforeTheScan", LongScan(false), "long.zip -o /proc/x.zip", 4,
         cantCreate + "/proc/x.zip\".", ""},
        // 10. The commit: the archive reaches the disk before its name, and
        // a failing flush leaves the name as it was.
        {"FailingDataFlushLeavesNothing", FaultsLoad(kFaults),
         "@sh " + Faults(kFaults, "TESSARY_FAULT_FDATASYNC=1") +
             "exec \"$1\" damaged.zip -o out.zip",
         4, cantCreate + "out.zip\". Input/output error\n", "damaged.zip", NoOutput},
        {"FailingFolderFlushKeepsTheFileReplaced",
         Both(FaultsLoad(kFaults), OwnFile("out.zip", 0644)),
         "@sh " + Faults(kFaults, "TESSARY_FAULT_FSYNC=1") +
             "exec \"$1\" --force damaged.zip -o out.zip",
         4, cantCreate + "out.zip\". Input/output error\n", "out.zip",
         [](const TScene& s, const TProcessResult&) { ExpectNoOutput(s, "out.zip"); }},
        {"FailingDataFlushOfANamedTemporaryLeavesNothing", Both(FaultsLoad(kFaults), WithoutProc),
         "@sh unshare -m bash -c 'umount -l /proc && " +
             Faults(kFaults, "TESSARY_FAULT_FDATASYNC=1") +
             "exec \"$1\" damaged.zip -o out.zip' bash \"$1\"",
         4, cantCreate + "out.zip\". Input/output error\n", "damaged.zip", NoOutput},
        // 11. Links to nothing and files that appear under the name.
        {"LinkToNothingIsRefused", LinkToNothing, "damaged.zip", 4,
         cantCreate +
             "recovered_damaged.zip\". It is a symbolic link to a file that does not exist",
         "damaged.zip", LinkLeftAlone},
        {"LinkToNothingIsRefusedWithForce", LinkToNothing, "--force damaged.zip", 4,
         "It is a symbolic link to a file that does not exist", "damaged.zip", LinkLeftAlone},
        {"LinkPlantedByAnotherUserInASharedFolderIsRefused", PlantedLink,
         "--force shared/damaged.zip", 4,
         cantCreate + "shared/recovered_damaged.zip\". It is a symbolic link to a file that does "
                      "not exist",
         "shared/damaged.zip",
         [](const TScene& s, const TProcessResult&) {
             ExpectKind(s, "shared/recovered_damaged.zip", fs::file_type::symlink);
             EXPECT_TRUE(fs::is_empty(s.Path("rootonly"))) << "created at the link's target";
             EXPECT_EQ(
                 std::distance(fs::directory_iterator(s.Path("shared")), fs::directory_iterator()),
                 2)
                 << "a file was left in the shared folder";
         }},
        {"FileReplacedWithForceKeepsItsModeAndOwner", OwnFile("out.zip", 0600),
         "--force --quiet damaged.zip -o out.zip", 0, kNone, "damaged.zip",
         [](const TScene& s, const TProcessResult&) {
             ExpectRepaired(s, "out.zip", 3);
             struct stat st;
             ASSERT_EQ(::stat(s.Path("out.zip").c_str(), &st), 0);
             EXPECT_EQ(st.st_mode & 07777, 0600u);
             EXPECT_EQ(st.st_uid, ::geteuid() == 0 ? 65534u : ::geteuid());
         }},
        // 12. Reads that return less than asked are read on.
        {"OneByteReadsAreReadOn", FaultsLoad(kFaults),
         "@sh " + Faults(kFaults, "TESSARY_FAULT_SHORT_READS=1") +
             "exec \"$1\" --verify --quiet damaged.zip -o out.zip",
         0, kNone, "damaged.zip",
         [](const TScene& s, const TProcessResult&) { ExpectRepaired(s, "out.zip", 3); }},
        // Salvage obeys the repair's bound: a cut bomb's decoded bytes are
        // not written.
        {"SalvageOfACutBombIsRefused",
         [](const TScene& s) {
             test::TZipBuilder b;
             b.AddDeflated("bomb.bin", std::string(64 << 20, '\0'));
             const test::TBuiltEntry& e = b.Built()[0];
             WriteFileBytes(
                 s.Path("bomb.zip"),
                 b.Bytes().substr(0, size_t(e.DataStart + (e.DataEnd - e.DataStart) / 2)));
             return "";
         },
         "--salvage --quiet bomb.zip -o out.zip", 9,
         "Its salvaged entries would decode to more than twice its size", "bomb.zip", NoOutput},
        // 13. Out of memory is an error with its report.
        {"OutOfMemoryIsReported", FaultsLoad(kAllocFaults),
         "@sh " + Faults(kAllocFaults, "TESSARY_FAULT_ALLOC=2") +
             "exec \"$1\" --json damaged.zip -o out.zip",
         10, "tessary-cli: Cannot repair file \"damaged.zip\". Out of memory\n", "damaged.zip",
         [](const TScene& s, const TProcessResult& r) {
             EXPECT_TRUE(
                 Contains(r.Out, "\"error\":{\"kind\":\"out_of_memory\",\"file\":\"damaged.zip\""))
                 << r.Out;
             ExpectNoOutput(s);
         }},
        {"OutOfMemoryLeavesNoNamedTemporary", Both(FaultsLoad(kAllocFaults), WithoutProc),
         "@sh unshare -m bash -c 'umount -l /proc && " +
             Faults(kAllocFaults, "TESSARY_FAULT_ALLOC=2") +
             "exec \"$1\" damaged.zip -o out.zip' bash \"$1\"",
         10, "Out of memory", "damaged.zip", NoOutput},
    };
}

class CliSafety : public ::testing::TestWithParam<TSafetyRow> {};

TEST_P(CliSafety, BehavesAndLeavesItsInputAlone) {
    const TSafetyRow& row = GetParam();
    TScene s;
    s.Dir = ScratchRoot() + "/cli-safety/" + row.Name;
    fs::remove_all(s.Dir);
    fs::create_directories(s.Dir);
    test::TZipBuilder b;
    b.AddStored("\x1B]2;evil\x07readme.txt", "title");
    b.AddStored("evil.exe\rreadme.txt", "hidden");
    b.AddDeflated("docs/readme.txt", test::TestBytes(5000, 1, true));
    WriteFileBytes(s.Path("damaged.zip"), b.Bytes());
    if (std::string skip = row.Setup(s); !skip.empty())
        GTEST_SKIP() << skip;
    std::string before = row.Input.empty() ? "" : Sha256(s.Path(row.Input));

    std::vector<std::string> argv;
    if (row.Args.rfind("@sh ", 0) == 0) {
        argv = {"bash", "-c", row.Args.substr(4), "bash", CliPath()};
    } else {
        argv = {CliPath()};
        std::istringstream words(row.Args);
        for (std::string word; words >> word;)
            argv.push_back(word);
    }
    TProcessOptions options;
    options.WorkingDir = s.Dir;
    options.TimeoutSeconds = 30;
    if (row.Signal)
        options.SignalsAfterMs = {{1000, row.Signal}};
    std::thread beside;
    if (row.During)
        beside = std::thread(row.During, s);
    auto started = std::chrono::steady_clock::now();
    TProcessResult r = RunProcess(argv, options);
    if (beside.joinable())
        beside.join();
    EXPECT_FALSE(r.TimedOut) << r.Describe();
    EXPECT_EQ(r.ExitCode, row.Exit) << r.Describe();
    if (!row.Err.empty()) {
        EXPECT_TRUE(Contains(r.Err, row.Err)) << "want: " << row.Err << "\n" << r.Describe();
    }
    if (!row.Signal && !row.During) {
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10))
            << "refused only after a long scan";
    }
    if (row.Check)
        row.Check(s, r);
    if (!row.Input.empty()) {
        EXPECT_EQ(Sha256(s.Path(row.Input)), before) << "the input was changed";
    }
    fs::remove_all(s.Dir);
}

INSTANTIATE_TEST_SUITE_P(Cases, CliSafety, ::testing::ValuesIn(Rows()),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace tessary::interop
