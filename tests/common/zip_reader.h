// zip_reader.h -- reads a repaired archive back through its central
// directory, checking every record the engine wrote.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessary::test {

struct TReadEntry {
    std::string Name;
    uint16_t VersionMadeBy = 0;
    uint16_t VersionNeeded = 0;
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint32_t Crc32 = 0;
    uint64_t CompressedSize = 0;
    uint64_t UncompressedSize = 0;
    uint32_t ExternalAttributes = 0;
    uint64_t HeaderOffset = 0;
    std::string CentralExtra;
    std::string Comment;
    std::string LocalName;
    std::string LocalExtra;
    uint16_t LocalFlags = 0;
    std::string Data; // compressed bytes as stored
};

struct TReadArchive {
    std::vector<TReadEntry> Entries;
    uint64_t EndRecordCount = 0; // as the classic end record says
    std::string Comment;
    bool Zip64End = false;
};

// Throws std::runtime_error on any structural fault.
TReadArchive ReadArchive(const std::string& bytes);

// Inflates or copies the stored bytes and checks the CRC; returns the data.
std::string Extract(const TReadEntry& e);

} // namespace tessary::test
