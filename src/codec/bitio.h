// The decoders' input and output: the compressed-byte fetch limited by the
// member's compressed size, the LSB-first bit buffer rules (NEED / DROP),
// and the output flush that checksums, writes, counts and reports progress.
//
// The fetch is inline because it runs once per input byte in every decoder
// loop: one decrement and test of the buffer count, one index increment.
#pragma once

#include <cstdint>

#include "zip/zip.h"

// Masks for 0 to 16 bits.
extern const std::uint32_t kBitMask[17];

// Slow path of a byte fetch: refills the input block; the byte, or -1 at the
// end of the input.
int nextInputByte(zip& z);

// The next input byte of the buffered archive input (fast path inline).
inline int inputByte(zip& z) {
    if (--z.bytes_left >= 0) return z.input_buffer[z.read_pointer++];
    return nextInputByte(z);
}

// A decoder reads at most a few bytes beyond its data; far more fetches in a
// row that find nothing mean a damaged stream that would otherwise decode
// all ones forever.
constexpr std::uint32_t kMaxFetchOverruns = 64;

std::uint32_t fetchOverrun(zip& z);

// The compressed-byte fetch: 0 with an error pending; all ones (-1) once the
// member's compressed bytes are used up (compressed left still counts down,
// wrapping) or the archive file ends; otherwise the next byte.
inline std::uint32_t fetchByte(zip& z) {
    if (z.error) return 0;
    if (z.compressed_left-- == 0) return fetchOverrun(z);
    int byte = inputByte(z);
    if (byte < 0) return fetchOverrun(z);
    z.fetch_overruns = 0;
    return static_cast<std::uint32_t>(byte);
}

// Bit buffer rules on a decoder's local copy of the buffer.
struct BitReader {
    std::uint32_t buf;
    std::uint32_t count;

    // Makes at least n bits available; a -1 byte sets every bit from count up.
    void need(zip& z, std::uint32_t n) {
        while (count < n) {
            buf |= fetchByte(z) << count;
            count += 8;
        }
    }
    // Consumes n bits; with an error pending the buffer stands still, so every
    // decoder loop (which tests the error) ends promptly.
    void drop(const zip& z, std::uint32_t n) {
        if (z.error == 0) {
            buf >>= n;
            count -= n;
        }
    }
    std::uint32_t peek(std::uint32_t n) const { return buf & kBitMask[n]; }
};

// Folds the bytes into the extract crc, then (unless an error is pending)
// writes them to the output file or the memory target, counts them and
// moves the file gauge. Write failure: error 22; memory target full: 38;
// output passing the output limit: error 42, with the bytes up to it kept.
void flushOutput(zip& z, const std::uint8_t* data, std::uint32_t length);
