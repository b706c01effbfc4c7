// Inflate: decodes a deflate (RFC 1951) member block by block into the
// engine's 32 KiB window, which doubles as the history for matches and as
// the output buffer handed to the flush whenever it fills. Deflate64 members
// take the same path with a 64 KiB window and their own length and distance
// tables; the format is settled once per member, so plain deflate runs the
// very code it ran before (decodeFast is instantiated once per format).
//
// Why it is fast: symbols are decoded by decodeFast while the input block and
// the member both have bytes to spare. It keeps the bit buffer (64 bits wide),
// the window position and the read position in locals, refills up to seven
// bytes with one unaligned load, decodes literals and length/distance pairs
// with at most one refill per symbol and copies matches in words (two or four
// from both ends for short ones, 8-byte strides when they overlap). Near the
// end of an input block or of the member it hands the bytes it has read ahead
// back to the input and the symbol-at-a-time path, which fetches exactly as
// the bit buffer rules say, takes over: results are the same as if every bit
// had been fetched one byte at a time. Stored blocks are copied straight from
// the input block when the bit buffer is empty.
#include "codec/inflate.h"

#include <cstring>

#include "codec/bitio.h"
#include "codec/decode_table.h"
#include "zip/zip.h"

namespace {

// Built with ZARVO_INFLATE_BY_RULES (the tests and the fuzzer do), every
// symbol and every stored byte takes the rule-by-rule path: the reference
// that the fast paths are compared with.
#ifdef ZARVO_INFLATE_BY_RULES
constexpr bool kFastPaths = false;
#else
constexpr bool kFastPaths = true;
#endif

// Every check of the compressed data has this one shape: the condition the
// data must meet, and the result the block ends with when it does not.
#define INFLATE_REQUIRE(condition, result)                                                         \
    do {                                                                                           \
        if (__builtin_expect(!(condition), 0)) return (result);                                    \
    } while (0)

enum : int {
    kOk = 0,
    kBadData = 1,      // invalid code, bad stored length, repeat past the end, error pending
    kBadTable = 2,     // unknown block type, over-subscribed code, error pending at a header
    kKeepDecoding = -1 // decodeFast: input ran low or an error is pending; not a result
};

constexpr std::uint32_t kWindowSize = 32768;
constexpr std::uint32_t kWindow64Size = kDecoderWindowSize;
constexpr std::uint32_t kStoredLengthBits = 16;

constexpr std::uint32_t window_size(InflateFormat format) {
    return format == InflateFormat::Deflate64 ? kWindow64Size : kWindowSize;
}

// Requested first-level widths: wide enough that almost every code is one
// lookup, small enough that a dynamic block's tables build in microseconds.
constexpr std::int32_t kFixedLiteralBits = 7;
constexpr std::int32_t kFixedDistanceBits = 5;
constexpr std::int32_t kLiteralBits = 9;
constexpr std::int32_t kDistanceBits = 6;
constexpr std::int32_t kCodeLengthBits = 7;
// Room for a dynamic block's literal/length and distance tables: first
// levels of 2^9 and 2^6 slots plus their sub-tables, each with its link entry.
constexpr std::uint32_t kBlockTableSlots = 2048 + 1024;

// Lengths of codes 257..285 (RFC 1951 3.2.5); 286 and 287 are invalid.
const std::uint16_t kLengthBase[31] = {3,  4,   5,   6,   7,   8,   9,   10, 11, 13, 15,
                                       17, 19,  23,  27,  31,  35,  43,  51, 59, 67, 83,
                                       99, 115, 131, 163, 195, 227, 258, 0,  0};
const std::uint16_t kLengthExtra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,  2, 2,
                                        3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
// Deflate64: code 285 is 3 + 16 extra bits, lengths up to 65,538.
const std::uint16_t kLength64Base[31] = {3,  4,   5,   6,   7,   8,   9,  10, 11, 13, 15,
                                         17, 19,  23,  27,  31,  35,  43, 51, 59, 67, 83,
                                         99, 115, 131, 163, 195, 227, 3,  0,  0};
const std::uint16_t kLength64Extra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2,  2,  2, 2,
                                          3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16, 99, 99};
// Distances of codes 0..29; a dynamic block may declare codes 30 and 31,
// which decode as invalid.
const std::uint16_t kDistanceBase[32] = {
    1,   2,   3,   4,   5,    7,    9,    13,   17,   25,   33,   49,    65,    97,    129, 193,
    257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 0,   0};
const std::uint16_t kDistanceExtra[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                          7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 99, 99};
// Deflate64: codes 30 and 31 reach up to 65,536 back.
const std::uint16_t kDistance64Base[32] = {1,    2,    3,    4,     5,     7,     9,     13,
                                           17,   25,   33,   49,    65,    97,    129,   193,
                                           257,  385,  513,  769,   1025,  1537,  2049,  3073,
                                           4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
const std::uint16_t kDistance64Extra[32] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3, 4,
                                            4,  5,  5,  6,  6,  7,  7,  8,  8,  9, 9,
                                            10, 10, 11, 11, 12, 12, 13, 13, 14, 14};

// The constant tables of a format, chosen once per block.
struct CodeTables {
    const std::uint16_t* length_base;
    const std::uint16_t* length_extra;
    const std::uint16_t* distance_base;
    const std::uint16_t* distance_extra;
};

CodeTables code_tables(InflateFormat format) {
    if (format == InflateFormat::Deflate64)
        return {kLength64Base, kLength64Extra, kDistance64Base, kDistance64Extra};
    return {kLengthBase, kLengthExtra, kDistanceBase, kDistanceExtra};
}

const std::uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                           11, 4,  12, 3, 13, 2, 14, 1, 15};

void free_table(DecodeEntry* table) {
    releaseDecodeTable(table);
}

// A dynamic block's table, released on every path out of the block.
struct OwnedTable {
    DecodeEntry* table = nullptr;
    std::int32_t bits = 0;
    OwnedTable() = default;
    OwnedTable(const OwnedTable&) = delete;
    OwnedTable& operator=(const OwnedTable&) = delete;
    ~OwnedTable() { releaseDecodeTable(table); }
    void release() {
        releaseDecodeTable(table);
        table = nullptr;
    }
};

inline std::uint64_t load_little64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

inline void copy8(std::uint8_t* d, const std::uint8_t* s) {
    std::uint64_t v;
    std::memcpy(&v, s, 8);
    std::memcpy(d, &v, 8);
}

// Copies n bytes from s to d inside the window, exactly n bytes written. When
// d - s < n the regions overlap and the bytes just written are read again,
// which repeats the last d - s bytes as a pattern.
inline void copy_match(std::uint8_t* d, const std::uint8_t* s, std::uint32_t n) {
    const std::uintptr_t distance = static_cast<std::uintptr_t>(d - s);
    if (distance >= n) {
        // Apart: words from both ends, overlapping in the middle, cover any
        // length without writing past it (the bytes behind are history).
        if (n > 32) {
            std::memcpy(d, s, n);
        } else if (n >= 16) {
            std::uint64_t a, b, c, e;
            std::memcpy(&a, s, 8);
            std::memcpy(&b, s + 8, 8);
            std::memcpy(&c, s + n - 16, 8);
            std::memcpy(&e, s + n - 8, 8);
            std::memcpy(d, &a, 8);
            std::memcpy(d + 8, &b, 8);
            std::memcpy(d + n - 16, &c, 8);
            std::memcpy(d + n - 8, &e, 8);
        } else if (n >= 8) {
            std::uint64_t a, b;
            std::memcpy(&a, s, 8);
            std::memcpy(&b, s + n - 8, 8);
            std::memcpy(d, &a, 8);
            std::memcpy(d + n - 8, &b, 8);
        } else if (n >= 4) {
            std::uint32_t a, b;
            std::memcpy(&a, s, 4);
            std::memcpy(&b, s + n - 4, 4);
            std::memcpy(d, &a, 4);
            std::memcpy(d + n - 4, &b, 4);
        } else {
            for (std::uint32_t i = 0; i < n; ++i)
                d[i] = s[i];
        }
        return;
    }
    if (distance == 1) {
        std::memset(d, *s, n);
        return;
    }
    if (distance < 8) {
        // Seed the pattern byte by byte until a whole number of periods
        // spans 8 bytes; from there on every word repeats one 8 or more back.
        std::uint32_t period = static_cast<std::uint32_t>(distance);
        while (period < 8)
            period += static_cast<std::uint32_t>(distance);
        std::uint32_t i = 0;
        for (; i < period && i < n; ++i)
            d[i] = s[i];
        s = d + i - period;
        d += i;
        n -= i;
    }
    while (n >= 8) {
        copy8(d, s);
        d += 8;
        s += 8;
        n -= 8;
    }
    for (std::uint32_t i = 0; i < n; ++i)
        d[i] = s[i];
}

// copy_match for sources 8 or more bytes back, with room for 8 bytes past
// the end: whole words up to the first one that covers the end, no tail. The
// word past the end is still history (the window is circular), so it is put
// back afterwards. Words read at most up to the one just written, which is
// complete: the pattern of an overlapping source repeats correctly.
inline void copy_match_over(std::uint8_t* d, const std::uint8_t* s, std::uint32_t n) {
    std::uint8_t* const end = d + n;
    std::uint64_t past_end;
    std::memcpy(&past_end, end, 8);
    do {
        copy8(d, s);
        d += 8;
        s += 8;
    } while (d < end);
    std::memcpy(end, &past_end, 8);
}

// Hands a full window to the flush; from then on the whole window is history.
inline void flush_window(zip& z, InflateStream& s, const std::uint8_t* window, std::uint32_t size) {
    flushOutput(z, window, size);
    s.window_filled = true;
}

// A match copy in the general case: the source may wrap around the window and
// the destination may reach its end. Runs never cross either end; a full
// window is flushed between runs and the copy goes on at its start. Returns
// the new window position.
std::uint32_t copy_runs(zip& z, InflateStream& s, std::uint32_t size, std::uint8_t* window,
                        std::uint32_t window_pos, std::uint32_t source, std::uint32_t length) {
    while (length > 0) {
        const std::uint32_t furthest = source > window_pos ? source : window_pos;
        std::uint32_t run = size - furthest;
        if (run > length) run = length;
        // A distance of a whole window copies each byte onto itself.
        if (window_pos == source) {
        } else if (window_pos - source >= run) {
            std::memmove(window + window_pos, window + source, run);
        } else {
            copy_match(window + window_pos, window + source, run);
        }
        window_pos += run;
        source = (source + run) & (size - 1);
        length -= run;
        if (window_pos == size) {
            flush_window(z, s, window, size);
            window_pos = 0;
        }
    }
    return window_pos;
}

// Stores one decoded byte; a full window goes to the flush.
inline void put_byte(zip& z, InflateStream& s, std::uint32_t size, std::uint8_t* window,
                     std::uint32_t& window_pos, std::uint8_t byte) {
    window[window_pos++] = byte;
    if (window_pos == size) {
        flush_window(z, s, window, size);
        window_pos = 0;
    }
}

// Input the fast loop may read ahead into: the bytes that are both in the
// current input block and still part of the member. Right after the member's
// end the fetch rules differ (an all-ones byte, then what follows it in the
// archive): a compressed left that has wrapped is counted as nothing left.
inline std::uint32_t fast_input_available(const zip& z) {
    if (z.bytes_left <= 0 || z.compressed_left >= ~std::uint64_t(0xFFFF)) return 0;
    const std::uint32_t in_block = static_cast<std::uint32_t>(z.bytes_left);
    return in_block < z.compressed_left ? in_block : static_cast<std::uint32_t>(z.compressed_left);
}

// Bytes read ahead per refill need 8 readable bytes; one deflate symbol
// consumes at most 48 bits (15 + 5 for a length, 15 + 13 for a distance),
// which one refill covers. A Deflate64 pair takes up to 60 (15 + 16, 15 + 14):
// it refills again between length and distance, so it keeps a second 8 bytes.
constexpr std::uint32_t kFastInputMargin = 8;
constexpr std::uint32_t fast_input_margin(InflateFormat format) {
    return format == InflateFormat::Deflate64 ? 2 * kFastInputMargin : kFastInputMargin;
}

// The block's two tables flattened for the fast loop, 32 bits a slot: bits
// of the code (with any sub-table's) in bits 0-7, op in bits 8-15, the value
// in the high half. They are indexed by more bits than the first levels of
// the decoding tables, so that codes up to that length take one load; a
// longer code, an invalid one, or one behind a deeper link keeps the first
// level's link op and is walked in the decoding tables as before. A slot
// decodes the same symbol as the walk would: the canonical code of at most
// the flat width is replicated over every value of the bits above it.
constexpr std::uint32_t kFlatLiteralBits = 11;
constexpr std::uint32_t kFlatDistanceBits = 8;

struct FastTables {
    const DecodeEntry* lit;
    const DecodeEntry* dist;
    std::uint64_t lit_mask;  // first level of lit
    std::uint64_t dist_mask; // first level of dist
    std::uint32_t packed_lit[1u << kFlatLiteralBits];
    std::uint32_t packed_dist[1u << kFlatDistanceBits];
};

inline std::uint32_t pack_entry(const DecodeEntry& e) {
    const std::uint32_t value = e.op <= kOpLiteral ? e.value : 0;
    return e.bits | (std::uint32_t(e.op) << 8) | (value << 16);
}

inline std::uint32_t packed_op(std::uint32_t entry) {
    return (entry >> 8) & 0xFF;
}

// Fills the flat table of 2^width slots from a decoding table whose first
// level has first_bits bits (no more than width).
void flatten(std::uint32_t* flat, std::uint32_t width, const DecodeEntry* table,
             std::uint32_t first_bits) {
    const std::uint32_t first_mask = kBitMask[first_bits];
    for (std::uint32_t i = 0; i < (1u << width); ++i) {
        const DecodeEntry& e = table[i & first_mask];
        std::uint32_t slot = pack_entry(e);
        if (e.op > kOpLiteral && e.op != kOpInvalid) {
            const DecodeEntry& sub = e.next[(i >> e.bits) & kBitMask[e.op - kOpLiteral]];
            const std::uint32_t bits = std::uint32_t(e.bits) + sub.bits;
            if (sub.op <= kOpLiteral && bits <= width) slot = (pack_entry(sub) & ~0xFFu) | bits;
        }
        flat[i] = slot;
    }
}

void pack_tables(FastTables& t, const DecodeEntry* lit, const DecodeEntry* dist,
                 std::uint32_t lit_bits, std::uint32_t dist_bits) {
    t.lit = lit;
    t.dist = dist;
    t.lit_mask = kBitMask[lit_bits];
    flatten(t.packed_lit, kFlatLiteralBits, lit, lit_bits);
    if (dist) {
        t.dist_mask = kBitMask[dist_bits];
        flatten(t.packed_dist, kFlatDistanceBits, dist, dist_bits);
    } else {
        // Without distance symbols every slot is invalid: a pair is bad data.
        t.dist_mask = 0;
        for (std::uint32_t& slot : t.packed_dist)
            slot = std::uint32_t(kOpInvalid) << 8;
    }
}

// Decodes symbols while at least kFastInputMargin bytes of input are at hand.
// Returns kOk at the end-of-block code, kBadData on an invalid code, and
// kKeepDecoding when the input ran low or the flush left an error pending.
// On every return but kBadData the bit buffer is back within 32 bits, the
// bytes read ahead returned to the input. Not inlined: its loop gets the
// registers to itself.
template <InflateFormat kFormat>
__attribute__((noinline)) int decodeFast(zip& z, InflateStream& s, const FastTables& t,
                                         BitReader& bits, std::uint32_t& window_pos) {
    constexpr bool kDeflate64 = kFormat == InflateFormat::Deflate64;
    constexpr std::uint32_t kSize = window_size(kFormat);
    std::uint8_t* const window = z.window.get();
    const std::uint8_t* in = z.input_buffer.get() + z.read_pointer;
    const std::uint8_t* const in_start = in;
    const std::uint8_t* const in_last = in + (fast_input_available(z) - fast_input_margin(kFormat));
    std::uint64_t buf = bits.buf;
    std::uint32_t count = bits.count;
    std::uint32_t wp = window_pos;
    const std::uint32_t* const packed_lit = t.packed_lit;
    const std::uint32_t* const packed_dist = t.packed_dist;
    constexpr std::uint64_t flat_lit_mask = (1u << kFlatLiteralBits) - 1;
    constexpr std::uint64_t flat_dist_mask = (1u << kFlatDistanceBits) - 1;
    const std::uint64_t lit_mask = t.lit_mask;
    const std::uint64_t dist_mask = t.dist_mask;
    int status = kKeepDecoding;

    // Bits above count are the next input bits themselves, so OR-ing the same
    // bytes in again is harmless. After a refill at least 56 bits are at hand:
    // enough for a whole length/distance pair (at most 48).
#define INFLATE_REFILL()                                                                           \
    do {                                                                                           \
        buf |= load_little64(in) << count;                                                         \
        in += (63 - count) >> 3;                                                                   \
        count |= 56;                                                                               \
    } while (0)

    // The entry of the next symbol is looked up before the refill that
    // follows it (the refill only adds bits above those the lookup used), so
    // the table load does not wait for the input load. The input is checked
    // before every refill but the first, which the caller's margin allows:
    // every call decodes at least one symbol.
    INFLATE_REFILL();
    std::uint32_t entry = packed_lit[buf & flat_lit_mask];
    for (;;) {
        if ((entry & 0xFF00) == (std::uint32_t(kOpLiteral) << 8)) {
            buf >>= entry & 0xFF;
            count -= entry & 0xFF;
            window[wp++] = static_cast<std::uint8_t>(entry >> 16);
            entry = packed_lit[buf & flat_lit_mask]; // at least 41 bits left
            // A second literal needs no refill of its own (26 bits remain).
            if ((entry & 0xFF00) == (std::uint32_t(kOpLiteral) << 8) && wp != kSize) {
                buf >>= entry & 0xFF;
                count -= entry & 0xFF;
                window[wp++] = static_cast<std::uint8_t>(entry >> 16);
                entry = packed_lit[buf & flat_lit_mask];
            }
            if (wp == kSize) {
                flush_window(z, s, window, kSize);
                wp = 0;
                if (z.error) break;
            }
            if (in > in_last) break;
            INFLATE_REFILL();
            continue;
        }
        std::uint32_t op = packed_op(entry);
        if (op > kOpLiteral) {
            // A long code: down the sub-tables, then dispatch on its slot.
            const DecodeEntry* e = t.lit + (buf & lit_mask);
            while (op > kOpLiteral) {
                INFLATE_REQUIRE(op != kOpInvalid, kBadData);
                buf >>= e->bits;
                count -= e->bits;
                e = e->next + (buf & kBitMask[op - kOpLiteral]);
                op = e->op;
            }
            entry = pack_entry(*e);
            continue;
        }
        if (op == kOpEndOfBlock) {
            buf >>= entry & 0xFF;
            count -= entry & 0xFF;
            status = kOk;
            break;
        }
        // A length: the code's bits, then op extra bits, in one shift.
        std::uint32_t used = (entry & 0xFF) + op;
        const std::uint32_t length =
            (entry >> 16) + static_cast<std::uint32_t>((buf >> (entry & 0xFF)) & kBitMask[op]);
        buf >>= used;
        count -= used;
        // The margin leaves 8 more bytes for this refill (see fast_input_margin).
        if (kDeflate64) INFLATE_REFILL();

        entry = packed_dist[buf & flat_dist_mask];
        op = packed_op(entry);
        if (op > kOpLiteral) {
            const DecodeEntry* e = t.dist + (buf & dist_mask);
            while (op > kOpLiteral) {
                INFLATE_REQUIRE(op != kOpInvalid, kBadData);
                buf >>= e->bits;
                count -= e->bits;
                e = e->next + (buf & kBitMask[op - kOpLiteral]);
                op = e->op;
            }
            entry = pack_entry(*e);
        }
        used = (entry & 0xFF) + op;
        const std::uint32_t distance =
            (entry >> 16) + static_cast<std::uint32_t>((buf >> (entry & 0xFF)) & kBitMask[op]);
        buf >>= used;
        count -= used;
        // The next symbol's lookup overlaps the copy.
        const bool more_input = in <= in_last;
        if (more_input) {
            INFLATE_REFILL();
            entry = packed_lit[buf & flat_lit_mask];
        }

        if (distance >= 8 && distance <= wp && wp + length + 8 <= kSize) {
            copy_match_over(window + wp, window + wp - distance, length);
            wp += length;
        } else if (distance - 1 < wp && wp + length <= kSize) {
            copy_match(window + wp, window + wp - distance, length);
            wp += length;
            if (wp == kSize) {
                flush_window(z, s, window, kSize);
                wp = 0;
                if (z.error) break;
            }
        } else {
            if (kDeflate64) INFLATE_REQUIRE(distance <= wp || s.window_filled, kBadData);
            wp = copy_runs(z, s, kSize, window, wp, (wp - distance) & (kSize - 1), length);
            if (z.error) break;
        }
        if (!more_input) break;
    }
#undef INFLATE_REFILL

    // Hand back the whole bytes read ahead: they are the last ones taken from
    // this block, so they sit right before the read position.
    const std::uint32_t taken = static_cast<std::uint32_t>(in - in_start);
    std::uint32_t back = count >> 3;
    const std::uint32_t read_pointer = z.read_pointer + taken;
    if (back > read_pointer) back = read_pointer;
    count -= back * 8;
    // back may exceed taken when bits fetched one by one before this run are
    // returned too; the counters then grow by the difference.
    const std::int32_t consumed =
        static_cast<std::int32_t>(taken) - static_cast<std::int32_t>(back);
    z.read_pointer = read_pointer - back;
    z.bytes_left -= consumed;
    z.compressed_left -= static_cast<std::uint64_t>(static_cast<std::int64_t>(consumed));
    bits.buf = static_cast<std::uint32_t>(buf & ((std::uint64_t(1) << count) - 1));
    bits.count = count;
    window_pos = wp;
    return status;
}

// One symbol with the bit buffer rules as written: NEED before every look,
// DROP only while no error is pending. kOk at the end-of-block code. A
// template like decodeFast: small members spend most of their time here.
template <InflateFormat kFormat>
int decodeOneSymbol(zip& z, InflateStream& s, const DecodeEntry* lit, const DecodeEntry* dist,
                    std::uint32_t lit_bits, std::uint32_t dist_bits, BitReader& bits,
                    std::uint32_t& window_pos) {
    std::uint8_t* const window = z.window.get();
    constexpr std::uint32_t size = window_size(kFormat);
    bits.need(z, lit_bits);
    const DecodeEntry* e = lit + bits.peek(lit_bits);
    while (e->op > kOpLiteral) {
        INFLATE_REQUIRE(e->op != kOpInvalid, kBadData);
        const std::uint32_t sub_bits = e->op - kOpLiteral;
        bits.drop(z, e->bits);
        bits.need(z, sub_bits);
        e = e->next + bits.peek(sub_bits);
    }
    bits.drop(z, e->bits);
    if (e->op == kOpLiteral) {
        put_byte(z, s, size, window, window_pos, static_cast<std::uint8_t>(e->value));
        return kKeepDecoding;
    }
    if (e->op == kOpEndOfBlock) return kOk;

    std::uint32_t extra = e->op;
    bits.need(z, extra);
    const std::uint32_t length = e->value + bits.peek(extra);
    bits.drop(z, extra);

    INFLATE_REQUIRE(dist != nullptr, kBadData);
    bits.need(z, dist_bits);
    e = dist + bits.peek(dist_bits);
    while (e->op > kOpLiteral) {
        INFLATE_REQUIRE(e->op != kOpInvalid, kBadData);
        const std::uint32_t sub_bits = e->op - kOpLiteral;
        bits.drop(z, e->bits);
        bits.need(z, sub_bits);
        e = e->next + bits.peek(sub_bits);
    }
    bits.drop(z, e->bits);
    extra = e->op;
    bits.need(z, extra);
    const std::uint32_t distance = e->value + bits.peek(extra);
    bits.drop(z, extra);
    if constexpr (kFormat == InflateFormat::Deflate64)
        INFLATE_REQUIRE(distance <= window_pos || s.window_filled, kBadData);
    window_pos =
        copy_runs(z, s, size, window, window_pos, (window_pos - distance) & (size - 1), length);
    return kKeepDecoding;
}

} // namespace

namespace {

int inflate_as(zip& z, InflateFormat format) {
    InflateStream s;
    s.format = format;
    z.windowPos = 0;
    z.bitBuf = 0;
    z.bitCount = 0;
    for (;;) {
        int last_block = 0;
        const int result = readBlockHeader(z, s, &last_block);
        if (result != kOk) return result;
        if (last_block) {
            flushOutput(z, z.window.get(), z.windowPos);
            return kOk;
        }
    }
}

} // namespace

int inflateMember(zip& z) {
    return inflate_as(z, InflateFormat::Deflate);
}

int inflate64Member(zip& z) {
    return inflate_as(z, InflateFormat::Deflate64);
}

int readBlockHeader(zip& z, InflateStream& s, int* last_block) {
    BitReader bits{z.bitBuf, z.bitCount};
    bits.need(z, 1);
    *last_block = static_cast<int>(bits.peek(1));
    bits.drop(z, 1);
    bits.need(z, 2);
    const std::uint32_t type = bits.peek(2);
    bits.drop(z, 2);
    z.bitBuf = bits.buf;
    z.bitCount = bits.count;
    INFLATE_REQUIRE(z.error == 0, kBadTable);
    switch (type) {
    case 0:
        return copyStoredBlock(z, s);
    case 1:
        return decodeFixedBlock(z, s);
    case 2:
        return decodeDynamicBlock(z, s);
    default:
        return kBadTable;
    }
}

int copyStoredBlock(zip& z, InflateStream& s) {
    INFLATE_REQUIRE(z.error == 0, kBadData);
    BitReader bits{z.bitBuf, z.bitCount};
    bits.drop(z, bits.count & 7);
    bits.need(z, kStoredLengthBits);
    const std::uint32_t length = bits.peek(kStoredLengthBits);
    bits.drop(z, kStoredLengthBits);
    bits.need(z, kStoredLengthBits);
    INFLATE_REQUIRE(bits.peek(kStoredLengthBits) == (~length & 0xFFFF), kBadData);
    bits.drop(z, kStoredLengthBits);

    std::uint8_t* const window = z.window.get();
    const std::uint32_t size = window_size(s.format);
    std::uint32_t window_pos = z.windowPos;
    std::uint32_t left = length;
    while (left > 0) {
        // With the bit buffer empty (and no all-ones byte still in it) the
        // bytes are the input bytes themselves: copy a run of them at once.
        if (kFastPaths && bits.count == 0 && bits.buf == 0 && z.error == 0 && z.bytes_left > 0 &&
            z.compressed_left > 0) {
            std::uint32_t run = static_cast<std::uint32_t>(z.bytes_left);
            if (run > z.compressed_left) run = static_cast<std::uint32_t>(z.compressed_left);
            if (run > left) run = left;
            if (run > size - window_pos) run = size - window_pos;
            std::memcpy(window + window_pos, z.input_buffer.get() + z.read_pointer, run);
            z.read_pointer += run;
            z.bytes_left -= static_cast<std::int32_t>(run);
            z.compressed_left -= run;
            left -= run;
            window_pos += run;
            if (window_pos == size) {
                flush_window(z, s, window, size);
                window_pos = 0;
            }
            continue;
        }
        bits.need(z, 8);
        put_byte(z, s, size, window, window_pos, static_cast<std::uint8_t>(bits.buf));
        bits.drop(z, 8);
        --left;
    }
    z.windowPos = window_pos;
    z.bitBuf = bits.buf;
    z.bitCount = bits.count;
    return kOk;
}

int decodeFixedBlock(zip& z, InflateStream& s) {
    // Deflate's fixed tables last the job; Deflate64's, which differ in
    // length 285 and distances 30 and 31, last the member.
    const bool deflate64 = s.format == InflateFormat::Deflate64;
    DecodeTablePtr& lit_table = deflate64 ? s.fixed_lit : z.fixedLitTable;
    DecodeTablePtr& dist_table = deflate64 ? s.fixed_dist : z.fixedDistTable;
    std::int32_t& lit_table_bits = deflate64 ? s.fixed_lit_bits : z.fixedLitBits;
    std::int32_t& dist_table_bits = deflate64 ? s.fixed_dist_bits : z.fixedDistBits;
    if (!lit_table) {
        const CodeTables codes = code_tables(s.format);
        std::uint32_t lengths[288];
        for (std::uint32_t i = 0; i < 144; ++i)
            lengths[i] = 8;
        for (std::uint32_t i = 144; i < 256; ++i)
            lengths[i] = 9;
        for (std::uint32_t i = 256; i < 280; ++i)
            lengths[i] = 7;
        for (std::uint32_t i = 280; i < 288; ++i)
            lengths[i] = 8;
        DecodeEntry* lit = nullptr;
        std::int32_t lit_bits = kFixedLiteralBits;
        int result = buildDecodeTable(z, lengths, 288, 257, codes.length_base, codes.length_extra,
                                      &lit, &lit_bits);
        if (result != kOk) {
            releaseDecodeTable(lit);
            lit_table.reset();
            return result;
        }
        const std::uint32_t distance_codes = deflate64 ? 32 : 30;
        for (std::uint32_t i = 0; i < distance_codes; ++i)
            lengths[i] = 5;
        DecodeEntry* dist = nullptr;
        std::int32_t dist_bits = kFixedDistanceBits;
        // Deflate's codes 30 and 31 have no symbol: an incomplete code (1) is expected.
        result = buildDecodeTable(z, lengths, distance_codes, 0, codes.distance_base,
                                  codes.distance_extra, &dist, &dist_bits);
        if (result > 1) {
            releaseDecodeTable(lit);
            lit_table.reset();
            return result;
        }
        lit_table = DecodeTablePtr(lit, free_table);
        dist_table = DecodeTablePtr(dist, free_table);
        lit_table_bits = lit_bits;
        dist_table_bits = dist_bits;
    }
    return decodeSymbols(z, s, lit_table.get(), dist_table.get(), lit_table_bits, dist_table_bits);
}

int decodeDynamicBlock(zip& z, InflateStream& s) {
    BitReader bits{z.bitBuf, z.bitCount};
    bits.need(z, 5);
    const std::uint32_t literal_count = 257 + bits.peek(5);
    bits.drop(z, 5);
    bits.need(z, 5);
    const std::uint32_t distance_count = 1 + bits.peek(5);
    bits.drop(z, 5);
    bits.need(z, 4);
    const std::uint32_t code_length_count = 4 + bits.peek(4);
    bits.drop(z, 4);

    std::uint32_t lengths[288 + 32] = {};
    for (std::uint32_t i = 0; i < code_length_count; ++i) {
        bits.need(z, 3);
        lengths[kCodeLengthOrder[i]] = bits.peek(3);
        bits.drop(z, 3);
    }
    // The block's three tables live in this frame: a dynamic block costs no
    // allocation. Sized beyond what real codes need; a table that does not
    // fit still goes to the heap.
    DecodeEntry slots[kBlockTableSlots];
    DecodeArena arena{slots, kBlockTableSlots};
    OwnedTable code_lengths;
    code_lengths.bits = kCodeLengthBits;
    int result = buildDecodeTable(z, lengths, 19, 19, nullptr, nullptr, &code_lengths.table,
                                  &code_lengths.bits, &arena);
    if (result != kOk) return result;
    // A code-length code without symbols decodes nothing: every lookup fails.
    INFLATE_REQUIRE(code_lengths.table != nullptr, kBadData);

    const std::uint32_t total = literal_count + distance_count;
    const std::uint32_t lookup = static_cast<std::uint32_t>(code_lengths.bits);
    std::uint32_t last_length = 0;
    for (std::uint32_t i = 0; i < total;) {
        bits.need(z, lookup);
        const DecodeEntry& e = code_lengths.table[bits.peek(lookup)];
        INFLATE_REQUIRE(e.op == kOpLiteral, kBadData);
        bits.drop(z, e.bits);
        const std::uint32_t symbol = e.value;
        if (symbol < 16) {
            lengths[i++] = last_length = symbol;
            continue;
        }
        std::uint32_t repeat, value;
        if (symbol == 16) {
            bits.need(z, 2);
            repeat = 3 + bits.peek(2);
            bits.drop(z, 2);
            value = last_length;
        } else if (symbol == 17) {
            bits.need(z, 3);
            repeat = 3 + bits.peek(3);
            bits.drop(z, 3);
            value = last_length = 0;
        } else {
            bits.need(z, 7);
            repeat = 11 + bits.peek(7);
            bits.drop(z, 7);
            value = last_length = 0;
        }
        INFLATE_REQUIRE(repeat <= total - i, kBadData);
        while (repeat--)
            lengths[i++] = value;
    }
    code_lengths.release();
    arena.used = 0;
    z.bitBuf = bits.buf;
    z.bitCount = bits.count;

    const CodeTables codes = code_tables(s.format);
    OwnedTable lit;
    lit.bits = kLiteralBits;
    result = buildDecodeTable(z, lengths, literal_count, 257, codes.length_base, codes.length_extra,
                              &lit.table, &lit.bits, &arena);
    if (result != kOk) return result;
    // Incomplete distance codes, with one symbol or none, are accepted.
    OwnedTable dist;
    dist.bits = kDistanceBits;
    result = buildDecodeTable(z, lengths + literal_count, distance_count, 0, codes.distance_base,
                              codes.distance_extra, &dist.table, &dist.bits, &arena);
    if (result > 1) return result;
    INFLATE_REQUIRE(decodeSymbols(z, s, lit.table, dist.table, lit.bits, dist.bits) == kOk,
                    kBadData);
    return kOk;
}

int decodeSymbols(zip& z, InflateStream& s, const DecodeEntry* lit, const DecodeEntry* dist,
                  std::int32_t lit_bits, std::int32_t dist_bits) {
    // A literal/length code without symbols decodes nothing: every lookup fails.
    INFLATE_REQUIRE(lit != nullptr, kBadData);
    const std::uint32_t literal_lookup = static_cast<std::uint32_t>(lit_bits);
    const std::uint32_t distance_lookup = static_cast<std::uint32_t>(dist_bits);
    const bool fast =
        kFastPaths && literal_lookup <= kFlatLiteralBits && distance_lookup <= kFlatDistanceBits;
    const std::uint32_t margin = fast_input_margin(s.format);
    FastTables tables;
    bool packed = false;
    BitReader bits{z.bitBuf, z.bitCount};
    std::uint32_t window_pos = z.windowPos;
    for (;;) {
        INFLATE_REQUIRE(z.error == 0, kBadData);
        int status;
        if (fast && fast_input_available(z) >= margin) {
            // Packed on first use: short blocks near a member's end never need it.
            if (!packed) {
                pack_tables(tables, lit, dist, literal_lookup, distance_lookup);
                packed = true;
            }
            status = s.format == InflateFormat::Deflate64
                         ? decodeFast<InflateFormat::Deflate64>(z, s, tables, bits, window_pos)
                         : decodeFast<InflateFormat::Deflate>(z, s, tables, bits, window_pos);
        } else {
            status = s.format == InflateFormat::Deflate64
                         ? decodeOneSymbol<InflateFormat::Deflate64>(
                               z, s, lit, dist, literal_lookup, distance_lookup, bits, window_pos)
                         : decodeOneSymbol<InflateFormat::Deflate>(
                               z, s, lit, dist, literal_lookup, distance_lookup, bits, window_pos);
        }
        if (status == kKeepDecoding) continue;
        INFLATE_REQUIRE(status == kOk, kBadData);
        z.windowPos = window_pos;
        z.bitBuf = bits.buf;
        z.bitCount = bits.count;
        return kOk;
    }
}
