// Unshrink: dynamic LZW with 9- to 13-bit codes read LSB-first, where code
// 256 escapes to "widen the codes" (256, 1) or "partial clear" (256, 2: every
// entry that is nobody's prefix becomes free again).
//
// The dictionary is a prefix tree: each code stores its last byte and the
// code of its prefix, so a string is assembled backwards on a stack and then
// copied out in one run into the 64 KiB decoder buffer. The work area takes
// the place of the 64 KiB window for the time of the member (the window is
// given back and allocated afresh at the end), which keeps the peak memory of
// an extraction at what inflate alone needs.
//
// Damaged data is not diagnosed here: it ends the member early and the CRC
// check of the extraction reports it. Every such case goes through
// stopAsBadData, so that no table index, stack position or code size ever
// leaves its range, whatever the input.
#include "codec/unshrink.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "codec/bitio.h"
#include "codec/inflate.h"
#include "zip/zip.h"

namespace {

constexpr std::uint32_t kCodeLimit = 8192; // 13-bit codes
constexpr std::uint32_t kEscape = 256;     // code 256: a control code follows
constexpr std::uint32_t kNoPrefix = 256;   // prefix of the single-byte strings
constexpr std::uint32_t kFirstFreeCode = 257;
constexpr std::uint32_t kFirstCodeSize = 9;
constexpr std::uint32_t kLastCodeSize = 13; // the tables hold 8,192 codes, no more
constexpr std::uint16_t kFree = 0x2000;     // parent flag: the code is unused
constexpr std::uint16_t kHasChild = 0x4000; // parent flag, only inside partialClear
constexpr std::uint16_t kPrefixBits = 0x1FFF;
constexpr std::uint32_t kStackSize = 8192;  // longest possible string is 7,937 bytes
constexpr std::uint32_t kOutputRun = 65535; // flush size of the decoder buffer
constexpr std::size_t kDecoderBufferSize = 65536;
constexpr std::size_t kWindowSize = kDecoderWindowSize;

// 32,772 bytes; the one spare entry of each table keeps the layout of the
// original work area.
struct WorkArea {
    std::uint16_t parent[kCodeLimit + 1];
    std::uint8_t value[kCodeLimit + 1];
    std::uint8_t stack[kStackSize + 1];
};

// The single exit for streams that cannot be decoded any further: the member
// ends here, what was decoded so far is flushed, and the CRC check tells.
void stopAsBadData(zip& z) {
    z.inputEnded = 1;
}

// Reads an n-bit code (n <= 13). Refills the bit buffer straight from the
// member's compressed bytes; at the end of those it sets inputEnded. A code
// cut short by the end of the data is not returned: it can only come from a
// damaged stream, and taking it would let the bit count wrap.
std::uint32_t readCode(zip& z, std::uint32_t n) {
    if (n > z.bitCount) {
        z.inputEnded = 1;
        while (z.bitCount <= 24 && z.compressed_left != 0) {
            --z.compressed_left;
            const int byte = inputByte(z);
            if (byte < 0) set_error(z, -1); // the archive file ends inside the member
            z.bitBuf |= static_cast<std::uint32_t>(byte) << z.bitCount;
            z.bitCount += 8;
            z.inputEnded = 0;
        }
        if (n > z.bitCount) {
            stopAsBadData(z);
            return 0;
        }
    }
    const std::uint32_t code = z.bitBuf & kBitMask[n];
    z.bitBuf >>= n;
    z.bitCount -= n;
    return code;
}

// Frees every code from 257 up that no other code uses as its prefix.
void partialClear(WorkArea& w) {
    for (std::uint32_t c = kFirstFreeCode; c < kCodeLimit; ++c) {
        const std::uint32_t p = w.parent[c] & kPrefixBits;
        if (p >= kFirstFreeCode) w.parent[p] |= kHasChild;
    }
    for (std::uint32_t c = kFirstFreeCode; c < kCodeLimit; ++c) {
        if (w.parent[c] & kHasChild)
            w.parent[c] &= static_cast<std::uint16_t>(~kHasChild);
        else
            w.parent[c] = kFree;
    }
}

// Appends a string to the decoder buffer, flushing every full run; stops
// once an error (write failure, full memory target, cancel) is pending.
void appendOutput(zip& z, std::uint32_t& fill, const std::uint8_t* bytes, std::uint32_t n) {
    std::uint8_t* out = z.decoder_buffer.get();
    while (n != 0 && z.error == 0) {
        const std::uint32_t take = std::min(n, kOutputRun - fill);
        std::memcpy(out + fill, bytes, take);
        fill += take;
        bytes += take;
        n -= take;
        if (fill == kOutputRun) {
            flushOutput(z, out, fill);
            fill = 0;
        }
    }
}

// The window comes back zeroed, so that a later member's copy from before
// its own first byte reads zeros rather than what the heap held.
void restoreWindow(zip& z) {
    z.window = allocate_buffer(z, kWindowSize);
    if (z.window) std::memset(z.window.get(), 0, kWindowSize);
}

} // namespace

int unshrinkMember(zip& z) {
    z.window.reset();
    std::unique_ptr<WorkArea> work(new (std::nothrow) WorkArea());
    if (!work) {
        set_error(z, ZERR_MEMORY);
        restoreWindow(z);
        return z.error;
    }
    if (!z.decoder_buffer) z.decoder_buffer = allocate_buffer(z, kDecoderBufferSize);
    WorkArea& w = *work;

    for (std::uint32_t c = 0; c < kEscape; ++c) {
        w.parent[c] = kNoPrefix;
        w.value[c] = static_cast<std::uint8_t>(c);
    }
    for (std::uint32_t c = kFirstFreeCode; c < kCodeLimit; ++c)
        w.parent[c] = kFree;
    std::uint32_t codeSize = kFirstCodeSize;
    std::uint32_t lastAllocated = kEscape;
    std::uint32_t fill = 0;
    z.bitBuf = z.bitCount = z.inputEnded = 0;

    std::uint32_t previous = readCode(z, codeSize);
    if (!z.inputEnded && z.error == 0) {
        const std::uint8_t first = static_cast<std::uint8_t>(previous);
        appendOutput(z, fill, &first, 1);
    }

    while (z.error == 0 && !z.inputEnded) {
        const std::uint32_t code = readCode(z, codeSize);
        if (z.inputEnded) break;

        if (code == kEscape) {
            const std::uint32_t control = readCode(z, codeSize);
            if (z.inputEnded) break;
            if (control == 1) {
                if (codeSize == kLastCodeSize)
                    stopAsBadData(z);
                else
                    ++codeSize;
            } else if (control == 2) {
                partialClear(w);
                lastAllocated = kEscape;
            }
            continue;
        }

        // A free code is the one this very step defines (the KwKwK case): its
        // string is the previous string plus that string's first byte, which
        // goes into the slot left open at the end.
        const bool freeCode = (w.parent[code] & kFree) != 0;
        std::uint32_t top = freeCode ? kStackSize - 1 : kStackSize;
        std::uint32_t c = freeCode ? previous : code;
        while (c != kNoPrefix && top != 0) {
            w.stack[--top] = w.value[c];
            c = w.parent[c] & kPrefixBits;
        }
        if (c != kNoPrefix) { // a prefix loop, or a chain no dictionary can hold
            stopAsBadData(z);
            break;
        }
        if (freeCode) w.stack[kStackSize - 1] = w.stack[top];
        appendOutput(z, fill, w.stack + top, kStackSize - top);

        std::uint32_t slot = lastAllocated + 1;
        while (slot < kCodeLimit && !(w.parent[slot] & kFree))
            ++slot;
        if (slot < kCodeLimit) {
            w.value[slot] = w.stack[top];
            w.parent[slot] = static_cast<std::uint16_t>(previous);
            lastAllocated = slot;
        } else {
            // Nothing above is free until the next partial clear; remembering
            // that spares a full scan on every later code.
            lastAllocated = kCodeLimit - 1;
        }
        previous = code;
    }

    if (z.error == 0 && fill != 0) flushOutput(z, z.decoder_buffer.get(), fill);
    work.reset();
    restoreWindow(z);
    return z.error;
}
