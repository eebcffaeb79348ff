// readers.h -- the ZIP readers a repaired archive must satisfy, each driven
// the way its users drive it, each reporting entry by entry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessary::interop {

enum class TReader {
    Strict,   // the tests' own strict reader, in process
    Unzip,    // unzip -t
    SevenZip, // 7z t and 7z l -slt
    Bsdtar,   // bsdtar -xvf - with the archive on standard input
    Python,   // Python's zipfile: every entry read in full
    Java,     // java.util.zip.ZipInputStream: every entry read in full
};

const std::vector<TReader>& AllReaders();
std::string ReaderName(TReader reader);

struct TReaderEntry {
    int64_t Index = 0; // position in the archive, in the reader's order
    std::string Name;  // as the reader shows it
    bool Ok = false;
    bool HasContent = false; // Crc32 and Size describe the extracted bytes
    uint32_t Crc32 = 0;
    uint64_t Size = 0;
    std::optional<bool> IsDirectory; // where the reader tells it apart from the name
    std::string Message;
};

struct TReaderListing {
    bool Opened = true;
    std::string Refusal; // why the reader refused the whole archive
    // Complaints about the archive's structure that name no entry.
    std::vector<std::string> Complaints;
    std::vector<TReaderEntry> Entries;
    bool LocalNames = false; // names come from the local headers (stream readers)
    // Why the reader itself did not run (not started, killed, timed out):
    // a fault of the test set-up, not a refusal of the archive.
    std::string Broken;
    std::string Transcript; // commands and their output, for failure messages
};

// Why the reader cannot run on this machine; empty when it can.
std::string ReaderUnavailable(TReader reader);

// Reads every archive with the reader; one listing per archive, in order.
// `workDir` receives the reader's scratch files. Encrypted entries are read
// with `password`, by the readers that can (not Java's, not the strict one).
std::vector<TReaderListing> ReadArchives(TReader reader, const std::vector<std::string>& archives,
                                         const std::string& workDir,
                                         const std::string& password = "");

} // namespace tessary::interop
