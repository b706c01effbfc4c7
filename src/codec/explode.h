// Explode: decodes an imploded (method 6) member; the current entry's flags
// choose the dictionary size (bit 1) and the number of trees (bit 2).
#pragma once

#include <cstdint>

struct zip;
struct DecodeEntry;

// 0 on success; 1 invalid code; 2 bad (over-subscribed) lengths or an error
// pending at a table build; 3 out of memory; 4 bad length list; 5 the
// compressed data were not used up exactly.
int explodeMember(zip& z);
int readLengthList(zip& z, std::uint32_t* lengths, std::uint32_t expected);
int explodeSymbols(zip& z, const DecodeEntry* lit, const DecodeEntry* len, const DecodeEntry* dist,
                   std::int32_t lit_bits, std::int32_t len_bits, std::int32_t dist_bits,
                   std::uint32_t raw_distance_bits);
