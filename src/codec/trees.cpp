// Huffman trees and block emission for the deflate encoder (RFC 1951).
//
// A block's symbols wait in three compact buffers (a byte per symbol, a word
// per match, a flag bit per symbol) until the block ends; then the codes are
// built from the exact frequencies, the cheapest of stored, fixed and dynamic
// form is chosen from exact bit counts, and the symbols are sent. Codes are
// kept bit-reversed so that they go out least significant bit first like
// every other field. sendSymbols, the only loop over every symbol, keeps the
// bit buffer and output position in locals and appends to the output buffer
// without a call while there is room; the bytes it produces are exactly those
// of putBits.
#include "codec/trees.h"

#include <cstring>
#include <new>

#include "platform/platform.h"
#include "zip/zlist.h"

namespace {

const std::uint8_t kExtraLengthBits[kLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                     2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const std::uint8_t kExtraBlBits[kBlCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                             0, 0, 0, 0, 0, 0, 2, 3, 7};
// The order in which the code-length code's lengths are sent (RFC 1951 3.2.7).
const std::uint8_t kBlOrder[kBlCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                         11, 4,  12, 3, 13, 2, 14, 1, 15};

constexpr int kRep3To6 = 16;        // repeat the previous length 3..6 times (2 bits)
constexpr int kRepZero3To10 = 17;   // 3..10 zeros (3 bits)
constexpr int kRepZero11To138 = 18; // 11..138 zeros (7 bits)

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr bool kLittleEndian = false;
#else
constexpr bool kLittleEndian = true; // the register's bytes are the stream's bytes
#endif

bool hasOutputFile(const zip& z) {
    return z.output_handle != platform::kInvalidFile || z.output_memory;
}

void appendShort(zip& z, DeflateState& s, std::uint32_t value) {
    if (s.outBufCount < kOutBufSize - 1) {
        s.outBuf[s.outBufCount] = static_cast<std::uint8_t>(value);
        s.outBuf[s.outBufCount + 1] = static_cast<std::uint8_t>(value >> 8);
        s.outBufCount += 2;
    } else {
        flushOutBuf(z, value, 2);
    }
}

void appendByte(zip& z, DeflateState& s, std::uint32_t value) {
    if (s.outBufCount < kOutBufSize)
        s.outBuf[s.outBufCount++] = static_cast<std::uint8_t>(value);
    else
        flushOutBuf(z, value, 1);
}

std::uint32_t reverseBits(std::uint32_t code, int length) {
    std::uint32_t r = 0;
    for (int i = 0; i < length; ++i) {
        r = (r << 1) | (code & 1);
        code >>= 1;
    }
    return r;
}

// Heap order: the less frequent node first, the shallower one on a tie, so
// that equal frequencies make balanced trees.
inline bool smaller(const TreeNode* tree, const std::uint8_t* depth, std::uint32_t n,
                    std::uint32_t m) {
    return tree[n].freq < tree[m].freq || (tree[n].freq == tree[m].freq && depth[n] <= depth[m]);
}

void siftDown(DeflateState& s, const TreeNode* tree, int k) {
    const std::uint32_t v = s.heap[k];
    int j = k << 1;
    while (j <= s.heapLen) {
        if (j < s.heapLen && smaller(tree, s.depth, s.heap[j + 1], s.heap[j])) ++j;
        if (smaller(tree, s.depth, v, s.heap[j])) break;
        s.heap[k] = s.heap[j];
        k = j;
        j <<= 1;
    }
    s.heap[k] = v;
}

// The bit writer's state in registers for the symbol loop. A symbol's code
// and extra bits (48 at most) go into a 64-bit register together; then every
// full 16 bits but the last go out as two bytes each, as putBits would have
// sent them one call at a time, leaving at most 16 bits waiting as putBits
// does. While the output buffer has room for four more pairs they are stored
// with one 8-byte write; near its end each pair takes the appendShort path,
// so the buffer is written to the file at exactly the same byte.
class BitSink {
  public:
    BitSink(zip& z, DeflateState& s) : z_(z), s_(s), buf_(s.biBuf), valid_(s.biValid) {}
    ~BitSink() {
        s_.biBuf = static_cast<std::uint16_t>(buf_);
        s_.biValid = valid_;
    }
    // Adds length bits; with at most 16 waiting, 48 bits can follow before a send.
    void add(std::uint32_t value, int length) {
        buf_ |= std::uint64_t(value) << valid_;
        valid_ += length;
    }
    void send() {
        if (valid_ <= 16) return;
        const int pairs = (valid_ - 1) >> 4;
        if (kLittleEndian && s_.outBufCount + 8 <= kOutBufSize - 1) {
            std::memcpy(s_.outBuf + s_.outBufCount, &buf_, 8);
            s_.outBufCount += 2 * static_cast<std::uint32_t>(pairs);
        } else {
            for (int i = 0; i < pairs; ++i)
                appendShort(z_, s_, static_cast<std::uint32_t>(buf_ >> (16 * i)) & 0xFFFF);
        }
        buf_ >>= 16 * pairs;
        valid_ -= 16 * pairs;
    }

  private:
    zip& z_;
    DeflateState& s_;
    std::uint64_t buf_;
    int valid_;
};

} // namespace

const std::uint8_t kExtraDistBits[kDistCodes] = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                 4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// ---- Bit writer --------------------------------------------------------------

void putBits(zip& z, std::uint32_t value, int length) {
    DeflateState& s = *z.deflate;
    if (s.biValid > 16 - length) {
        s.biBuf = static_cast<std::uint16_t>(s.biBuf | (value << s.biValid));
        appendShort(z, s, s.biBuf);
        s.biBuf = static_cast<std::uint16_t>(value >> (16 - s.biValid));
        s.biValid += length - 16;
    } else {
        s.biBuf = static_cast<std::uint16_t>(s.biBuf | (value << s.biValid));
        s.biValid += length;
    }
}

void flushOutBuf(zip& z, std::uint32_t value, int count) {
    DeflateState& s = *z.deflate;
    if (s.outBufCount > 0 && z.error == 0) {
        if (!hasOutputFile(z)) {
            // Coding into the buffer alone, and it is full.
            set_error(z, ZERR_MEMORY);
        } else {
            write_member_output(z, s.outBuf, s.outBufCount);
        }
    }
    if (z.error) return;
    s.outBufCount = 0;
    if (count >= 1) s.outBuf[s.outBufCount++] = static_cast<std::uint8_t>(value);
    if (count >= 2) s.outBuf[s.outBufCount++] = static_cast<std::uint8_t>(value >> 8);
}

void windUp(zip& z) {
    DeflateState& s = *z.deflate;
    if (s.biValid > 8)
        appendShort(z, s, s.biBuf);
    else if (s.biValid > 0)
        appendByte(z, s, s.biBuf);
    if (hasOutputFile(z)) flushOutBuf(z, 0, 0);
    s.biBuf = 0;
    s.biValid = 0;
}

void copyBlock(zip& z, const std::uint8_t* bytes, std::uint32_t length, bool header) {
    DeflateState& s = *z.deflate;
    windUp(z);
    if (header) {
        appendShort(z, s, length & 0xFFFF);
        appendShort(z, s, ~length & 0xFFFF);
    }
    if (hasOutputFile(z)) {
        flushOutBuf(z, 0, 0);
        if (z.error == 0 && length > 0) {
            write_member_output(z, bytes, length);
        }
    } else if (std::uint64_t(s.outBufCount) + length <= kOutBufSize) {
        if (length) std::memcpy(s.outBuf + s.outBufCount, bytes, length);
        s.outBufCount += length;
    } else {
        set_error(z, ZERR_MEMORY);
    }
}

// ---- Trees -----------------------------------------------------------------------

void setTreeDescriptors(DeflateState& s) {
    s.litDesc = {
        s.dynLitTree, s.staticLitTree, kExtraLengthBits, kLiterals + 1, kLitCodes, kMaxBits, 0};
    s.distDesc = {s.dynDistTree, s.staticDistTree, kExtraDistBits, 0, kDistCodes, kMaxBits, 0};
    s.blDesc = {s.blTree, nullptr, kExtraBlBits, 0, kBlCodes, kMaxBlBits, 0};
}

void clearBlock(DeflateState& s) {
    for (int n = 0; n < kLitCodes; ++n)
        s.dynLitTree[n].freq = 0;
    for (int n = 0; n < kDistCodes; ++n)
        s.dynDistTree[n].freq = 0;
    for (int n = 0; n < kBlCodes; ++n)
        s.blTree[n].freq = 0;
    s.dynLitTree[kEndBlock].freq = 1;
    s.optLen = s.staticLen = 0;
    s.lastLit = s.lastDist = s.lastFlags = 0;
    s.flags = 0;
    s.flagBit = 1;
}

int startTrees(zip& z) {
    if (!z.deflate) {
        set_error(z, ZERR_MEMORY);
        return ZERR_MEMORY;
    }
    DeflateState& s = *z.deflate;
    setTreeDescriptors(s);
    if (s.staticDistTree[0].len != 0) return 0;
    s.literalBuf.reset(new (std::nothrow) std::uint8_t[kLitBufSize]);
    s.distBuf.reset(new (std::nothrow) std::uint32_t[kDistBufSize]);
    if (!s.literalBuf || !s.distBuf) {
        s.literalBuf.reset();
        s.distBuf.reset();
        return ZERR_MEMORY;
    }

    int length = 0;
    int code = 0;
    for (code = 0; code < kLengthCodes - 1; ++code) {
        s.baseLength[code] = length;
        for (int n = 0; n < (1 << kExtraLengthBits[code]); ++n)
            s.lengthCode[length++] = static_cast<std::uint8_t>(code);
    }
    // Length 258 has a code of its own although 255 - 227 would fit code 27's extra bits.
    s.baseLength[kLengthCodes - 1] = 255;
    s.lengthCode[255] = static_cast<std::uint8_t>(kLengthCodes - 1);

    int dist = 0;
    for (code = 0; code < 16; ++code) {
        s.baseDist[code] = dist;
        for (int n = 0; n < (1 << kExtraDistBits[code]); ++n)
            s.distCode[dist++] = static_cast<std::uint8_t>(code);
    }
    dist >>= 7; // from here on the table is indexed by distance / 128
    for (; code < kDistCodes; ++code) {
        s.baseDist[code] = dist << 7;
        for (int n = 0; n < (1 << (kExtraDistBits[code] - 7)); ++n)
            s.distCode[256 + dist++] = static_cast<std::uint8_t>(code);
    }

    std::uint16_t count[kMaxBits + 1] = {};
    for (int n = 0; n < kStaticLitCodes; ++n) {
        std::uint16_t len = n < 144 ? 8 : n < 256 ? 9 : n < 280 ? 7 : 8;
        s.staticLitTree[n].len = len;
        ++count[len];
    }
    assignCodes(s.staticLitTree, kStaticLitCodes - 1, count);
    for (int n = 0; n < kDistCodes; ++n) {
        s.staticDistTree[n].len = 5;
        s.staticDistTree[n].freq =
            static_cast<std::uint16_t>(reverseBits(static_cast<std::uint32_t>(n), 5));
    }
    clearBlock(s);
    return 0;
}

void releaseTrees(zip& z) {
    if (!z.deflate) return;
    DeflateState& s = *z.deflate;
    s.literalBuf.reset();
    s.distBuf.reset();
    s.staticDistTree[0].len = 0;
}

void buildTree(DeflateState& s, TreeDesc& desc) {
    TreeNode* tree = desc.dynTree;
    const TreeNode* stree = desc.staticTree;
    const int elems = desc.elems;
    int maxCode = -1;

    s.heapLen = 0;
    s.heapMax = kHeapSize;
    for (int n = 0; n < elems; ++n) {
        if (tree[n].freq != 0) {
            s.heap[++s.heapLen] = static_cast<std::uint32_t>(n);
            maxCode = n;
            s.depth[n] = 0;
        } else {
            tree[n].len = 0;
        }
    }
    // Deflate wants at least two codes, even for a single symbol (or none).
    while (s.heapLen < 2) {
        const int node = maxCode < 2 ? ++maxCode : 0;
        s.heap[++s.heapLen] = static_cast<std::uint32_t>(node);
        tree[node].freq = 1;
        s.depth[node] = 0;
        s.optLen--;
        if (stree) s.staticLen -= stree[node].len;
    }
    desc.maxCode = maxCode;

    for (int n = s.heapLen / 2; n >= 1; --n)
        siftDown(s, tree, n);

    int node = elems;
    do {
        const std::uint32_t n = s.heap[1];
        s.heap[1] = s.heap[s.heapLen--];
        siftDown(s, tree, 1);
        const std::uint32_t m = s.heap[1];
        s.heap[--s.heapMax] = n;
        s.heap[--s.heapMax] = m;
        tree[node].freq = static_cast<std::uint16_t>(tree[n].freq + tree[m].freq);
        s.depth[node] =
            static_cast<std::uint8_t>((s.depth[n] >= s.depth[m] ? s.depth[n] : s.depth[m]) + 1);
        tree[n].len = tree[m].len = static_cast<std::uint16_t>(node);
        s.heap[1] = static_cast<std::uint32_t>(node++);
        siftDown(s, tree, 1);
    } while (s.heapLen >= 2);
    s.heap[--s.heapMax] = s.heap[1];

    genLengths(s, desc);
    assignCodes(tree, maxCode, s.blCount);
}

void genLengths(DeflateState& s, TreeDesc& desc) {
    TreeNode* tree = desc.dynTree;
    const TreeNode* stree = desc.staticTree;
    const int maxCode = desc.maxCode;
    const int base = desc.extraBase;
    const int maxLength = desc.maxLength;
    int overflow = 0;

    for (int bits = 0; bits <= kMaxBits; ++bits)
        s.blCount[bits] = 0;
    tree[s.heap[s.heapMax]].len = 0;
    // Parents come before their children in the extracted part of the heap,
    // so each node finds its parent's length already set.
    for (int h = s.heapMax + 1; h < kHeapSize; ++h) {
        const int n = static_cast<int>(s.heap[h]);
        int bits = tree[tree[n].len].len + 1;
        if (bits > maxLength) {
            bits = maxLength;
            ++overflow;
        }
        tree[n].len = static_cast<std::uint16_t>(bits);
        if (n > maxCode) continue; // an inner node
        s.blCount[bits]++;
        const int xbits = n >= base ? desc.extraBits[n - base] : 0;
        const std::uint32_t f = tree[n].freq;
        s.optLen += f * static_cast<std::uint32_t>(bits + xbits);
        if (stree) s.staticLen += f * static_cast<std::uint32_t>(stree[n].len + xbits);
    }
    if (overflow == 0) return;
    s.lengthOverflows++;

    // Each step moves a leaf one level down, where it gets a brother from the
    // overflowing level, which so loses one code too many: two overflowing
    // nodes are accounted for.
    do {
        int bits = maxLength - 1;
        while (s.blCount[bits] == 0)
            --bits;
        s.blCount[bits]--;
        s.blCount[bits + 1] += 2;
        s.blCount[maxLength]--;
        overflow -= 2;
    } while (overflow > 0);

    // Hand the lengths out again, the longest to the least frequent leaves.
    int h = kHeapSize;
    for (int bits = maxLength; bits != 0; --bits) {
        int n = s.blCount[bits];
        while (n != 0) {
            const int m = static_cast<int>(s.heap[--h]);
            if (m > maxCode) continue;
            if (tree[m].len != bits) {
                s.optLen += static_cast<std::uint32_t>((bits - tree[m].len)) * tree[m].freq;
                tree[m].len = static_cast<std::uint16_t>(bits);
            }
            --n;
        }
    }
}

void assignCodes(TreeNode* tree, int maxCode, const std::uint16_t* blCount) {
    std::uint32_t nextCode[kMaxBits + 1];
    std::uint32_t code = 0;
    nextCode[0] = 0;
    for (int bits = 1; bits <= kMaxBits; ++bits) {
        code = (code + blCount[bits - 1]) << 1;
        nextCode[bits] = code;
    }
    for (int n = 0; n <= maxCode; ++n) {
        const int len = tree[n].len;
        if (len == 0) continue;
        tree[n].freq = static_cast<std::uint16_t>(reverseBits(nextCode[len]++, len));
    }
}

void countRuns(DeflateState& s, TreeNode* tree, int maxCode) {
    int prevLen = -1;
    int nextLen = tree[0].len;
    int count = 0;
    int maxCount = 7, minCount = 4;
    if (nextLen == 0) maxCount = 138, minCount = 3;
    tree[maxCode + 1].len = 0xFFFF; // ends the last run
    for (int n = 0; n <= maxCode; ++n) {
        const int curLen = nextLen;
        nextLen = tree[n + 1].len;
        if (++count < maxCount && curLen == nextLen) continue;
        if (count < minCount) {
            s.blTree[curLen].freq = static_cast<std::uint16_t>(s.blTree[curLen].freq + count);
        } else if (curLen != 0) {
            if (curLen != prevLen) s.blTree[curLen].freq++;
            s.blTree[kRep3To6].freq++;
        } else if (count <= 10) {
            s.blTree[kRepZero3To10].freq++;
        } else {
            s.blTree[kRepZero11To138].freq++;
        }
        count = 0;
        prevLen = curLen;
        if (nextLen == 0)
            maxCount = 138, minCount = 3;
        else if (curLen == nextLen)
            maxCount = 6, minCount = 3;
        else
            maxCount = 7, minCount = 4;
    }
}

void sendRuns(zip& z, TreeNode* tree, int maxCode) {
    DeflateState& s = *z.deflate;
    const TreeNode* bl = s.blTree;
    int prevLen = -1;
    int nextLen = tree[0].len;
    int count = 0;
    int maxCount = 7, minCount = 4;
    if (nextLen == 0) maxCount = 138, minCount = 3;
    tree[maxCode + 1].len = 0xFFFF;
    for (int n = 0; n <= maxCode; ++n) {
        const int curLen = nextLen;
        nextLen = tree[n + 1].len;
        if (++count < maxCount && curLen == nextLen) continue;
        if (count < minCount) {
            do
                putBits(z, bl[curLen].freq, bl[curLen].len);
            while (--count != 0);
        } else if (curLen != 0) {
            if (curLen != prevLen) {
                putBits(z, bl[curLen].freq, bl[curLen].len);
                --count;
            }
            putBits(z, bl[kRep3To6].freq, bl[kRep3To6].len);
            putBits(z, static_cast<std::uint32_t>(count - 3), 2);
        } else if (count <= 10) {
            putBits(z, bl[kRepZero3To10].freq, bl[kRepZero3To10].len);
            putBits(z, static_cast<std::uint32_t>(count - 3), 3);
        } else {
            putBits(z, bl[kRepZero11To138].freq, bl[kRepZero11To138].len);
            putBits(z, static_cast<std::uint32_t>(count - 11), 7);
        }
        count = 0;
        prevLen = curLen;
        if (nextLen == 0)
            maxCount = 138, minCount = 3;
        else if (curLen == nextLen)
            maxCount = 6, minCount = 3;
        else
            maxCount = 7, minCount = 4;
    }
}

void sendTreeHeader(zip& z, int lcodes, int dcodes, int blcodes) {
    DeflateState& s = *z.deflate;
    putBits(z, static_cast<std::uint32_t>(lcodes - 257), 5);
    putBits(z, static_cast<std::uint32_t>(dcodes - 1), 5);
    putBits(z, static_cast<std::uint32_t>(blcodes - 4), 4);
    for (int rank = 0; rank < blcodes; ++rank)
        putBits(z, s.blTree[kBlOrder[rank]].len, 3);
    sendRuns(z, s.dynLitTree, lcodes - 1);
    sendRuns(z, s.dynDistTree, dcodes - 1);
}

void sendSymbols(zip& z, const TreeNode* litTree, const TreeNode* distTree) {
    DeflateState& s = *z.deflate;
    {
        BitSink out(z, s);
        const std::uint8_t* literals = s.literalBuf.get();
        const std::uint32_t* dists = s.distBuf.get();
        const std::uint8_t* lengthCode = s.lengthCode;
        std::uint32_t dx = 0, fx = 0;
        std::uint32_t flag = 0;
        const std::uint32_t lastLit = s.lastLit;
        for (std::uint32_t lx = 0; lx < lastLit; ++lx) {
            if ((lx & 7) == 0) flag = s.flagBuf[fx++];
            const std::uint32_t lc = literals[lx];
            if ((flag & 1) == 0) {
                out.add(litTree[lc].freq, litTree[lc].len);
            } else {
                int code = lengthCode[lc];
                const TreeNode& lcode = litTree[code + kLiterals + 1];
                out.add(lcode.freq, lcode.len);
                out.add(lc - static_cast<std::uint32_t>(s.baseLength[code]),
                        kExtraLengthBits[code]);
                const std::uint32_t dist = dists[dx++];
                code = distanceCode(s, dist);
                out.add(distTree[code].freq, distTree[code].len);
                out.add(dist - static_cast<std::uint32_t>(s.baseDist[code]), kExtraDistBits[code]);
            }
            out.send();
            flag >>= 1;
        }
        out.add(litTree[kEndBlock].freq, litTree[kEndBlock].len);
        out.send();
    }
}

std::uint64_t emitBlock(zip& z, const std::uint8_t* bytes, std::uint32_t storedLen, bool last) {
    if (z.error) return 0;
    DeflateState& s = *z.deflate;
    s.flagBuf[s.lastFlags] = s.flags;

    // Text when control bytes and upper-half bytes are under a quarter of the rest.
    std::uint32_t binFreq = 0, textFreq = 0;
    for (int n = 0; n < 7; ++n)
        binFreq += s.dynLitTree[n].freq;
    for (int n = 7; n < 128; ++n)
        textFreq += s.dynLitTree[n].freq;
    for (int n = 128; n < kLiterals; ++n)
        binFreq += s.dynLitTree[n].freq;
    if (z.current_entry) z.current_entry->internal_attributes = (textFreq >> 2) >= binFreq ? 1 : 0;

    buildTree(s, s.litDesc);
    buildTree(s, s.distDesc);
    countRuns(s, s.dynLitTree, s.litDesc.maxCode);
    countRuns(s, s.dynDistTree, s.distDesc.maxCode);
    buildTree(s, s.blDesc);

    int maxBlIndex;
    for (maxBlIndex = kBlCodes - 1; maxBlIndex >= 3; --maxBlIndex)
        if (s.blTree[kBlOrder[maxBlIndex]].len != 0) break;
    s.optLen += 3 * static_cast<std::uint32_t>(maxBlIndex + 1) + 5 + 5 + 4;

    std::uint32_t optBytes = (s.optLen + 3 + 7) >> 3;
    const std::uint32_t staticBytes = (s.staticLen + 3 + 7) >> 3;
    if (staticBytes <= optBytes) optBytes = staticBytes;

    if (storedLen <= optBytes && last && s.compressedLen == 0 && bytes) {
        // The whole file in one piece does not shrink: it goes out as it is.
        copyBlock(z, bytes, storedLen, false);
        s.compressedLen = std::uint64_t(storedLen) << 3;
        z.method = 0;
    } else if (std::uint64_t(storedLen) + 4 <= optBytes && bytes && storedLen <= 0xFFFF) {
        putBits(z, last ? 1 : 0, 3);
        s.compressedLen =
            ((s.compressedLen + 3 + 7) & ~std::uint64_t(7)) + ((std::uint64_t(storedLen) + 4) << 3);
        copyBlock(z, bytes, storedLen, true);
    } else if (staticBytes == optBytes) {
        putBits(z, (1 << 1) + (last ? 1 : 0), 3);
        sendSymbols(z, s.staticLitTree, s.staticDistTree);
        s.compressedLen += 3 + s.staticLen;
    } else {
        putBits(z, (2 << 1) + (last ? 1 : 0), 3);
        sendTreeHeader(z, s.litDesc.maxCode + 1, s.distDesc.maxCode + 1, maxBlIndex + 1);
        sendSymbols(z, s.dynLitTree, s.dynDistTree);
        s.compressedLen += 3 + s.optLen;
    }
    clearBlock(s);
    if (last) {
        windUp(z);
        s.compressedLen += 7;
    }
    return s.compressedLen >> 3;
}
