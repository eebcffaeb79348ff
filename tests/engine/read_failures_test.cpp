// Read failures of the damaged file end the scan or the rebuild with an
// error of the damaged file: never zeros passed off as entry data, never a
// repaired archive, and the error says where reading failed.
#include "arcsalve.h"
#include "engine_error.h"
#include "memory_streams.h"
#include "zip_builder.h"

#include <gtest/gtest.h>

#include <memory>

using namespace tessary;
using namespace tessary::test;

namespace {

enum class TFault { Eio, CutShort };
enum class TStage { Scan, Rebuild, OnePass };

// A memory stream that, once armed, fails every read reaching `At`: with an
// I/O error, or by ending there although its size says otherwise.
class TFaultyInput : public TMemoryInput {
public:
    TFaultyInput(std::string data, TFault fault, int64_t at)
        : TMemoryInput(std::move(data)), FFault(fault), FAt(at) {}
    size_t ReadAt(int64_t offset, void* buffer, size_t count) override {
        if (!Armed || offset + static_cast<int64_t>(count) <= FAt)
            return TMemoryInput::ReadAt(offset, buffer, count);
        if (FFault == TFault::Eio)
            throw EArcsalveError(TErrorKind::ReadInput, "damaged.zip", "Input/output error",
                                 std::max(offset, FAt));
        return offset >= FAt ? 0 : TMemoryInput::ReadAt(offset, buffer, size_t(FAt - offset));
    }
    bool Armed = false;

private:
    TFault FFault;
    int64_t FAt;
};

struct TReadFailureCase {
    const char* Name;
    TFault Fault;
    TStage Stage;
    int64_t At; // offset of the fault in the damaged file
};

class ReadFailureIsAnErrorNotZeros : public ::testing::TestWithParam<TReadFailureCase> {};

TEST_P(ReadFailureIsAnErrorNotZeros, ScanOrRebuildStopsAndNothingIsWritten) {
    const TReadFailureCase& c = GetParam();
    TZipBuilder b;
    for (int i = 0; i < 4; ++i)
        b.AddStored("entry" + std::to_string(i) + ".bin", TestBytes(40000, i));
    auto input = std::make_unique<TFaultyInput>(b.Bytes(), c.Fault, c.At);
    TFaultyInput* faulty = input.get();
    faulty->Armed = c.Stage != TStage::Rebuild;

    TMemoryFileSystem fs;
    TArcsalveOptions options;
    options.BufferSize = 4096;
    options.CreateOutput = fs.Factory();
    TArcsalve engine(std::move(input), nullptr, options);
    try {
        if (c.Stage == TStage::OnePass) {
            engine.ScanAndRecover("out.zip");
            FAIL() << "the one-pass repair passed over the fault";
        }
        engine.BeginScanFile();
        ASSERT_EQ(c.Stage, TStage::Rebuild) << "the scan passed over the fault";
        ASSERT_EQ(engine.FView.size(), 4u);
        faulty->Armed = true;
        engine.GetRecovered("out.zip");
        ADD_FAILURE() << "the rebuild passed over the fault";
    } catch (const EArcsalveError& e) {
        EXPECT_EQ(e.Kind, TErrorKind::ReadInput) << e.Reason;
        EXPECT_GE(e.Offset, c.At) << "the error tells where reading failed";
        EXPECT_LT(e.Offset, c.At + 4096);
    }
    EXPECT_TRUE(fs.Files.empty()) << "a repaired archive was written over unread data";
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ReadFailureIsAnErrorNotZeros,
    ::testing::Values(
        TReadFailureCase{"EioInScan", TFault::Eio, TStage::Scan, 50000},
        TReadFailureCase{"CutShortInScan", TFault::CutShort, TStage::Scan, 50000},
        TReadFailureCase{"EioInRebuild", TFault::Eio, TStage::Rebuild, 90000},
        TReadFailureCase{"CutShortInRebuild", TFault::CutShort, TStage::Rebuild, 90000},
        TReadFailureCase{"EioInOnePass", TFault::Eio, TStage::OnePass, 90000},
        TReadFailureCase{"CutShortInOnePass", TFault::CutShort, TStage::OnePass, 120000}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
