// Test rig for the member decoders (unshrink, explode): runs a decoder over
// hand-made member data or over every member of a fixture archive, in memory
// mode, and returns what it produced. Also an LSB-first bit writer for
// crafting streams and the fixture manifest's member lines.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace test {

// Packs values LSB-first: the first bit written is bit 0 of the first byte.
class BitWriter {
  public:
    void put(std::uint32_t value, unsigned bits);
    void byte(std::uint8_t value) { put(value, 8); } // only on a byte boundary is it a raw byte
    void align();                                    // pads with zero bits to a byte boundary
    const Bytes& bytes();

  private:
    Bytes out_;
    std::uint32_t acc_ = 0;
    unsigned count_ = 0;
};

using Decoder = std::function<int(zip&)>;

// What one decoder run left behind.
struct Decoded {
    int result = 0;         // the decoder's return value
    std::int32_t error = 0; // the engine's error afterwards
    Bytes data;             // the output, output count bytes
    std::uint32_t crc = 0;  // the complemented extract crc
    std::uint32_t compressed_left = 0;
    bool window_present = false;
};

// Decodes `data` as one member's compressed data. compressed_size defaults
// to the data's size (a larger one reads past the end of the file);
// capacity defaults to uncompressed size + 64 KiB.
struct RawMemberOptions {
    std::uint32_t uncompressed_size = 0;
    std::uint16_t flags = 0;
    std::uint32_t compressed_size = 0xFFFFFFFFu;
    std::uint32_t capacity = 0xFFFFFFFFu;
};
Decoded decode_raw(const Bytes& data, const RawMemberOptions& options, const Decoder& decoder);

// One member line of tests/data/zip/MANIFEST.tsv.
struct ManifestMember {
    std::string name;
    std::uint32_t method = 0;
    std::uint32_t flags = 0;
    std::uint32_t compressed_size = 0;
    std::uint32_t uncompressed_size = 0;
    std::uint32_t crc = 0;
};
std::vector<ManifestMember> manifest_members(const std::string& archive);

// Opens a fixture archive and decodes each member of the given method in
// turn with one engine, as an extraction would; calls check for each.
// Returns the number of members decoded.
int decode_fixture(const std::string& archive, std::uint32_t method, const Decoder& decoder,
                   const std::function<void(const zentry&, const Decoded&)>& check);

} // namespace test
