// Explode: decodes imploded members, an LZ77 stream over a 4 KiB or 8 KiB
// dictionary whose literals (optionally), match lengths and the high bits of
// distances are coded with Shannon-Fano trees sent as run-length lists at the
// start of the member.
//
// The trees are canonical codes with every bit inverted, so they become the
// same multi-level tables inflate uses and are looked up with the inverted
// input bits. One 32 KiB window serves both dictionary sizes: it is flushed
// only every 32,768 bytes and matches are copied as blocks where source and
// destination do not overlap. Until the window is first flushed, a match may
// reach before the first byte of the member; those bytes are zeros.
//
// Every check on the input goes through EXPLODE_REQUIRE, which ends the
// member with the failing result code; the tables are owned by holders, so
// each such exit releases them.
#include "codec/explode.h"

#include <algorithm>
#include <cstring>

#include "codec/bitio.h"
#include "codec/decode_table.h"
#include "zip/zip.h"
#include "zip/zlist.h"

#define EXPLODE_REQUIRE(condition, result)                                                         \
    do {                                                                                           \
        if (!(condition)) return (result);                                                         \
    } while (0)

namespace {

constexpr std::uint32_t kWindowSize = 32768;
constexpr std::uint32_t kTreeSymbols = 64;
constexpr std::uint32_t kLiteralSymbols = 256;
constexpr std::uint32_t kBigMember = 200000; // above it, a wider first-level distance table pays
constexpr std::uint16_t kEightKiBFlag = 2;
constexpr std::uint16_t kThreeTreesFlag = 4;

// Base values per tree symbol; symbol 63 of the length tree is followed by a
// byte that extends the length (8 extra bits). The distance tables share the
// extra-bit table, but a distance never reads extra bits.
struct BaseTables {
    std::uint16_t lengthFrom3[kTreeSymbols];
    std::uint16_t lengthFrom2[kTreeSymbols];
    std::uint16_t distance8KiB[kTreeSymbols];
    std::uint16_t distance4KiB[kTreeSymbols];
    std::uint16_t extra[kTreeSymbols];
};

constexpr BaseTables makeBaseTables() {
    BaseTables t{};
    for (std::uint16_t i = 0; i < kTreeSymbols; ++i) {
        t.lengthFrom3[i] = static_cast<std::uint16_t>(i + 3);
        t.lengthFrom2[i] = static_cast<std::uint16_t>(i + 2);
        t.distance8KiB[i] = static_cast<std::uint16_t>(i * 128 + 1);
        t.distance4KiB[i] = static_cast<std::uint16_t>(i * 64 + 1);
        t.extra[i] = i == kTreeSymbols - 1 ? 8 : 0;
    }
    return t;
}

constexpr BaseTables kBases = makeBaseTables();

// Owns one decoding structure for the life of a member.
struct TableHolder {
    DecodeEntry* table = nullptr;
    TableHolder() = default;
    TableHolder(const TableHolder&) = delete;
    TableHolder& operator=(const TableHolder&) = delete;
    ~TableHolder() { releaseDecodeTable(table); }
};

// Reads a length list and builds its table. An incomplete code is refused
// like any other failure; a failed build (2, 3) leaves no table to release.
int readTree(zip& z, std::uint32_t count, std::uint32_t simple, const std::uint16_t* base,
             TableHolder& holder, std::int32_t* lookupBits) {
    std::uint32_t lengths[kLiteralSymbols];
    int result = readLengthList(z, lengths, count);
    EXPLODE_REQUIRE(result == 0, result);
    result = buildDecodeTable(z, lengths, count, simple, base, base ? kBases.extra : nullptr,
                              &holder.table, lookupBits);
    if (result >= 2) holder.table = nullptr;
    EXPLODE_REQUIRE(result == 0, result);
    return 0;
}

// One symbol of a tree: the slot, or nullptr for an invalid code.
inline const DecodeEntry* decodeSymbol(zip& z, BitReader& in, const DecodeEntry* table,
                                       std::int32_t lookupBits) {
    std::uint32_t bits = static_cast<std::uint32_t>(lookupBits);
    in.need(z, bits);
    const DecodeEntry* slot = table + (~in.buf & kBitMask[bits]);
    while (slot->op > kOpLiteral) {
        if (slot->op == kOpInvalid) return nullptr;
        in.drop(z, slot->bits);
        bits = slot->op - kOpLiteral;
        in.need(z, bits);
        slot = slot->next + (~in.buf & kBitMask[bits]);
    }
    in.drop(z, slot->bits);
    return slot;
}

} // namespace

int readLengthList(zip& z, std::uint32_t* lengths, std::uint32_t expected) {
    // A fetch past the end of the member (all ones) counts as a list of no bytes.
    const std::uint32_t listBytes = fetchByte(z) + 1;
    std::uint32_t produced = 0;
    for (std::uint32_t i = 0; i < listBytes; ++i) {
        const std::uint32_t b = fetchByte(z);
        const std::uint32_t codes = ((b >> 4) & 0xF) + 1;
        const std::uint32_t length = (b & 0xF) + 1;
        EXPLODE_REQUIRE(codes <= expected - produced, 4);
        for (std::uint32_t k = 0; k < codes; ++k)
            lengths[produced++] = length;
    }
    EXPLODE_REQUIRE(produced == expected, 4);
    return 0;
}

int explodeMember(zip& z) {
    const std::uint16_t flags = z.current_entry ? z.current_entry->flags : 0;
    const bool eightKiB = (flags & kEightKiBFlag) != 0;
    const bool threeTrees = (flags & kThreeTreesFlag) != 0;
    // Compressed left still holds the member's compressed size here.
    std::int32_t literalBits = 9, lengthBits = 7;
    std::int32_t distanceBits = z.compressed_left > kBigMember ? 8 : 7;

    TableHolder literals, lengths, distances;
    int result = 0;
    if (threeTrees) {
        result = readTree(z, kLiteralSymbols, kLiteralSymbols, nullptr, literals, &literalBits);
        if (result) return result;
    }
    result = readTree(z, kTreeSymbols, 0, threeTrees ? kBases.lengthFrom3 : kBases.lengthFrom2,
                      lengths, &lengthBits);
    if (result) return result;
    result = readTree(z, kTreeSymbols, 0, eightKiB ? kBases.distance8KiB : kBases.distance4KiB,
                      distances, &distanceBits);
    if (result) return result;
    return explodeSymbols(z, literals.table, lengths.table, distances.table, literalBits,
                          lengthBits, distanceBits, eightKiB ? 7 : 6);
}

int explodeSymbols(zip& z, const DecodeEntry* lit, const DecodeEntry* len, const DecodeEntry* dist,
                   std::int32_t lit_bits, std::int32_t len_bits, std::int32_t dist_bits,
                   std::uint32_t raw_distance_bits) {
    std::uint8_t* const window = z.window.get();
    if (!window) return 3;
    BitReader in{0, 0};
    std::uint32_t pos = 0;
    // 64-bit so that members of 2 GiB and more count down like any other.
    std::int64_t remaining = z.uncompressed_size;
    bool firstPass = true; // nothing flushed yet: positions at or after pos precede the output

    // With an error pending nothing is consumed any more, so stop at once.
    while (remaining > 0 && z.error == 0) {
        in.need(z, 1);
        if (in.buf & 1) {
            in.drop(z, 1);
            --remaining;
            std::uint8_t literal;
            if (lit) {
                const DecodeEntry* slot = decodeSymbol(z, in, lit, lit_bits);
                EXPLODE_REQUIRE(slot != nullptr, 1);
                literal = static_cast<std::uint8_t>(slot->value);
            } else {
                in.need(z, 8);
                literal = static_cast<std::uint8_t>(in.peek(8));
                in.drop(z, 8);
            }
            window[pos++] = literal;
            if (pos == kWindowSize) {
                flushOutput(z, window, pos);
                pos = 0;
                firstPass = false;
            }
            continue;
        }

        in.drop(z, 1);
        in.need(z, raw_distance_bits);
        const std::uint32_t low = in.peek(raw_distance_bits);
        in.drop(z, raw_distance_bits);
        const DecodeEntry* slot = decodeSymbol(z, in, dist, dist_bits);
        EXPLODE_REQUIRE(slot != nullptr, 1);
        std::uint32_t source = pos - low - slot->value;
        slot = decodeSymbol(z, in, len, len_bits);
        EXPLODE_REQUIRE(slot != nullptr, 1);
        std::uint32_t length = slot->value;
        if (slot->op != 0) {
            in.need(z, slot->op);
            length += in.peek(slot->op);
            in.drop(z, slot->op);
        }
        remaining -= length;

        while (length != 0) {
            source &= kWindowSize - 1;
            const std::uint32_t run = std::min(kWindowSize - std::max(source, pos), length);
            if (firstPass && source >= pos)
                std::memset(window + pos, 0, run);
            else if (pos - source >= run) // no overlap within the run
                std::memcpy(window + pos, window + source, run);
            else // the match repeats bytes it is writing
                for (std::uint32_t i = 0; i < run; ++i)
                    window[pos + i] = window[source + i];
            pos += run;
            source += run;
            length -= run;
            if (pos == kWindowSize) {
                flushOutput(z, window, pos);
                pos = 0;
                firstPass = false;
            }
        }
    }

    flushOutput(z, window, pos);
    // One byte fetched beyond the end shows as bits left over, and is allowed.
    EXPLODE_REQUIRE(z.compressed_left + in.count / 8 == 0, 5);
    return 0;
}
