// The engine over real files: the damaged archive is never touched, and the
// repaired one appears only when it is complete.
#include "arcsalve.h"
#include "engine_error.h"
#include "file_streams.h"
#include "output_target.h"
#include "zip_builder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessary;
using namespace tessary::test;
namespace fs = std::filesystem;

namespace {

class FileStreams : public ::testing::Test {
protected:
    void SetUp() override {
        FDir = fs::temp_directory_path() /
               ("tessary-fs-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(FDir);
        fs::create_directories(FDir);
        TZipBuilder b;
        b.AddStored("a.txt", "alpha");
        b.AddDeflated("b.txt", TestBytes(10000, 1, true));
        FZip = b.Finish();
        Write(Damaged(), FZip);
    }
    void TearDown() override { fs::remove_all(FDir); }

    std::string Damaged() const { return (FDir / "damaged.zip").string(); }
    static void Write(const std::string& path, const std::string& data) {
        std::ofstream(path, std::ios::binary) << data;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static TOutputFileOptions Replacing() {
        TOutputFileOptions options;
        options.ReplaceAllowed = true;
        return options;
    }
    std::unique_ptr<TArcsalve>
    ScanDamaged(TOutputFactory factory = FileOutputFactory(Replacing())) {
        TArcsalveOptions options;
        options.CreateOutput = std::move(factory);
        auto engine = std::make_unique<TArcsalve>(OpenInputFile(Damaged()), nullptr, options);
        engine->BeginScanFile();
        return engine;
    }
    void RepairTo(const std::string& out) { ScanDamaged()->GetRecovered(out); }
    static long FilesIn(const fs::path& dir) {
        return std::distance(fs::directory_iterator(dir), fs::directory_iterator());
    }

    fs::path FDir;
    std::string FZip;
};

} // namespace

TEST_F(FileStreams, RepairWritesACompleteArchiveIntoMissingFolders) {
    std::string out = (FDir / "new" / "folder" / "repaired.zip").string();
    RepairTo(out);
    EXPECT_GT(fs::file_size(out), 0u);
    EXPECT_EQ(Read(Damaged()), FZip);
    for (const auto& entry : fs::directory_iterator(FDir / "new" / "folder"))
        EXPECT_EQ(entry.path().filename(), "repaired.zip") << "no temporary file is left";
}

TEST_F(FileStreams, OutputNamingTheInputInAnySpellingIsRefused) {
    fs::create_symlink(Damaged(), FDir / "link.zip");
    fs::create_hard_link(Damaged(), FDir / "hard.zip");
    std::string spellings[] = {Damaged(), (FDir / "." / "damaged.zip").string(),
                               (FDir / "link.zip").string(), (FDir / "hard.zip").string()};
    for (const auto& path : spellings) {
        try {
            RepairTo(path);
            ADD_FAILURE() << "accepted " << path;
        } catch (const EArcsalveError& e) {
            EXPECT_EQ(e.Kind, TErrorKind::OutputIsInput) << path;
        }
        EXPECT_EQ(Read(Damaged()), FZip) << path;
    }
}

TEST_F(FileStreams, MissingInputRaisesWithTheSystemsReason) {
    try {
        OpenInputFile((FDir / "absent.zip").string());
        FAIL();
    } catch (const EArcsalveError& e) {
        EXPECT_EQ(e.Kind, TErrorKind::OpenInput);
        EXPECT_EQ(e.Reason, "No such file or directory");
    }
    EXPECT_THROW(OpenInputFile(FDir.string()), EArcsalveError) << "a folder is no archive";
}

TEST_F(FileStreams, FullDiskIsReportedNotPassedOver) {
    // An output whose every write fails as on a full disk: the failure must surface.
    auto full = [](const std::string& path) -> std::unique_ptr<TOutputStream> {
        struct TFull : TOutputStream {
            std::string Path;
            int64_t Position() const override { return 0; }
            void Write(const void*, size_t) override {
                throw EArcsalveError(TErrorKind::WriteOutput, Path, "No space left on device");
            }
            void Commit() override {}
        };
        auto out = std::make_unique<TFull>();
        out->Path = path;
        return out;
    };
    EXPECT_THROW(ScanDamaged(full)->GetRecovered("x.zip"), EArcsalveError);
}

// The damaged file changes between the scan and the rebuild: the archive
// would mix two versions, or hold zeros where the file was cut. The file
// the repair was to replace stays as it was.
TEST_F(FileStreams, DamagedFileChangedBeforeTheRebuildIsRefused) {
    struct TChange {
        const char* Name;
        void (*Apply)(const std::string& path);
    };
    const TChange changes[] = {
        {"cut short", [](const std::string& p) { fs::resize_file(p, fs::file_size(p) / 2); }},
        {"grown", [](const std::string& p) { std::ofstream(p, std::ios::app) << "more"; }},
        {"touched",
         [](const std::string& p) {
             fs::last_write_time(p, fs::last_write_time(p) + std::chrono::seconds(5));
         }},
    };
    for (const TChange& change : changes) {
        Write(Damaged(), FZip);
        auto engine = ScanDamaged();
        change.Apply(Damaged());
        std::string out = (FDir / "precious.zip").string();
        Write(out, "precious");
        try {
            engine->GetRecovered(out);
            ADD_FAILURE() << change.Name << ": repaired anyway";
        } catch (const EArcsalveError& e) {
            EXPECT_EQ(e.Kind, TErrorKind::ReadInput) << change.Name << ": " << e.Reason;
            EXPECT_EQ(e.Path, Damaged()) << change.Name;
        }
        EXPECT_EQ(Read(out), "precious") << change.Name;
        EXPECT_EQ(FilesIn(FDir), 2) << change.Name << ": a file was left behind";
    }
}

// Where anonymous files are missing, a named temporary file is used; it
// becomes the archive on success, and the signal clean-up removes it.
TEST_F(FileStreams, NamedTemporaryIsCommittedOrRemovedByTheCleanup) {
    TOutputFileOptions options = Replacing();
    options.NamedTemporary = true;
    TOutputFactory named = FileOutputFactory(options);
    std::string out = (FDir / "named" / "repaired.zip").string();
    ScanDamaged(named)->GetRecovered(out);
    EXPECT_GT(fs::file_size(out), 0u);
    EXPECT_EQ(FilesIn(FDir / "named"), 1);

    auto pending = named((FDir / "named" / "second.zip").string());
    pending->Write("partial", 7);
    EXPECT_EQ(FilesIn(FDir / "named"), 2) << "the temporary file has a name";
    RemoveUnfinishedOutput();
    EXPECT_EQ(FilesIn(FDir / "named"), 1) << "the clean-up left the temporary file";
}

// What the repaired archive may replace, as both front ends check it before
// the scan, and as the output factory enforces it when creating the file.
TEST_F(FileStreams, OnlyARegularWritableFileIsReplaced) {
    Write((FDir / "old.zip").string(), "old");
    Write((FDir / "locked.zip").string(), "locked");
    fs::permissions(FDir / "locked.zip", fs::perms::owner_read);
    ASSERT_EQ(::mkfifo((FDir / "fifo").c_str(), 0600), 0);
    fs::create_directory(FDir / "folder");
    fs::create_symlink("old.zip", FDir / "link.zip");
    fs::create_symlink("fifo", FDir / "link-to-fifo");
    fs::create_symlink("loop", FDir / "loop");
    struct TRow {
        const char* Name;
        bool ReplaceAllowed;
        TOutputProblem Problem;
    };
    const TRow rows[] = {
        {"new.zip", false, TOutputProblem::None},
        {"sub/new.zip", false, TOutputProblem::None},
        {"old.zip", false, TOutputProblem::Exists},
        {"old.zip", true, TOutputProblem::None},
        {"link.zip", true, TOutputProblem::None},
        {"locked.zip", true, TOutputProblem::ReadOnly},
        {"fifo", true, TOutputProblem::NotRegular},
        {"link-to-fifo", true, TOutputProblem::NotRegular},
        {"folder", true, TOutputProblem::NotRegular},
        {"loop", true, TOutputProblem::BadPath},
        {"old.zip/x.zip", true, TOutputProblem::BadPath},
    };
    for (const TRow& row : rows) {
        std::string path = (FDir / row.Name).string();
        TOutputTarget t = CheckOutputTarget(path, row.ReplaceAllowed);
        EXPECT_EQ(t.Problem, row.Problem) << row.Name << ": " << t.Reason;
        EXPECT_EQ(t.Usable(), t.Reason.empty()) << row.Name;
        if (row.Problem == TOutputProblem::None || row.Problem == TOutputProblem::Exists)
            continue;
        try {
            RepairTo(path);
            ADD_FAILURE() << row.Name << ": repaired anyway";
        } catch (const EArcsalveError& e) {
            EXPECT_EQ(e.Kind, TErrorKind::CreateOutput) << row.Name;
            EXPECT_FALSE(e.Reason.empty()) << row.Name;
        }
    }
    EXPECT_EQ(Read((FDir / "locked.zip").string()), "locked");
    EXPECT_EQ(fs::status(FDir / "fifo").type(), fs::file_type::fifo);

    // A link is followed: the file it names is replaced and the link stays.
    RepairTo((FDir / "link.zip").string());
    EXPECT_TRUE(fs::is_symlink(FDir / "link.zip"));
    EXPECT_NE(Read((FDir / "old.zip").string()), "old");
    for (const auto& entry : fs::directory_iterator(FDir))
        EXPECT_NE(entry.path().filename().string().front(), '.') << "temporary file left";
}

// The name is taken only while nothing is under it, and a file is replaced
// only while it is the one the user agreed to, unchanged: whatever another
// program puts there during the repair stays, and a refused commit leaves no
// temporary file. Each row runs with an anonymous and a named temporary.
TEST_F(FileStreams, CommitReplacesOnlyTheFileItWasGiven) {
    using THook = void (*)(const fs::path& dir);
    struct TRow {
        const char* Name;
        bool Existing;       // out.zip holds "old" (mode 0640) before the run
        bool ReplaceAllowed; // the file found when the archive is created
        bool AgreedBefore;   // the file as examined before `Before`, as the front ends do
        THook Before;        // before the archive is created
        THook Meanwhile;     // between its creation and the commit
        const char* Refused; // the error's reason, or null when the commit goes through
        const char* Left;    // what out.zip holds afterwards ("@link": a link)
    };
    auto write = [](const fs::path& p, const char* text) { Write(p.string(), text); };
    const char* exists = "File exists";
    const char* changed = "The file was changed or replaced during the repair";
    const TRow rows[] = {
        {"a file appears", false, false, false, nullptr,
         [](const fs::path& d) { Write((d / "out.zip").string(), "mine"); }, exists, "mine"},
        {"a file appears although replacing is allowed", false, true, false, nullptr,
         [](const fs::path& d) { Write((d / "out.zip").string(), "mine"); }, exists, "mine"},
        {"a link to nothing appears", false, true, false, nullptr,
         [](const fs::path& d) { fs::create_symlink("gone/pwn", d / "out.zip"); }, exists, "@link"},
        {"the file is rewritten", true, true, false, nullptr,
         [](const fs::path& d) { Write((d / "out.zip").string(), "changed"); }, changed, "changed"},
        {"the file is replaced by another", true, true, false, nullptr,
         [](const fs::path& d) {
             Write((d / "other").string(), "other");
             fs::rename(d / "other", d / "out.zip");
         },
         changed, "other"},
        {"the file becomes a link", true, true, false, nullptr,
         [](const fs::path& d) {
             fs::remove(d / "out.zip");
             fs::create_symlink("damaged.zip", d / "out.zip");
         },
         changed, "@link"},
        {"the agreed file is replaced before the archive is created", true, true, true,
         [](const fs::path& d) { Write((d / "out.zip").string(), "other!"); }, nullptr, changed,
         "other!"},
        {"the file is removed meanwhile", true, true, false, nullptr,
         [](const fs::path& d) { fs::remove(d / "out.zip"); }, nullptr, "archive"},
        {"the file stays as it was", true, true, true, nullptr, nullptr, nullptr, "archive"},
    };
    const bool root = ::geteuid() == 0;
    for (const TRow& row : rows) {
        for (bool named : {false, true}) {
            SCOPED_TRACE(std::string(row.Name) + (named ? ", named temporary" : ""));
            fs::path out = FDir / "out.zip";
            fs::remove(out);
            if (row.Existing) {
                write(out, "old");
                fs::permissions(out, fs::perms(0640));
                if (root) {
                    ASSERT_EQ(::chown(out.c_str(), 65534, 65534), 0);
                }
            }
            TOutputFileOptions options;
            options.NamedTemporary = named;
            options.ReplaceAllowed = row.ReplaceAllowed;
            if (row.AgreedBefore)
                options.Replaces = ResolveOutputTarget(out.string(), true).Identity;
            if (row.Before)
                row.Before(FDir);
            std::unique_ptr<TOutputStream> stream;
            try {
                stream = FileOutputFactory(options)(out.string());
                stream->Write("archive", 7);
                if (row.Meanwhile)
                    row.Meanwhile(FDir);
                stream->Commit();
                EXPECT_EQ(row.Refused, nullptr) << "committed";
            } catch (const EArcsalveError& e) {
                EXPECT_EQ(e.Reason, row.Refused ? row.Refused : "");
                EXPECT_EQ(e.Path, out.string());
            }
            stream.reset();
            if (std::string(row.Left) == "@link") {
                EXPECT_TRUE(fs::is_symlink(out));
                EXPECT_EQ(Read(Damaged()), FZip);
            } else {
                EXPECT_EQ(Read(out.string()), row.Left);
            }
            EXPECT_FALSE(fs::exists(FDir / "gone")) << "written through a link";
            struct stat st;
            if (row.Existing && !row.Refused && !row.Meanwhile && ::stat(out.c_str(), &st) == 0) {
                EXPECT_EQ(st.st_mode & 0777, 0640u) << "the mode of the file replaced";
                EXPECT_EQ(st.st_uid, root ? 65534u : ::geteuid()) << "its owner";
            }
            for (const auto& entry : fs::directory_iterator(FDir))
                EXPECT_NE(entry.path().filename().string().front(), '.') << "temporary file left";
            fs::remove(out);
        }
    }
}
