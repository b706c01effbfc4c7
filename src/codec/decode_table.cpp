// Builds the multi-level Huffman decoding tables of inflate and explode from
// a list of code lengths, and frees them.
//
// Why it is shaped this way: a decoder looks a symbol up with the next
// `lookup bits` of its bit buffer in one step for every code that fits in the
// first-level table, which holds nearly all symbols of real data; only rare
// long codes take a second lookup in a small sub-table. Each slot already
// says how many bits to drop and, for lengths and distances, the base value
// and the number of extra bits, so the decoding loop never consults the
// constant tables. Incomplete codes get their unused slots filled with
// invalid-code slots, so every index of every table decodes to something.
#include "codec/decode_table.h"

#include <new>

#include "zip/zip.h"

namespace {

constexpr std::uint32_t kMaxCodeLength = 16; // the longest code explode's trees have
constexpr std::uint32_t kMaxSymbols = 288;   // the largest alphabet: inflate's literals/lengths

// One level of the table stack during a build.
struct Level {
    DecodeEntry* table;
    std::uint32_t bits_above; // code bits consumed by the levels above
    std::uint32_t width;      // index bits of this table
    std::uint32_t prefix;     // the low bits_above code bits shared by every code in it
};

std::uint32_t low_mask(std::uint32_t n) {
    return (1u << n) - 1;
}

// The hidden entry's op: 0 for a table on the heap, this for one in an arena.
constexpr std::uint8_t kInArena = 1;

// A table of 2^width slots behind the hidden link entry, every slot invalid
// until the build fills it.
DecodeEntry* allocate_table(std::uint32_t width, DecodeArena* arena) {
    const std::uint32_t slots = 1u << width;
    DecodeEntry* block;
    std::uint8_t owner = 0;
    if (arena && arena->capacity - arena->used >= slots + 1) {
        block = arena->slots + arena->used;
        arena->used += slots + 1;
        owner = kInArena;
    } else {
        block = new (std::nothrow) DecodeEntry[slots + 1];
        if (!block) return nullptr;
    }
    block[0].op = owner;
    block[0].bits = 0;
    block[0].next = nullptr;
    for (std::uint32_t i = 1; i <= slots; ++i) {
        block[i].op = kOpInvalid;
        block[i].bits = 0;
        block[i].next = nullptr;
    }
    return block + 1;
}

} // namespace

int releaseDecodeTable(DecodeEntry* table) {
    while (table) {
        DecodeEntry* next = table[-1].next;
        if (table[-1].op != kInArena) delete[](table - 1);
        table = next;
    }
    return 0;
}

int buildDecodeTable(zip& z, const std::uint32_t* lengths, std::uint32_t n, std::uint32_t s,
                     const std::uint16_t* base, const std::uint16_t* extra, DecodeEntry** table,
                     std::int32_t* lookup_bits, DecodeArena* arena) {
    *table = nullptr;
    if (z.error) return 2;
    if (n > kMaxSymbols) return 2;

    // Code lengths of each length; a length the stack cannot hold is bad input.
    std::uint32_t count[kMaxCodeLength + 1] = {};
    for (std::uint32_t i = 0; i < n; ++i) {
        if (lengths[i] > kMaxCodeLength) return 2;
        ++count[lengths[i]];
    }
    if (count[0] == n) {
        *lookup_bits = 0;
        return 0;
    }
    // Inflate's literal/length tables end the end-of-block code at a table
    // boundary, so that decoding it asks for no bits beyond it.
    const std::uint32_t end_of_block_length = n > 256 ? lengths[256] : 16;

    std::uint32_t shortest = 1;
    while (count[shortest] == 0)
        ++shortest;
    std::uint32_t longest = kMaxCodeLength;
    while (count[longest] == 0)
        --longest;
    std::uint32_t m = *lookup_bits < static_cast<std::int32_t>(shortest)
                          ? shortest
                          : static_cast<std::uint32_t>(*lookup_bits);
    if (m > longest) m = longest;

    // Walk the code space: patterns left at each length. Over-subscribed
    // codes have none left; what is left at the longest length becomes
    // invalid-code slots.
    std::int32_t left = 1 << shortest;
    for (std::uint32_t k = shortest; k < longest; ++k, left <<= 1) {
        left -= static_cast<std::int32_t>(count[k]);
        if (left < 0) return 2;
    }
    left -= static_cast<std::int32_t>(count[longest]);
    if (left < 0) return 2;
    const std::uint32_t unused = static_cast<std::uint32_t>(left);
    count[longest] += unused;

    // The symbols sorted by code length, in symbol order within a length.
    std::uint32_t offset[kMaxCodeLength + 2];
    offset[1] = 0;
    for (std::uint32_t k = 1; k <= kMaxCodeLength; ++k)
        offset[k + 1] = offset[k] + count[k];
    std::uint16_t sorted[kMaxSymbols];
    std::uint32_t used_symbols = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (lengths[i] != 0) {
            sorted[offset[lengths[i]]++] = static_cast<std::uint16_t>(i);
            ++used_symbols;
        }
    }

    Level level[kMaxCodeLength + 1];
    int h = -1; // current level; none before the first table
    DecodeEntry* first = nullptr;
    std::uint32_t code = 0; // the running code, first bit in bit 0
    std::uint32_t next_symbol = 0;

    for (std::uint32_t k = shortest; k <= longest; ++k) {
        for (std::uint32_t still = count[k]; still > 0; --still) {
            // Open tables until the current one reaches this code's length.
            while (h < 0 || k > level[h].bits_above + level[h].width) {
                const std::uint32_t w = h < 0 ? 0 : level[h].bits_above + level[h].width;
                const std::uint32_t limit = longest - w < m ? longest - w : m;
                std::uint32_t j = k - w;
                // Widen the table while the codes of the next lengths leave
                // room in it, up to the limit: one lookup then serves them all.
                std::uint32_t free_slots = 1u << j;
                if (free_slots > still) {
                    free_slots -= still;
                    while (j < limit) {
                        if (++j == limit) break;
                        free_slots <<= 1;
                        if (free_slots <= count[w + j]) break;
                        free_slots -= count[w + j];
                    }
                }
                if (w < end_of_block_length && end_of_block_length < w + j)
                    j = end_of_block_length - w;

                DecodeEntry* t = allocate_table(j, arena);
                if (!t) {
                    releaseDecodeTable(first);
                    return 3;
                }
                if (!first) {
                    first = t;
                } else {
                    // Into the list behind the first-level table, and linked
                    // from the parent slot that its codes' prefix selects.
                    t[-1].next = first[-1].next;
                    first[-1].next = t;
                    DecodeEntry& link =
                        level[h].table[(code >> level[h].bits_above) & low_mask(level[h].width)];
                    link.op = static_cast<std::uint8_t>(kOpLiteral + j);
                    link.bits = static_cast<std::uint8_t>(level[h].width);
                    link.next = t;
                }
                ++h;
                level[h] = {t, w, j, code & low_mask(w)};
            }

            const Level& cur = level[h];
            DecodeEntry slot;
            slot.bits = static_cast<std::uint8_t>(k - cur.bits_above);
            slot.next = nullptr;
            if (next_symbol >= used_symbols) {
                slot.op = kOpInvalid;
                slot.value = 0;
            } else {
                const std::uint32_t symbol = sorted[next_symbol++];
                if (symbol < s) {
                    slot.op = symbol == 256 ? kOpEndOfBlock : kOpLiteral;
                    slot.value = static_cast<std::uint16_t>(symbol);
                } else {
                    slot.op = static_cast<std::uint8_t>(extra[symbol - s]);
                    slot.value = base[symbol - s];
                }
            }
            const std::uint32_t step = 1u << (k - cur.bits_above);
            for (std::uint32_t i = code >> cur.bits_above; i < (1u << cur.width); i += step)
                cur.table[i] = slot;

            // Next code in canonical order, counting with the first bit lowest.
            std::uint32_t bit = 1u << (k - 1);
            while (code & bit) {
                code ^= bit;
                bit >>= 1;
            }
            code ^= bit;
            // Close the tables that the next code has left.
            while (h > 0 && (code & low_mask(level[h].bits_above)) != level[h].prefix)
                --h;
        }
    }

    *table = first;
    *lookup_bits = static_cast<std::int32_t>(level[0].width);
    return unused != 0 && longest != 1 ? 1 : 0;
}
