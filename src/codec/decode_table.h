// Multi-level Huffman decoding tables, shared by inflate and explode.
//
// A first-level table indexed by the next `lookup bits` of the input, with
// sub-tables only for longer codes. Each table is one block of slots + 1
// entries; the hidden entry in front links the tables of one structure so
// that releaseDecodeTable frees all of them from the first-level table.
#pragma once

#include <cstdint>

struct zip;

struct DecodeEntry {
    // 0..16: base value with this many extra bits (16: Deflate64's length 285);
    // 17: end of block; 18: literal or plain symbol; 19 and up: link to a
    // sub-table of (op - 18) bits; 99: invalid.
    std::uint8_t op;
    std::uint8_t bits; // code bits consumed by this slot
    union {
        std::uint16_t value;
        DecodeEntry* next; // sub-table (links) or next table (hidden entry)
    };
};

enum : std::uint8_t { kOpEndOfBlock = 17, kOpLiteral = 18, kOpInvalid = 99 };

// Caller-provided room for the tables of one structure (a decoder's block),
// so that building them costs no allocation. Tables that do not fit go to the
// heap; releaseDecodeTable tells them apart.
struct DecodeArena {
    DecodeEntry* slots;
    std::uint32_t capacity;
    std::uint32_t used = 0;
};

// lengths[0..n-1], s simple symbols, base/extra for symbols s and up. Returns
// 0 complete, 1 incomplete (a table was still built), 2 over-subscribed or bad
// input (no table), 3 out of memory. *lookup_bits is in/out. With an arena
// the tables are placed in it while it has room.
int buildDecodeTable(zip& z, const std::uint32_t* lengths, std::uint32_t n, std::uint32_t s,
                     const std::uint16_t* base, const std::uint16_t* extra, DecodeEntry** table,
                     std::int32_t* lookup_bits, DecodeArena* arena = nullptr);
// Frees every table of the structure; a null table is accepted. Returns 0.
int releaseDecodeTable(DecodeEntry* table);
