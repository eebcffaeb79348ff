// The engine over real files: the damaged archive is never touched, and the
// repaired one appears only when it is complete.
#include "arcsalve.h"
#include "engine_error.h"
#include "file_streams.h"
#include "zip_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
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
    void RepairTo(const std::string& out) {
        TArcsalveOptions options;
        options.CreateOutput = FileOutputFactory();
        TArcsalve engine(OpenInputFile(Damaged()), nullptr, options);
        engine.BeginScanFile();
        engine.GetRecovered(out);
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

TEST_F(FileStreams, ExistingFileIsReplacedOnlyByACompleteArchive) {
    std::string out = (FDir / "existing.zip").string();
    Write(out, "precious");
    // A folder under a regular file cannot be created: the error names the file.
    try {
        RepairTo((FDir / "existing.zip" / "x.zip").string());
        ADD_FAILURE() << "created a file under a regular file";
    } catch (const EArcsalveError& e) {
        EXPECT_EQ(e.Kind, TErrorKind::CreateOutput);
        EXPECT_FALSE(e.Reason.empty());
    }
    EXPECT_EQ(Read(out), "precious");
    RepairTo(out);
    EXPECT_NE(Read(out), "precious");
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
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "/dev/full is not available";
    // /dev/full cannot take a temporary file beside it, so write through a
    // folder whose files all refuse writes: the failure must surface.
    TArcsalveOptions options;
    options.CreateOutput = [](const std::string& path) -> std::unique_ptr<TOutputStream> {
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
    TArcsalve engine(OpenInputFile(Damaged()), nullptr, options);
    engine.BeginScanFile();
    EXPECT_THROW(engine.GetRecovered("x.zip"), EArcsalveError);
}
