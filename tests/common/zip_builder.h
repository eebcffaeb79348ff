// zip_builder.h -- writes ZIP archives for tests, in the layouts real writers
// produce: stored and deflated entries, signed and unsigned data descriptors,
// zip64 local fields as streaming writers emit them, and a central directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessary::test {

enum class TDescriptor { None, Signed, Unsigned };

struct TZipEntry {
    TZipEntry() = default;
    TZipEntry(std::string name, std::string data) : Name(std::move(name)), Data(std::move(data)) {}
    std::string Name;
    std::string Data; // uncompressed
    bool Deflate = false;
    bool FixedCodes = false; // deflated with fixed Huffman codes only
    TDescriptor Descriptor = TDescriptor::None;
    bool Zip64 = false; // zip64 extra in the local header, 0xFFFFFFFF sizes (with a descriptor: 0
                        // sizes, 24-byte descriptor)
    uint16_t Flags = 0; // extra flags, e.g. 0x0800 for UTF-8 names
    std::string Extra;  // further extra-field blocks
    uint16_t VersionNeeded = 20;
    // What only the central directory header holds.
    uint32_t ExternalAttributes = 0; // 0: the MS-DOS folder bit for names ending in '/'
    std::string CentralExtra;
    std::string Comment;
};

struct TBuiltEntry {
    int64_t HeaderOffset = 0;
    int64_t DataStart = 0;
    int64_t DataEnd = 0;   // end of the compressed data (before any descriptor)
    int64_t RecordEnd = 0; // end of the whole record, descriptor included
    uint32_t Crc32 = 0;
    uint64_t CompressedSize = 0;
};

class TZipBuilder {
public:
    void Add(const TZipEntry& e);
    void AddStored(const std::string& name, const std::string& data);
    void AddDeflated(const std::string& name, const std::string& data);
    // Appends raw bytes between records (a stub, garbage).
    void AddRaw(const std::string& bytes) { FOut += bytes; }
    // The archive with its central directory and end record.
    std::string Finish(const std::string& comment = "");
    // The archive as it stands, without central directory.
    const std::string& Bytes() const { return FOut; }
    const std::vector<TBuiltEntry>& Built() const { return FBuilt; }
    int64_t CentralDirectoryOffset() const { return FCentralOffset; }

private:
    std::string FOut;
    std::string FCentral;
    std::vector<TBuiltEntry> FBuilt;
    int64_t FCentralOffset = -1;
    uint64_t FCount = 0;
};

// Writes to `path` `count` local headers of empty stored entries named "a",
// each with an extra field of 65,534 bytes that the file holds as a hole:
// past about 770 of them, names and extra fields pass the scan's memory
// budget for them, yet the file takes almost no room on the disk. False when
// it could not be written.
bool WriteLongExtraHeaders(const std::string& path, int count);

uint32_t Crc32Of(const std::string& data);
// With `fixedCodes`, the stream's blocks use the format's fixed Huffman codes.
std::string RawDeflate(const std::string& data, bool fixedCodes = false);
std::string Bzip2(const std::string& data);
// Repeatable pseudo-random bytes; compressible ones when `text`.
std::string TestBytes(size_t size, uint32_t seed, bool text = false);

} // namespace tessary::test
