// Inflate: decodes a deflate (method 8) or Deflate64 (method 9) member
// through the engine's window and output flush.
#pragma once

#include <cstdint>

#include "zip/zip.h"

struct DecodeEntry;

// The window an extraction allocates for every decoder: Deflate64 needs all
// of it; deflate, explode and stored members use its first 32 KiB.
constexpr std::uint32_t kDecoderWindowSize = 65536;

// Deflate64 is deflate with a 64 KiB window, distance codes 30 and 31, and
// length code 285 taking 16 extra bits on a base of 3.
enum class InflateFormat { Deflate, Deflate64 };

// What the blocks of one member share.
struct InflateStream {
    InflateFormat format = InflateFormat::Deflate;
    // Deflate64: a whole window was written, so every distance has history.
    bool window_filled = false;
    // Deflate64's fixed codes, built by the member's first fixed block (the
    // engine's cached ones are deflate's).
    DecodeTablePtr fixed_lit{nullptr, nullptr};
    DecodeTablePtr fixed_dist{nullptr, nullptr};
    std::int32_t fixed_lit_bits = 0;
    std::int32_t fixed_dist_bits = 0;
};

// The input stands at the member data with compressed left, uncompressed
// size, extract crc and output count set; the window holds 32 KiB for
// inflateMember, kDecoderWindowSize for inflate64Member. 0 on success; 1 bad
// data (or an error pending), 2 bad block type / over-subscribed code / error
// pending at a block header, 3 out of memory while building a table.
// Deflate64 also reports a distance reaching before the member's first byte
// as bad data; deflate copies what the window holds there.
int inflateMember(zip& z);
int inflate64Member(zip& z);

int readBlockHeader(zip& z, InflateStream& s, int* last_block);
int copyStoredBlock(zip& z, InflateStream& s);
int decodeFixedBlock(zip& z, InflateStream& s);
int decodeDynamicBlock(zip& z, InflateStream& s);
int decodeSymbols(zip& z, InflateStream& s, const DecodeEntry* lit, const DecodeEntry* dist,
                  std::int32_t lit_bits, std::int32_t dist_bits);
