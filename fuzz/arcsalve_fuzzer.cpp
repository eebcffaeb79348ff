// arcsalve_fuzzer.cpp -- libFuzzer target: scans arbitrary bytes and rebuilds
// what was found, entirely through memory streams.
//
// The first three bytes of an input steer the run; the rest is the damaged file.
//   byte 0  read buffer size: 1 to 224 bytes, so that every record of the file
//           crosses a buffer edge somewhere; 225 and up: the usual 1 MiB.
//   byte 1  when the caller answers "stop": 0 never; 1 to 127 at that progress
//           report of the scan; 128 to 255 at report (value - 127) of the rebuild.
//   byte 2  0 to 127: the output fails after value * value * 4 bytes (0: never);
//           128 to 255: the scan keeps at most value - 127 entries.
//
// Besides the sanitizers, the target checks results that must hold for every
// input: a scan finds the same entries whatever its buffer size; a rebuild
// either commits a well-formed archive of exactly the entries it wrote or, when
// the output fails, leaves nothing behind; a stop is only ever a stop; and
// the one-pass repair writes the same archive as the scan and the rebuild.
#include "arcsalve.h"
#include "engine_error.h"
#include "memory_streams.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace tessary;

namespace {

constexpr size_t ControlBytes = 3;
constexpr size_t DefaultBuffer = 1 << 20;
// Entries may overlap (a header inside another entry's data is an entry of its
// own), so a small hostile input can claim an output of hundreds of megabytes.
// Capping the output keeps every run fast; a run that hits the cap exercises
// the failed-write path.
constexpr int64_t OutputCap = 16 << 20;
const std::string OutputPath = "repaired.zip";

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "arcsalve_fuzzer: %s\n", what);
    std::abort();
}

void Check(bool ok, const char* what) {
    if (!ok)
        Fail(what);
}

struct TControl {
    size_t BufferSize = DefaultBuffer;
    int StopInScanAt = 0;    // 0: never
    int StopInRebuildAt = 0; // 0: never
    int64_t FailAfterBytes = -1;
    size_t MaxEntries = TArcsalveOptions{}.MaxEntries;
};

TControl DecodeControl(const uint8_t* c) {
    TControl k;
    if (c[0] < 225)
        k.BufferSize = c[0] + 1u;
    if (c[1] >= 128)
        k.StopInRebuildAt = c[1] - 127;
    else
        k.StopInScanAt = c[1];
    if (c[2] >= 128)
        k.MaxEntries = c[2] - 127u;
    else if (c[2] > 0)
        k.FailAfterBytes = int64_t(c[2]) * c[2] * 4;
    return k;
}

// A progress receiver that counts reports and answers "stop" where told.
struct TReceiver {
    bool Rebuilding = false;
    int ScanReports = 0;
    int RebuildReports = 0;
    bool StopAsked = false;
    const TControl* Control = nullptr;

    bool operator()(int32_t percent, const char* text) {
        Check(percent >= 0, "negative progress percentage");
        Check(text && *text, "empty progress text");
        for (const char* p = text; *p; ++p)
            Check(*p >= '0' && *p <= '9', "progress text is not a decimal count");
        int& count = Rebuilding ? RebuildReports : ScanReports;
        ++count;
        int stopAt = Rebuilding ? Control->StopInRebuildAt : Control->StopInScanAt;
        if (stopAt > 0 && count >= stopAt) {
            StopAsked = true;
            return false;
        }
        return true;
    }
};

std::unique_ptr<TArcsalve> MakeEngine(const std::string& file, size_t bufferSize, size_t maxEntries,
                                      TReceiver* receiver, TMemoryFileSystem* fs) {
    TArcsalveOptions options;
    options.BufferSize = bufferSize;
    options.MaxEntries = maxEntries;
    // Every call moves the clock past the reporting interval, so every
    // report the engine may make is made and can be answered with "stop".
    auto tick = std::make_shared<uint32_t>(0);
    options.TickCount = [tick] { return *tick += 101; };
    if (fs)
        options.CreateOutput = fs->Factory();
    TProgressEvent event;
    if (receiver)
        event = [receiver](int32_t percent, const char* text) {
            return (*receiver)(percent, text);
        };
    return std::make_unique<TArcsalve>(std::make_unique<TMemoryInput>(file), std::move(event),
                                       std::move(options));
}

bool SameEntry(const TFileInfo& a, const TFileInfo& b) {
    const TLocalHeader& x = *a.Found;
    const TLocalHeader& y = *b.Found;
    bool sameFound = x.Offset == y.Offset && x.VersionNeeded == y.VersionNeeded &&
                     x.Flags == y.Flags && x.Method == y.Method && x.ModTime == y.ModTime &&
                     x.ModDate == y.ModDate && x.NameLength == y.NameLength &&
                     x.ExtraLength == y.ExtraLength && x.Zip64 == y.Zip64 &&
                     x.NameAndExtra == y.NameAndExtra;
    bool sameCentral = (a.Central == nullptr) == (b.Central == nullptr) &&
                       (!a.Central || a.Central->Offset == b.Central->Offset);
    return sameFound && sameCentral && a.VersionMadeBy() == b.VersionMadeBy() &&
           a.Crc32 == b.Crc32 && a.CompressedSize == b.CompressedSize &&
           a.UncompressedSize == b.UncompressedSize && a.ExtraLength() == b.ExtraLength() &&
           a.Status == b.Status && a.SizeSource == b.SizeSource &&
           a.SizeRecordOffset == b.SizeRecordOffset && a.Reasons == b.Reasons &&
           a.ExternalAttributes() == b.ExternalAttributes() && a.CentralStrings == b.CentralStrings;
}

void CheckSameScan(const TArcsalve& small, const TArcsalve& large) {
    Check(small.Entries().size() == large.Entries().size(),
          "the number of entries depends on the read buffer size");
    Check(small.DroppedEntries() == large.DroppedEntries(),
          "the dropped entries depend on the read buffer size");
    for (size_t i = 0; i < small.Entries().size(); ++i)
        Check(SameEntry(small.Entries()[i], large.Entries()[i]),
              "an entry depends on the read buffer size");
}

uint16_t Le16(const std::string& s, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1])
                                                                   << 8);
}

uint32_t Le32(const std::string& s, size_t at) {
    return Le16(s, at) | static_cast<uint32_t>(Le16(s, at + 2)) << 16;
}

uint64_t Le64(const std::string& s, size_t at) {
    return Le32(s, at) | static_cast<uint64_t>(Le32(s, at + 4)) << 32;
}

// Walks the repaired archive from its end record: every central header names
// a local header with the same fields, and the entries lie back to back from
// offset 0 up to the central directory.
void CheckRepairedArchive(const std::string& zip, size_t written) {
    const std::string comment = RecoveredComment;
    const size_t endSize = 22 + comment.size();
    Check(zip.size() >= endSize, "repaired archive too short for its end record");
    size_t end = zip.size() - endSize;
    Check(Le32(zip, end) == 0x06054B50, "no end record at the end of the repaired archive");
    Check(zip.compare(end + 22, comment.size(), comment) == 0, "wrong archive comment");
    uint16_t count = Le16(zip, end + 10);
    uint32_t cdSize = Le32(zip, end + 12);
    uint32_t cdOffset = Le32(zip, end + 16);
    if (count == 0xFFFF || cdSize == 0xFFFFFFFF || cdOffset == 0xFFFFFFFF)
        return; // zip64 end records: not reachable with inputs of fuzzing size
    Check(count == (written & 0xFFFF), "end record count differs from the entries written");
    Check(uint64_t(cdOffset) + cdSize == end, "central directory does not end at the end record");

    size_t pos = cdOffset;
    uint64_t expectedLocal = 0;
    for (size_t i = 0; i < written; ++i) {
        Check(pos + 46 <= end && Le32(zip, pos) == 0x02014B50, "central header missing");
        uint16_t flags = Le16(zip, pos + 8);
        uint32_t crc = Le32(zip, pos + 16);
        uint32_t csize = Le32(zip, pos + 20);
        uint32_t usize = Le32(zip, pos + 24);
        size_t nameLen = Le16(zip, pos + 28);
        size_t extraLen = Le16(zip, pos + 30);
        size_t commentLen = Le16(zip, pos + 32);
        uint32_t local = Le32(zip, pos + 42);
        Check(local == expectedLocal, "entries do not lie back to back");
        Check(uint64_t(local) + 30 <= cdOffset && Le32(zip, local) == 0x04034B50,
              "central header names no local header");
        Check(Le16(zip, local + 6) == flags && Le32(zip, local + 14) == crc,
              "local and central headers disagree");
        size_t localNameLen = Le16(zip, local + 26);
        size_t localExtraLen = Le16(zip, local + 28);
        Check(uint64_t(local) + 30 + localNameLen + localExtraLen <= cdOffset,
              "local header runs into the central directory");
        // An uncompressed size beyond 32 bits moves both local sizes into a
        // zip64 block, the first of the local extra field.
        bool localZip64 = Le32(zip, local + 18) == 0xFFFFFFFF;
        if (localZip64) {
            size_t block = local + 30 + localNameLen;
            Check(localExtraLen >= 20 && Le16(zip, block) == 1 && Le16(zip, block + 2) == 16,
                  "local sizes marked zip64 without a zip64 block");
            Check(Le64(zip, block + 12) == csize &&
                      (usize == 0xFFFFFFFF || Le64(zip, block + 4) == usize),
                  "local zip64 sizes and central sizes disagree");
        } else {
            Check(Le32(zip, local + 18) == csize && Le32(zip, local + 22) == usize,
                  "local and central sizes disagree");
        }
        Check((flags & 0x0009) != 0x0008, "unencrypted entry still announces a data descriptor");
        uint64_t next = uint64_t(local) + 30 + localNameLen + localExtraLen + csize;
        if (flags & 0x0008) {
            size_t descriptor = localZip64 ? 24 : 16;
            Check(next + descriptor <= cdOffset && Le32(zip, next) == 0x08074B50,
                  "encrypted entry lacks its data descriptor");
            next += descriptor;
        }
        Check(next <= cdOffset, "entry data runs into the central directory");
        expectedLocal = next;
        pos += 46 + nameLen + extraLen + commentLen;
    }
    Check(expectedLocal == cdOffset, "gap between the last entry and the central directory");
    Check(pos == end, "central directory holds more than the entries written");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < ControlBytes)
        return 0;
    TControl control = DecodeControl(data);
    std::string file(reinterpret_cast<const char*>(data) + ControlBytes, size - ControlBytes);

    TMemoryFileSystem fs;
    fs.FailAfterBytes = control.FailAfterBytes >= 0 ? control.FailAfterBytes : OutputCap;
    TReceiver receiver;
    receiver.Control = &control;
    auto engine = MakeEngine(file, control.BufferSize, control.MaxEntries, &receiver, &fs);
    engine->BeginScanFile();
    Check(engine->FView.size() == engine->Entries().size(), "view and entries differ in number");
    if (!file.empty() && !receiver.StopAsked)
        Check(receiver.ScanReports >= 1, "no final progress report after the scan");

    if (!receiver.StopAsked && control.BufferSize < file.size()) {
        // One block holding the whole file: what the usual 1 MiB buffer is for
        // every input of fuzzing size, without allocating a megabyte per run.
        auto reference = MakeEngine(file, file.size(), control.MaxEntries, nullptr, nullptr);
        reference->BeginScanFile();
        CheckSameScan(*engine, *reference);
    }

    receiver.Rebuilding = true;
    bool failed = false;
    try {
        engine->GetRecovered(OutputPath);
    } catch (const EArcsalveError& e) {
        // A failed write, or the refusal of an input whose overlapping claims
        // would make the repaired archive more than twice its size.
        Check(e.Kind == TErrorKind::WriteOutput || e.Kind == TErrorKind::Refused,
              "rebuild failed other than by a failed write or a refusal");
        failed = true;
    }
    auto it = fs.Files.find(OutputPath);
    if (!receiver.StopAsked && control.FailAfterBytes < 0) {
        // The one pass writes the very same archive, or fails as well.
        TMemoryFileSystem onePassFs;
        onePassFs.FailAfterBytes = OutputCap;
        auto onePass =
            MakeEngine(file, control.BufferSize, control.MaxEntries, nullptr, &onePassFs);
        bool onePassFailed = false;
        try {
            onePass->ScanAndRecover(OutputPath);
        } catch (const EArcsalveError&) {
            onePassFailed = true;
        }
        Check(onePassFailed == failed, "the one pass fails where the two stages do not, or not");
        auto other = onePassFs.Files.find(OutputPath);
        Check((other == onePassFs.Files.end()) == (it == fs.Files.end()) &&
                  (it == fs.Files.end() || other->second == it->second),
              "the one pass writes another archive than the two stages");
    }
    if (failed) {
        Check(it == fs.Files.end(), "a failed rebuild left a file behind");
        return 0;
    }
    if (engine->Entries().empty()) {
        Check(it == fs.Files.end(), "a rebuild without entries created a file");
        return 0;
    }
    Check(it != fs.Files.end(), "a rebuild that reported success committed nothing");
    size_t written = engine->WrittenEntries();
    Check(written >= 1 && written <= engine->Entries().size(),
          "impossible count of entries written");
    if (!receiver.StopAsked)
        Check(written == engine->Entries().size(), "entries left out without a stop");
    CheckRepairedArchive(it->second, written);
    return 0;
}
