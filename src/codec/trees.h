// The deflate block emitter: collects the encoder's literals and matches with
// their frequencies, ends blocks, builds length-limited Huffman codes, picks a
// stored, fixed-code or dynamic-code block (or stores the whole file raw) and
// writes the bits through a 16-bit bit writer into a 65,535-byte buffer that
// goes to the archive file.
//
// recordSymbol is inline because the encoder calls it once per symbol: it is
// a byte store, a frequency increment and a flag bit in the common case.
#pragma once

#include <cstdint>

#include "codec/deflate_state.h"
#include "zip/zip.h"

// ---- Bit writer --------------------------------------------------------------

// Appends the low `length` bits of value (length 1..16), first bit first.
void putBits(zip& z, std::uint32_t value, int length);
// Writes the output buffer to the output file (a failure sets the mapped
// write error), then, with no error, empties it and appends the pending
// `count` (0..2) bytes of value, low byte first.
void flushOutBuf(zip& z, std::uint32_t value, int count);
// Pads the bits to a byte, flushes the buffer to the output file (if there is
// one) and clears the bit buffer.
void windUp(zip& z);
// Winds up, then writes `length` bytes as they are, behind a stored block
// header (length and its complement) when `header` is set.
void copyBlock(zip& z, const std::uint8_t* bytes, std::uint32_t length, bool header);

// ---- Trees and blocks ----------------------------------------------------------

// Once per adding job, with the state allocated: allocates the symbol
// buffers and builds the code tables and fixed trees. 0, or 5 when the
// buffers cannot be allocated (the caller stores it in error).
int startTrees(zip& z);
// Frees the symbol buffers and marks the trees as not started.
void releaseTrees(zip& z);
// Points the three tree descriptors at the state's trees and tables.
void setTreeDescriptors(DeflateState& s);
// Empties the current block: frequencies, symbol counts, flags.
void clearBlock(DeflateState& s);

// Ends the block: chooses and writes its form. bytes: the block's input in
// the window, or nullptr when the window slid past it. Returns the member's
// compressed size in bytes so far (0 with an error pending).
std::uint64_t emitBlock(zip& z, const std::uint8_t* bytes, std::uint32_t storedLen, bool last);

void buildTree(DeflateState& s, TreeDesc& desc);
void genLengths(DeflateState& s, TreeDesc& desc);
void assignCodes(TreeNode* tree, int maxCode, const std::uint16_t* blCount);
void countRuns(DeflateState& s, TreeNode* tree, int maxCode);
void sendRuns(zip& z, TreeNode* tree, int maxCode);
void sendTreeHeader(zip& z, int lcodes, int dcodes, int blcodes);
void sendSymbols(zip& z, const TreeNode* litTree, const TreeNode* distTree);

// Distance code of dist (distance - 1).
inline int distanceCode(const DeflateState& s, std::uint32_t dist) {
    return dist < 256 ? s.distCode[dist] : s.distCode[256 + (dist >> 7)];
}

// Extra bits of the distance codes (RFC 1951 3.2.5).
extern const std::uint8_t kExtraDistBits[kDistCodes];

// Buffers one symbol of the block: a literal (dist 0, lc the byte) or a match
// (dist the distance, lc its length - 3). inLength: input bytes the block
// covers so far. Returns 1 when the block should be emitted now.
inline int recordSymbol(zip& z, std::uint32_t dist, std::uint32_t lc, std::uint32_t inLength) {
    if (z.error) return 0;
    DeflateState& s = *z.deflate;
    s.literalBuf[s.lastLit++] = static_cast<std::uint8_t>(lc);
    if (dist == 0) {
        s.dynLitTree[lc].freq++;
    } else {
        --dist;
        s.dynLitTree[s.lengthCode[lc] + kLiterals + 1].freq++;
        s.dynDistTree[distanceCode(s, dist)].freq++;
        s.distBuf[s.lastDist++] = dist;
        s.flags |= s.flagBit;
    }
    s.flagBit = static_cast<std::uint8_t>(s.flagBit << 1);
    if ((s.lastLit & 7) == 0) {
        s.flagBuf[s.lastFlags++] = s.flags;
        s.flags = 0;
        s.flagBit = 1;
    }
    // A block that compresses very well is ended early, so that the next
    // part of the file, which may be different, gets trees of its own.
    if (s.level > 2 && (s.lastLit & 0xFFF) == 0) {
        std::uint64_t outLength = std::uint64_t(s.lastLit) * 8;
        for (int code = 0; code < kDistCodes; ++code)
            outLength += std::uint64_t(s.dynDistTree[code].freq) * (5 + kExtraDistBits[code]);
        outLength >>= 3;
        if (s.lastDist < s.lastLit / 2 && outLength < inLength / 2) return 1;
    }
    return s.lastLit == kMaxBlockSymbols || s.lastDist == kMaxBlockMatches;
}
