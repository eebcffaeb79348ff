// writers_test.cpp -- archives written by real writers (Python's zipfile to
// a file and to a pipe, Info-ZIP zip to a file and to a pipe), damaged,
// repaired by tessary-cli and read back by each reader.
#include "interop_test_util.h"
#include "zip_builder.h"

#include <filesystem>

namespace tessary::interop {
namespace {

namespace fs = std::filesystem;

std::string LongPath(const std::string& top) {
    std::string name = top;
    for (int i = 0; i < 3; ++i)
        name +=
            "/directory-" + std::to_string(i) + "-" + std::string(90, static_cast<char>('k' + i));
    return name + "/a-file-deep-down.txt"; // over 300 bytes
}

std::string JsonText(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

struct TPythonEntry {
    std::string Name; // UTF-8
    std::string Data;
    bool Deflate = false;
    bool Zip64 = false;
    bool Cp437 = false; // code page 437 name with an Info-ZIP Unicode Path extra field
};

std::string RequireProgram(const std::string& name) {
    std::string path = FindProgram(name);
    if (path.empty())
        throw ECorpusUnavailable(name + " is not installed (scripts/setup.sh installs it): "
                                        "the archive it writes cannot be made");
    return path;
}

// Writes the archive with Python's zipfile; `streaming` writes it to an
// unseekable stream, so every entry gets flag bit 3 and a data descriptor.
std::string WriteWithPython(const std::string& dir, bool streaming,
                            const std::vector<TPythonEntry>& entries) {
    RequireProgram("python3");
    fs::create_directories(dir + "/data");
    std::string plan = "{\"output\": " + JsonText(dir + "/python.zip") +
                       ", \"streaming\": " + (streaming ? "true" : "false") + ", \"entries\": [";
    for (size_t i = 0; i < entries.size(); ++i) {
        const TPythonEntry& e = entries[i];
        std::string data = dir + "/data/" + std::to_string(i);
        WriteFileBytes(data, e.Data);
        plan += std::string(i ? ",\n" : "\n") + "{\"name\": " + JsonText(e.Name) +
                ", \"data\": " + JsonText(data) +
                ", \"deflate\": " + (e.Deflate ? "true" : "false") +
                ", \"zip64\": " + (e.Zip64 ? "true" : "false") +
                ", \"cp437\": " + (e.Cp437 ? "true" : "false") + "}";
    }
    WriteFileBytes(dir + "/plan.json", plan + "]}\n");
    TProcessResult r =
        RunProcess({"python3", std::string(TESSARY_INTEROP_SOURCE_DIR) + "/zip_check.py", "make",
                    dir + "/plan.json"});
    if (r.ExitCode != 0)
        throw std::runtime_error("Python could not write the archive:\n" + r.Describe());
    return ReadFileBytes(dir + "/python.zip");
}

// A ZIP archive stored inside the archive; its own entries, some with data
// descriptors, are found as entries of their own too.
std::string NestedArchive() {
    test::TZipBuilder inner;
    inner.AddDeflated("nested/one.txt", test::TestBytes(3000, 201, true));
    inner.AddStored("nested/two.bin", test::TestBytes(1000, 202));
    test::TZipEntry signed_;
    signed_.Name = "nested/three.txt";
    signed_.Data = test::TestBytes(2000, 203, true);
    signed_.Deflate = true;
    signed_.Descriptor = test::TDescriptor::Signed;
    inner.Add(signed_);
    test::TZipEntry unsigned_ = signed_;
    unsigned_.Name = "nested/four.txt";
    unsigned_.Data = test::TestBytes(1500, 204, true);
    unsigned_.Descriptor = test::TDescriptor::Unsigned;
    inner.Add(unsigned_);
    return inner.Finish();
}

std::vector<TPythonEntry> PythonEntries(bool streaming) {
    std::vector<TPythonEntry> e = {
        {"py/readme.txt", test::TestBytes(8000, 31, true), true},
        {"py/data.bin", test::TestBytes(5000, 32), false},
        {"py/Gr\xC3\xBC\xC3\x9F"
         "e/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt",
         test::TestBytes(700, 33, true), true},
        {"py/empty.txt", "", false},
        {"py/folder/", "", false},
        {"py/big-stored.bin", test::TestBytes(1150000, 34), false},
        {"py/big-deflated.txt", test::TestBytes(1600000, 35, true), true},
        {"py/zip64.txt", test::TestBytes(40000, 36, true), true, true},
        {"py/zip64-stored.bin", test::TestBytes(6000, 37), false, true},
        {LongPath("py"), test::TestBytes(2000, 38, true), true},
        {"py/inner.zip", NestedArchive(), false},
        {"py/last.txt", test::TestBytes(9000, 39, true), true},
    };
    // Debian's unzip refuses a whole archive whose entry has flag bit 3 and
    // a Unicode Path extra field longer than its name ("overlapped
    // components"), so the streamed archive goes without that entry.
    if (!streaming)
        e.insert(e.begin() + 3, {"py/M\xC3\xBCller-Stra\xC3\x9F"
                                 "e.txt",
                                 test::TestBytes(600, 40, true), false, false, true});
    return e;
}

// A folder tree for Info-ZIP zip: zip stores inner.zip uncompressed, as it
// does every .zip file.
void WriteTree(const std::string& dir) {
    fs::create_directories(dir + "/tree/empty-folder");
    fs::create_directories(dir + "/tree/Gr\xC3\xBC\xC3\x9F"
                                 "e");
    WriteFileBytes(dir + "/tree/readme.txt", test::TestBytes(8000, 51, true));
    WriteFileBytes(dir + "/tree/data.bin", test::TestBytes(5000, 52));
    WriteFileBytes(dir + "/tree/Gr\xC3\xBC\xC3\x9F"
                         "e/\xC3\xBCn\xC3\xAF"
                         "code.txt",
                   test::TestBytes(900, 53, true));
    WriteFileBytes(dir + "/tree/empty.txt", "");
    WriteFileBytes(dir + "/tree/big.bin", test::TestBytes(1200000, 54));
    std::string deep = LongPath(dir + "/tree");
    fs::create_directories(fs::path(deep).parent_path());
    WriteFileBytes(deep, test::TestBytes(3000, 55, true));
    WriteFileBytes(dir + "/tree/inner.zip", NestedArchive());
    WriteFileBytes(dir + "/tree/last.txt", test::TestBytes(7000, 56, true));
    WriteFileBytes(dir + "/stdin.txt", test::TestBytes(300000, 57, true));
}

// Runs zip in `dir` over the tree; `command` ends in the archive's name, or
// in a pipe into it.
std::string WriteWithInfoZip(const std::string& dir, const std::string& command,
                             const std::string& archive) {
    RequireProgram("zip");
    WriteTree(dir);
    TProcessOptions options;
    options.WorkingDir = dir;
    TProcessResult r = RunProcess({"sh", "-c", command}, options);
    if (r.ExitCode != 0)
        throw std::runtime_error("zip failed:\n" + r.Describe());
    return ReadFileBytes(dir + "/" + archive);
}

// Entries encrypted with the traditional ZIP encryption.
constexpr const char* Password = "secret";

// The same damage for every writer, aimed by the layout's proportions.
std::vector<TVariantPlan> WriterVariants() {
    auto middle = [](const TLayout& l) -> const TLayoutEntry& {
        return l.Entries.at(l.Entries.size() / 2);
    };
    return {
        {"Undamaged", [](TDamagedFile&, const TLayout&) {}},
        {"CentralDirectoryCutOff",
         [](TDamagedFile& f, const TLayout& l) { f.Truncate(l.CentralOffset); }},
        {"TruncatedAtHalf",
         [](TDamagedFile& f, const TLayout& l) { f.Truncate(l.CentralOffset / 2); }},
        {"StubInFrontAndCentralDirectoryCutOff",
         [](TDamagedFile& f, const TLayout& l) {
             f.Truncate(l.CentralOffset);
             f.Insert(0, SelfExtractorStub(20000));
         }},
        {"ChunkDeleted",
         [](TDamagedFile& f, const TLayout& l) { f.Delete(l.CentralOffset / 3, 3000); }},
        {"ChunkInsertedAtEntry",
         [middle](TDamagedFile& f, const TLayout& l) {
             f.Insert(middle(l).HeaderOffset, NoiseBytes(4000, 61));
         }},
        {"BytesFlippedAtRandom",
         [](TDamagedFile& f, const TLayout& l) {
             uint32_t x = 0x1234567;
             for (int i = 0; i < 8; ++i) {
                 x = x * 1103515245u + 12345u;
                 f.FlipByte(static_cast<int64_t>(x % static_cast<uint32_t>(l.Size)),
                            static_cast<uint8_t>(1u << (x >> 29)));
             }
         }},
    };
}

TCorpus& WriterCorpus(const std::string& name) {
    static TCorpus pythonFile(
        "python_file",
        [](const std::string& dir) { return WriteWithPython(dir, false, PythonEntries(false)); },
        WriterVariants());
    static TCorpus pythonPipe(
        "python_pipe",
        [](const std::string& dir) { return WriteWithPython(dir, true, PythonEntries(true)); },
        WriterVariants());
    static TCorpus infoZipFile(
        "infozip_file",
        [](const std::string& dir) {
            return WriteWithInfoZip(dir, "zip -q -r infozip.zip tree", "infozip.zip");
        },
        WriterVariants());
    // zip writing to a pipe: every entry gets flag bit 3 and a data
    // descriptor, and standard input (the entry "-") zip64 local fields.
    static TCorpus infoZipPipe(
        "infozip_pipe",
        [](const std::string& dir) {
            return WriteWithInfoZip(dir, "zip -q -r - tree - < stdin.txt | cat > piped.zip",
                                    "piped.zip");
        },
        WriterVariants());
    // Compression method 12, which the repair copies like any other.
    static TCorpus infoZipBzip2(
        "infozip_bzip2",
        [](const std::string& dir) {
            return WriteWithInfoZip(dir, "zip -q -r -Z bzip2 bzip2.zip tree", "bzip2.zip");
        },
        WriterVariants());
    // Encrypted entries keep flag bit 3, which chooses their password check
    // byte, and so need a data descriptor behind them.
    static TCorpus infoZipEncrypted(
        "infozip_encrypted",
        [](const std::string& dir) {
            return WriteWithInfoZip(dir,
                                    std::string("zip -q -r -P ") + Password + " encrypted.zip tree",
                                    "encrypted.zip");
        },
        WriterVariants(), Password);
    static TCorpus infoZipEncryptedPipe(
        "infozip_encrypted_pipe",
        [](const std::string& dir) {
            return WriteWithInfoZip(dir,
                                    std::string("zip -q -r -P ") + Password +
                                        " - tree | cat > encrypted-piped.zip",
                                    "encrypted-piped.zip");
        },
        WriterVariants(), Password);
    if (name == "python_file")
        return pythonFile;
    if (name == "python_pipe")
        return pythonPipe;
    if (name == "infozip_file")
        return infoZipFile;
    if (name == "infozip_pipe")
        return infoZipPipe;
    if (name == "infozip_bzip2")
        return infoZipBzip2;
    if (name == "infozip_encrypted")
        return infoZipEncrypted;
    return infoZipEncryptedPipe;
}

const auto Writers =
    ::testing::Values("python_file", "python_pipe", "infozip_file", "infozip_pipe", "infozip_bzip2",
                      "infozip_encrypted", "infozip_encrypted_pipe");

using TWriterParam = std::tuple<std::string, std::string, TReader>;

std::string WriterParamName(const ::testing::TestParamInfo<TWriterParam>& info) {
    return std::get<0>(info.param) + "_" +
           VariantReaderName(::testing::TestParamInfo<TVariantReader>(
               {std::get<1>(info.param), std::get<2>(info.param)}, info.index));
}

class WriterArchive : public ::testing::TestWithParam<TWriterParam> {};

TEST_P(WriterArchive, IntactEntriesReadBack) {
    const auto& [writer, variant, reader] = GetParam();
    ExpectIntactEntriesRead(WriterCorpus(writer), {variant, reader});
}

INSTANTIATE_TEST_SUITE_P(Writers, WriterArchive,
                         ::testing::Combine(Writers,
                                            ::testing::ValuesIn(VariantNames(WriterVariants())),
                                            ::testing::ValuesIn(AllReaders())),
                         WriterParamName);

// Each reader shows the names of the repaired archive as it shows the
// original's: UTF-8, code page 437 with a Unicode Path extra field, names
// without a flag from a Unix writer, long paths.
class WriterNames : public ::testing::TestWithParam<TWriterParam> {};

TEST_P(WriterNames, ShownAsInOriginal) {
    const auto& [writer, variant, reader] = GetParam();
    ExpectIntactEntriesRead(WriterCorpus(writer), {variant, reader}, TCheck::Names);
}

INSTANTIATE_TEST_SUITE_P(Writers, WriterNames,
                         ::testing::Combine(Writers, ::testing::Values("CentralDirectoryCutOff"),
                                            ::testing::ValuesIn(AllReaders())),
                         WriterParamName);

} // namespace
} // namespace tessary::interop
