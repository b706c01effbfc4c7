// Inflate: decodes a deflate (method 8) member through the engine's window
// and output flush.
#pragma once

#include <cstdint>

struct zip;
struct DecodeEntry;

// The input stands at the member data with compressed left, uncompressed
// size, extract crc and output count set. 0 on success; 1 bad data (or an
// error pending), 2 bad block type / over-subscribed code / error pending at a
// block header, 3 out of memory while building a table.
int inflateMember(zip& z);

int readBlockHeader(zip& z, int* last_block);
int copyStoredBlock(zip& z);
int decodeFixedBlock(zip& z);
int decodeDynamicBlock(zip& z);
int decodeSymbols(zip& z, const DecodeEntry* lit, const DecodeEntry* dist, std::int32_t lit_bits,
                  std::int32_t dist_bits);
