// The deflate encoder's working state for one adding job: the string
// matcher's hash heads and chains, the symbol buffers and trees of the block
// emitter and the bit writer with its output buffer. The engine owns it
// through one pointer (zip::deflate) so that the engine state stays small;
// the window itself is the engine's window.
//
// Everything the hot loops touch per byte (heads, chains, the flag buffer and
// the tree frequencies) sits in this one allocation, reached through one
// pointer; only the two large symbol buffers are separate, as they live and
// die with the trees. Heads and chains are 16-bit (see below).
#pragma once

#include <cstdint>
#include <memory>

// ---- Matcher ---------------------------------------------------------------

constexpr std::uint32_t kMinMatch = 3;
constexpr std::uint32_t kMaxMatch = 258;
constexpr std::uint32_t kWindowHalf = 32768;
constexpr std::uint32_t kWindowMask = kWindowHalf - 1;
constexpr std::uint32_t kWindowBytes = 2 * kWindowHalf; // history and lookahead
// Slack behind the two halves: the eight-byte match comparison may read up to
// seven bytes beyond the last byte it compares.
constexpr std::uint32_t kWindowAllocation = kWindowBytes + 16;
static_assert(kWindowBytes <= 65536, "window positions must fit the 16-bit head and chain entries");
constexpr std::uint32_t kHashSize = 32768; // 15 bits: three bytes of 5 bits each fill it
constexpr std::uint32_t kHashMask = kHashSize - 1;
constexpr std::uint32_t kHashShift = 5;
constexpr std::uint32_t kChainEntries = 32768 + 32; // 64 bytes of slack behind each table
constexpr std::uint32_t kMinLookahead = kMaxMatch + kMinMatch + 1;  // 262: one match and a hash
constexpr std::uint32_t kMaxDistance = kWindowHalf - kMinLookahead; // 32,506
constexpr std::uint32_t kSlideAt = kWindowHalf + kMaxDistance;      // 65,274
// The lazy loop drops a match of three bytes this far back: its distance
// code costs more than the three literals it replaces.
constexpr std::uint32_t kTooFar = 4096;

// ---- Block emitter -----------------------------------------------------------

constexpr int kLengthCodes = 29;
constexpr int kLiterals = 256;
constexpr int kEndBlock = 256;
constexpr int kLitCodes = kLiterals + 1 + kLengthCodes; // 286
constexpr int kDistCodes = 30;
constexpr int kBlCodes = 19;
constexpr int kHeapSize = 2 * kLitCodes + 1; // 573: leaves and inner nodes of the largest tree
constexpr int kMaxBits = 15;
constexpr int kMaxBlBits = 7;
constexpr int kStaticLitCodes = 288;

constexpr std::uint32_t kOutBufSize = 65535;
constexpr std::uint32_t kLitBufSize = 32784;  // bytes; a block holds at most 32,767 symbols
constexpr std::uint32_t kDistBufSize = 32776; // entries
constexpr std::uint32_t kFlagBufSize = 4096;  // one bit per symbol
constexpr std::uint32_t kMaxBlockSymbols = 32767;
constexpr std::uint32_t kMaxBlockMatches = 32768;

// freq: the frequency while counting, the code (bit-reversed) once assigned.
// len: the parent node while building, the code length afterwards.
struct TreeNode {
    std::uint16_t freq;
    std::uint16_t len;
};

struct TreeDesc {
    TreeNode* dynTree;
    const TreeNode* staticTree; // nullptr for the code-length code
    const std::uint8_t* extraBits;
    int extraBase; // first symbol with extra bits
    int elems;     // leaves
    int maxLength;
    int maxCode; // largest symbol with a non-zero frequency
};

struct DeflateState {
    // Matcher.
    // Window positions are below 65,536, so 16 bits hold every entry; at
    // half the width of a machine word the chain walk, which reads one entry
    // per candidate at random, stays in the first-level cache far more often
    // (levels 6 and 9 run 10 to 15% faster than with 32-bit entries).
    std::uint16_t prev[kChainEntries]; // previous position of the same hash; 0 ends a chain
    std::uint16_t head[kChainEntries]; // latest position per hash; 0 = none
    std::int32_t blockStart;           // negative once the window slid past it
    std::uint32_t insHash;
    std::uint32_t prevLength;
    std::uint32_t strStart;
    std::uint32_t matchStart;
    std::uint32_t lookahead;
    std::uint32_t maxChainLength, maxLazyMatch, goodMatch, niceMatch;
    std::uint32_t level; // the level in use, 0..9

    // Bit writer.
    std::uint16_t biBuf;
    std::int32_t biValid;
    std::uint32_t outBufCount;
    std::uint8_t outBuf[kOutBufSize];

    // Trees.
    TreeNode dynLitTree[kHeapSize];
    TreeNode dynDistTree[2 * kDistCodes + 1];
    TreeNode staticLitTree[kStaticLitCodes];
    TreeNode blTree[2 * kBlCodes + 1];
    TreeNode staticDistTree[kDistCodes]; // its first len non-zero: the trees are started
    TreeDesc litDesc, distDesc, blDesc;
    std::uint16_t blCount[kMaxBits + 1];
    std::uint32_t heap[kHeapSize];
    std::int32_t heapLen, heapMax;
    std::uint8_t depth[kHeapSize];
    std::uint8_t lengthCode[256];
    std::uint8_t distCode[512];
    std::int32_t baseLength[kLengthCodes];
    std::int32_t baseDist[kDistCodes];

    // Symbols of the current block.
    std::unique_ptr<std::uint8_t[]> literalBuf; // kLitBufSize
    std::unique_ptr<std::uint32_t[]> distBuf;   // kDistBufSize
    std::uint8_t flagBuf[kFlagBufSize];
    std::uint32_t lastLit, lastDist, lastFlags;
    std::uint8_t flags, flagBit;
    std::uint32_t optLen, staticLen;
    // Bits written for the member so far; 64 bits wide so that members whose
    // data exceeds 512 MiB still get their size right.
    std::uint64_t compressedLen;

    // Blocks whose code lengths had to be pulled back to the maximum (tests).
    std::uint32_t lengthOverflows;
};

// The deleter the engine's pointer carries.
void freeDeflateState(DeflateState* s);
