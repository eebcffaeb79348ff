// make_damaged_sample.cpp -- writes the small damaged archive that the main
// job repairs when it is given no file: a few text entries, one of them
// streamed with a data descriptor, a stray signature in front, and the
// central directory cut off as by an interrupted download.
#include "byte_order.h"

#include <cstdio>
#include <fstream>
#include <string>

using namespace tessary;

namespace {

uint32_t Crc32(const std::string& data) {
    uint32_t crc = 0xFFFFFFFF;
    for (unsigned char c : data) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void AddEntry(std::string& out, const std::string& name, const std::string& data, bool streamed) {
    uint32_t crc = Crc32(data);
    auto size = static_cast<uint32_t>(data.size());
    PutLE32(out, 0x04034B50);
    PutLE16(out, 10);
    PutLE16(out, streamed ? 8 : 0);
    PutLE16(out, 0); // stored
    PutLE16(out, 0x6000);
    PutLE16(out, 0x5A21);
    PutLE32(out, streamed ? 0 : crc);
    PutLE32(out, streamed ? 0 : size);
    PutLE32(out, streamed ? 0 : size);
    PutLE16(out, static_cast<uint16_t>(name.size()));
    PutLE16(out, 0);
    out += name + data;
    if (streamed) {
        PutLE32(out, 0x08074B50);
        PutLE32(out, crc);
        PutLE32(out, size);
        PutLE32(out, size);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_damaged_sample OUT.zip\n");
        return 2;
    }
    std::string zip =
        "This stub is not part of any entry; PK\x03\x04 inside it is a stray signature.\n";
    AddEntry(zip, "readme.txt", "A small archive whose download was cut short.\n", false);
    AddEntry(zip, "docs/", "", false);
    AddEntry(zip, "docs/notes.txt", std::string(2000, 'n') + "\n", true);
    std::string table;
    for (int i = 1; i <= 200; ++i)
        table += std::to_string(i) + "\t" + std::to_string(i * i) + "\n";
    AddEntry(zip, "data/squares.tsv", table, false);
    AddEntry(zip, "data/last.txt", "This entry was only half downloaded: " + std::string(500, 'x'),
             false);
    zip.resize(zip.size() - 300); // the download stopped here
    std::ofstream(argv[1], std::ios::binary) << zip;
    return 0;
}
