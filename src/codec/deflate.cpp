// The deflate encoder: hash-chain string matching over a 64 KiB window (a
// 32 KiB history and up to 32 KiB of lookahead), with a fast loop for levels
// 1 to 3 and a lazy-evaluation loop for levels 4 to 9.
//
// Why it is fast: the loops keep the window, the position and the lookahead
// in locals and insert strings with one shift, xor and mask per byte into
// 16-bit head and chain tables, small enough to stay mostly cached. The
// chain walk rejects most candidates with one 16-bit load (the two bytes
// that would extend the best match), checks the first two bytes of the rest
// in the first 8-byte load of the comparison (equal hashes then imply the
// third), and compares on eight bytes per step, the first differing byte
// found by counting trailing zero bits; the 16 bytes of slack behind the
// window let that comparison read past the last byte it needs. The window
// slides by one 32 KiB copy and one pass over the chain tables, at most once
// per 32 KiB of input.
//
// At the end of the input, a comparison never runs past the last input byte
// and the bytes behind it are zeroed, so the output depends on the file alone
// and no read leaves the window.
#include "codec/deflate.h"

#include <cstring>
#include <new>

#include "codec/crc32.h"
#include "codec/deflate_state.h"
#include "codec/trees.h"
#include "platform/platform.h"
#include "zip/progress.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace {

struct LevelParameters {
    std::uint16_t good, lazy, nice, chain;
};

// good: a match this long quarters the chain; lazy: the fast loop inserts
// the positions of matches up to this length, the lazy loop searches only
// behind shorter matches; nice: a match this long ends the search; chain:
// the number of candidates tried.
const LevelParameters kLevels[10] = {
    {0, 0, 0, 0},         {4, 4, 8, 4},         {4, 5, 16, 8},     {4, 6, 32, 32},
    {4, 4, 16, 16},       {8, 16, 32, 32},      {8, 16, 128, 128}, {8, 32, 128, 256},
    {32, 128, 258, 1024}, {64, 258, 258, 4096},
};

constexpr std::uint32_t kFirstRead = kWindowHalf;
constexpr std::uint32_t kStorePiece = 65536;

inline std::uint16_t load16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Number of equal leading bytes of two 8-byte loads that differ.
inline std::uint32_t equalBytes(std::uint64_t difference) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return static_cast<std::uint32_t>(__builtin_clzll(difference)) >> 3;
#else
    return static_cast<std::uint32_t>(__builtin_ctzll(difference)) >> 3;
#endif
}

// The chain walk. best starts at prevLength; maxLength = min(258, lookahead).
//
// Nearly all candidates fail on the two bytes that would extend the best
// match, so the inner loop does only that test and the chain step, with the
// window pointer offset by best - 1 so that the test is one load and one
// compare. A candidate that passes is checked on its first two bytes, taken
// from an 8-byte load that is also the first step of the comparison; its
// third byte counts as equal (equal hashes with equal first two bytes imply
// it), and the rest is compared eight bytes per step.
__attribute__((noinline)) std::uint32_t longestMatch(DeflateState& s, const std::uint8_t* window,
                                                     std::uint32_t strStart, std::uint32_t cur,
                                                     std::uint32_t prevLength,
                                                     std::uint32_t lookahead) {
    // Masks over an 8-byte load: its first two bytes, and all but its third.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    constexpr std::uint64_t kFirstTwo = 0xFFFF000000000000u;
    constexpr std::uint64_t kAllButThird = ~(std::uint64_t(0xFF) << 40);
#else
    constexpr std::uint64_t kFirstTwo = 0xFFFF;
    constexpr std::uint64_t kAllButThird = ~(std::uint64_t(0xFF) << 16);
#endif

    const std::uint32_t maxLength = lookahead < kMaxMatch ? lookahead : kMaxMatch;
    std::uint32_t best = prevLength;
    if (best >= maxLength) return best; // nothing in the input can beat it
    std::uint32_t chain = s.maxChainLength;
    if (prevLength >= s.goodMatch) chain >>= 2;
    const std::uint32_t nice = s.niceMatch < maxLength ? s.niceMatch : maxLength;
    const std::uint32_t limit = strStart > kMaxDistance ? strStart - kMaxDistance : 0;
    const std::uint16_t* const prev = s.prev;
    const std::uint8_t* const scan = window + strStart;
    const std::uint64_t scanHead = load64(scan);
    const std::uint8_t* endBase = window + best - 1;
    std::uint16_t scanEnd = load16(scan + best - 1);

    for (;;) {
        while (load16(endBase + cur) != scanEnd) {
            cur = prev[cur & kWindowMask];
            if (cur <= limit || --chain == 0) return best;
        }
        const std::uint8_t* const match = window + cur;
        const std::uint64_t head = (load64(match) ^ scanHead) & kAllButThird;
        if ((head & kFirstTwo) == 0) {
            std::uint32_t len;
            if (head != 0) {
                len = equalBytes(head);
            } else {
                len = 8;
                while (len < maxLength) {
                    const std::uint64_t difference = load64(scan + len) ^ load64(match + len);
                    if (difference) {
                        len += equalBytes(difference);
                        break;
                    }
                    len += 8;
                }
            }
            if (len > maxLength) len = maxLength;
            if (len > best) {
                s.matchStart = cur;
                best = len;
                if (len >= nice) return best;
                endBase = window + best - 1;
                scanEnd = load16(scan + best - 1);
            }
        }
        cur = prev[cur & kWindowMask];
        if (cur <= limit || --chain == 0) return best;
    }
}

// Entries below 32,768 pointed into the half that is dropped: they become
// 0, the end of a chain.
inline void slideTable(std::uint16_t* table) {
    for (std::uint32_t i = 0; i < kHashSize; ++i)
        table[i] = table[i] >= kWindowHalf ? static_cast<std::uint16_t>(table[i] - kWindowHalf) : 0;
}

inline std::uint32_t blockLength(const DeflateState& s) {
    return static_cast<std::uint32_t>(std::int64_t(s.strStart) - s.blockStart);
}

inline const std::uint8_t* blockBytes(const zip& z, const DeflateState& s) {
    return s.blockStart >= 0 ? z.window.get() + s.blockStart : nullptr;
}

inline std::uint64_t emitCurrentBlock(zip& z, DeflateState& s, bool last) {
    const std::uint64_t size = emitBlock(z, blockBytes(z, s), blockLength(s), last);
    s.blockStart = static_cast<std::int32_t>(s.strStart);
    return size;
}

// Keeps the lookahead at one match and a hash, reporting the progress after
// each read; a Cancel there sets error, which ends the loops.
inline void keepLookahead(zip& z, DeflateState& s) {
    while (s.lookahead < kMinLookahead && !z.inputEnded && z.error == 0) {
        refillWindow(z);
        if (z.progress)
            z.progress->FileProgress(z.current_entry ? z.current_entry->uncompressed_size : 0,
                                     z.input_bytes_read);
    }
}

// Level 0: the file as it is, read and written in pieces of 64 KiB.
std::uint64_t storeFile(zip& z) {
    z.method = 0;
    if (z.current_entry) z.current_entry->internal_attributes = 0;
    std::uint64_t stored = 0;
    while (z.error == 0) {
        const std::uint32_t n = readInputFile(z, z.window.get(), kStorePiece);
        if (n == 0) break;
        copyBlock(z, z.window.get(), n, false);
        stored += n;
        if (z.progress)
            z.progress->FileProgress(z.current_entry ? z.current_entry->uncompressed_size : 0,
                                     z.input_bytes_read);
    }
    return stored;
}

} // namespace

void freeDeflateState(DeflateState* s) {
    delete s;
}

int startDeflateJob(zip& z) {
    if (!z.crc_table && makeCrcTable(z) != 0) return ZERR_MEMORY;
    z.window = allocate_buffer(z, kWindowAllocation);
    if (!z.window) return ZERR_MEMORY;
    std::memset(z.window.get(), 0, kWindowAllocation);
    if (!z.deflate) {
        DeflateState* s = new (std::nothrow) DeflateState();
        if (!s) {
            set_error(z, ZERR_MEMORY);
            return ZERR_MEMORY;
        }
        z.deflate = std::unique_ptr<DeflateState, void (*)(DeflateState*)>(s, freeDeflateState);
    }
    setTreeDescriptors(*z.deflate);
    if (startTrees(z) != 0) {
        set_error(z, ZERR_MEMORY);
        return ZERR_MEMORY;
    }
    return 0;
}

void releaseDeflateJob(zip& z) {
    releaseTrees(z);
    z.deflate.reset();
    z.window.reset();
}

std::uint32_t readInputFile(zip& z, std::uint8_t* buffer, std::uint32_t size) {
    std::uint32_t got = 0;
    // A source that fails half way must not end up in the archive cut short.
    if (!read_member_input(z, buffer, size, &got) || got > size) {
        set_error(z, ZERR_READ);
        return 0;
    }
    if (got == 0) return 0;
    z.add_crc = updateCrc(z, buffer, got);
    z.input_bytes_read += got;
    return got;
}

int startMatcher(zip& z, std::uint32_t level) {
    DeflateState& s = *z.deflate;
    std::uint8_t* window = z.window.get();
    if (level > 9) level = 9;
    std::memset(s.head, 0, sizeof s.head);
    s.goodMatch = kLevels[level].good;
    s.maxLazyMatch = kLevels[level].lazy;
    s.niceMatch = kLevels[level].nice;
    s.maxChainLength = kLevels[level].chain;
    s.level = level;
    if (z.current_entry) {
        // The deflate option bits of the general-purpose flags: fastest, maximum.
        const std::uint16_t option = level == 1 ? 4 : level == 9 ? 2 : 0;
        z.current_entry->flags = static_cast<std::uint16_t>(z.current_entry->flags | option);
        z.current_entry->local_flags =
            static_cast<std::uint16_t>(z.current_entry->local_flags | option);
    }
    s.strStart = 0;
    s.blockStart = 0;
    s.matchStart = 0;
    s.prevLength = kMinMatch - 1;

    const std::uint32_t n = readInputFile(z, window, kFirstRead);
    if (n == 0) {
        z.inputEnded = 1;
        s.lookahead = 0;
        return -1;
    }
    s.lookahead = n;
    z.inputEnded = 0;
    while (s.lookahead < kMinLookahead && !z.inputEnded)
        refillWindow(z);
    s.insHash = window[0];
    s.insHash = ((s.insHash << kHashShift) ^ window[1]) & kHashMask;
    return 0;
}

void refillWindow(zip& z) {
    DeflateState& s = *z.deflate;
    std::uint8_t* window = z.window.get();
    std::uint32_t more = kWindowBytes - s.lookahead - s.strStart;
    if (s.strStart >= kSlideAt) {
        std::memcpy(window, window + kWindowHalf, kWindowHalf);
        s.matchStart -= kWindowHalf;
        s.strStart -= kWindowHalf;
        s.blockStart -= static_cast<std::int32_t>(kWindowHalf);
        slideTable(s.head);
        slideTable(s.prev);
        more += kWindowHalf;
    }
    if (z.inputEnded) return;
    const std::uint32_t end = s.strStart + s.lookahead;
    const std::uint32_t n = readInputFile(z, window + end, more);
    if (n == 0) {
        z.inputEnded = 1;
        // Hashing and comparing look a few bytes beyond the input; let them
        // see zeros rather than what an earlier file left there.
        const std::uint32_t tail = kWindowAllocation - end < 16 ? kWindowAllocation - end : 16;
        std::memset(window + end, 0, tail);
    } else {
        s.lookahead += n;
    }
}

std::uint32_t findLongestMatch(zip& z, std::uint32_t cur) {
    DeflateState& s = *z.deflate;
    return longestMatch(s, z.window.get(), s.strStart, cur, s.prevLength, s.lookahead);
}

// The loops keep the position, the lookahead and the running hash in locals
// and store them back before anything else looks at them (refill, emit).
#define DEFLATE_INSERT(pos, old_head)                                                              \
    do {                                                                                           \
        insHash = ((insHash << kHashShift) ^ window[(pos) + 2]) & kHashMask;                       \
        old_head = head[insHash];                                                                  \
        prev[(pos)&kWindowMask] = static_cast<std::uint16_t>(old_head);                            \
        head[insHash] = static_cast<std::uint16_t>(pos);                                           \
    } while (0)

std::uint64_t deflateFast(zip& z) {
    DeflateState& s = *z.deflate;
    const std::uint8_t* const window = z.window.get();
    std::uint16_t* const head = s.head;
    std::uint16_t* const prev = s.prev;
    std::uint32_t strStart = s.strStart, lookahead = s.lookahead, insHash = s.insHash;
    std::uint32_t matchLength = 0;
    s.prevLength = kMinMatch - 1;

    while (z.error == 0 && lookahead != 0) {
        std::uint32_t hashHead;
        DEFLATE_INSERT(strStart, hashHead);
        if (hashHead != 0 && strStart - hashHead <= kMaxDistance) {
            matchLength = longestMatch(s, window, strStart, hashHead, kMinMatch - 1, lookahead);
            if (matchLength > lookahead) matchLength = lookahead;
        }
        const std::uint32_t inLength =
            static_cast<std::uint32_t>(std::int64_t(strStart) - s.blockStart);
        int flush;
        if (matchLength >= kMinMatch) {
            flush = recordSymbol(z, strStart - s.matchStart, matchLength - kMinMatch, inLength);
            lookahead -= matchLength;
            if (matchLength <= s.maxLazyMatch) {
                std::uint32_t unused;
                --matchLength;
                do {
                    ++strStart;
                    DEFLATE_INSERT(strStart, unused);
                } while (--matchLength != 0);
                ++strStart;
            } else {
                strStart += matchLength;
                matchLength = 0;
                insHash = window[strStart];
                insHash = ((insHash << kHashShift) ^ window[strStart + 1]) & kHashMask;
            }
        } else {
            flush = recordSymbol(z, 0, window[strStart], inLength);
            --lookahead;
            ++strStart;
        }
        if (flush || (lookahead < kMinLookahead && !z.inputEnded)) {
            s.strStart = strStart;
            s.lookahead = lookahead;
            s.insHash = insHash;
            if (flush) emitCurrentBlock(z, s, false);
            keepLookahead(z, s);
            strStart = s.strStart;
            lookahead = s.lookahead;
        }
    }
    s.strStart = strStart;
    s.lookahead = lookahead;
    s.insHash = insHash;
    return emitBlock(z, blockBytes(z, s), blockLength(s), true);
}

std::uint64_t deflateLazy(zip& z) {
    DeflateState& s = *z.deflate;
    const std::uint8_t* const window = z.window.get();
    std::uint16_t* const head = s.head;
    std::uint16_t* const prev = s.prev;
    std::uint32_t strStart = s.strStart, lookahead = s.lookahead, insHash = s.insHash;
    std::uint32_t matchLength = kMinMatch - 1;
    bool literalPending = false;

    while (z.error == 0 && lookahead != 0) {
        std::uint32_t hashHead;
        DEFLATE_INSERT(strStart, hashHead);
        const std::uint32_t prevLength = matchLength;
        const std::uint32_t prevMatch = s.matchStart;
        matchLength = kMinMatch - 1;

        if (hashHead != 0 && prevLength < s.maxLazyMatch && strStart - hashHead <= kMaxDistance) {
            matchLength = longestMatch(s, window, strStart, hashHead, prevLength, lookahead);
            if (matchLength > lookahead) matchLength = lookahead;
            if (matchLength == kMinMatch && strStart - s.matchStart > kTooFar)
                matchLength = kMinMatch - 1;
        }

        int flush = 0;
        if (prevLength >= kMinMatch && matchLength <= prevLength) {
            flush = recordSymbol(z, strStart - 1 - prevMatch, prevLength - kMinMatch,
                                 static_cast<std::uint32_t>(std::int64_t(strStart) - s.blockStart));
            lookahead -= prevLength - 1;
            std::uint32_t inserts = prevLength - 2;
            std::uint32_t unused;
            do {
                ++strStart;
                DEFLATE_INSERT(strStart, unused);
            } while (--inserts != 0);
            literalPending = false;
            matchLength = kMinMatch - 1;
            ++strStart;
        } else if (literalPending) {
            flush = recordSymbol(z, 0, window[strStart - 1],
                                 static_cast<std::uint32_t>(std::int64_t(strStart) - s.blockStart));
            if (flush) {
                // The block ends behind the literal, before the position moves on.
                s.strStart = strStart;
                emitCurrentBlock(z, s, false);
                flush = 0;
            }
            ++strStart;
            --lookahead;
        } else {
            literalPending = true;
            ++strStart;
            --lookahead;
        }
        if (flush || (lookahead < kMinLookahead && !z.inputEnded)) {
            s.strStart = strStart;
            s.lookahead = lookahead;
            s.insHash = insHash;
            if (flush) emitCurrentBlock(z, s, false);
            keepLookahead(z, s);
            strStart = s.strStart;
            lookahead = s.lookahead;
        }
    }
    s.strStart = strStart;
    s.lookahead = lookahead;
    s.insHash = insHash;
    s.prevLength = matchLength;
    if (z.error == 0 && literalPending) recordSymbol(z, 0, window[strStart - 1], blockLength(s));
    return emitBlock(z, blockBytes(z, s), blockLength(s), true);
}

#undef DEFLATE_INSERT

int deflateFile(zip& z, std::uint64_t* compressed_size) {
    *compressed_size = 0;
    if (z.error) return z.error;
    if (!z.deflate || !z.window || !z.crc_table || !z.deflate->literalBuf) {
        set_error(z, ZERR_LOGIC); // startDeflateJob was not called
        return z.error;
    }
    DeflateState& s = *z.deflate;
    s.biBuf = 0;
    s.biValid = 0;
    s.outBufCount = 0;
    s.compressedLen = 0;
    clearBlock(s);

    const std::uint32_t level = z.level > 9 ? 9 : z.level;
    if (level == 0) {
        *compressed_size = storeFile(z);
        return z.error;
    }
    z.method = 8;
    startMatcher(z, level);
    *compressed_size = level < 4 ? deflateFast(z) : deflateLazy(z);
    return z.error;
}
