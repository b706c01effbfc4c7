#include "codec/crc32.h"

#include "zip/zip.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

std::uint32_t polynomial() {
    // Exponents of the ISO 3309 polynomial; bit (31 - e) set for each gives the reflected form.
    static const int exponents[] = {0, 1, 2, 4, 5, 7, 8, 10, 11, 12, 16, 22, 23, 26};
    std::uint32_t p = 0;
    for (int e : exponents) p |= 1u << (31 - e);
    return p;
}

} // namespace

int makeCrcTable(zip& z) {
    if (!z.crc_table) {
        z.crc_table.reset(new (std::nothrow) std::uint32_t[256]);
        if (!z.crc_table) {
            set_error(z, ZERR_MEMORY);
            return ZERR_MEMORY;
        }
    }
    const std::uint32_t poly = polynomial();
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ poly : c >> 1;
        z.crc_table[i] = c;
    }
    return 0;
}

namespace {

// Eight tables let long runs fold eight bytes per step (slicing by eight):
// the byte-wise table alone would make the checksum slower than decoding.
struct SliceTables {
    std::uint32_t t[8][256];
    SliceTables() {
        const std::uint32_t poly = polynomial();
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ poly : c >> 1;
            t[0][i] = c;
        }
        for (int s = 1; s < 8; ++s)
            for (int i = 0; i < 256; ++i) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
};

const SliceTables& slice_tables() {
    static const SliceTables tables;
    return tables;
}

} // namespace

const std::uint32_t* crc32_table() {
    return slice_tables().t[0];
}

std::uint32_t foldCrcPortable(std::uint32_t c, const std::uint8_t* data, std::size_t length) {
    const auto& t = slice_tables().t;
    while (length >= 8) {
        std::uint32_t lo = c ^ (std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8 |
                                std::uint32_t(data[2]) << 16 | std::uint32_t(data[3]) << 24);
        std::uint32_t hi = std::uint32_t(data[4]) | std::uint32_t(data[5]) << 8 |
                           std::uint32_t(data[6]) << 16 | std::uint32_t(data[7]) << 24;
        c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
            t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
        data += 8;
        length -= 8;
    }
    while (length--) c = t[0][(c ^ *data++) & 0xFF] ^ (c >> 8);
    return c;
}

#if defined(__x86_64__) || defined(__i386__)

namespace {

// Folding with carry-less products. A 16-byte chunk loaded little-endian has
// its low quadword hold the higher powers of x (the CRC is bit-reflected), so
// a chunk A that lies D bits before the end of what follows equals
// lo(A)*x^(64+D) + hi(A)*x^D, and each of those is replaced by its product with
// the power reduced mod P: a 64 x 32-bit product that fits one chunk again.
// A reflected 64 x 64 product comes out one place short (bit k stands for
// x^(126-k), not x^(127-k)), hence the powers below are taken one lower.
constexpr std::uint64_t x_power_mod(unsigned n) {
    std::uint64_t r = 1; // x^0, bit d for x^d
    for (unsigned i = 0; i < n; ++i) {
        r <<= 1;
        if (r & 0x100000000ull) r ^= 0x104C11DB7ull;
    }
    return r;
}

constexpr std::uint64_t reflect64(std::uint64_t v) {
    std::uint64_t r = 0;
    for (int i = 0; i < 64; ++i)
        if (v & (std::uint64_t(1) << i)) r |= std::uint64_t(1) << (63 - i);
    return r;
}

// The pair of multipliers that moves a chunk forward by `distance` bits.
constexpr std::uint64_t fold_low(unsigned distance) {
    return reflect64(x_power_mod(64 + distance - 1));
}
constexpr std::uint64_t fold_high(unsigned distance) {
    return reflect64(x_power_mod(distance - 1));
}

__attribute__((target("sse2,pclmul"))) inline __m128i fold(__m128i a, __m128i k) {
    // k: fold_low in the low quadword, fold_high in the high one.
    return _mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x00), _mm_clmulepi64_si128(a, k, 0x11));
}

__attribute__((target("sse2,pclmul"))) std::uint32_t fold_clmul(std::uint32_t c, const std::uint8_t* data,
                                                                std::size_t length) {
    if (length < 64) return foldCrcPortable(c, data, length);
    const __m128i k512 = _mm_set_epi64x(static_cast<long long>(fold_high(512)),
                                        static_cast<long long>(fold_low(512)));
    const __m128i k128 = _mm_set_epi64x(static_cast<long long>(fold_high(128)),
                                        static_cast<long long>(fold_low(128)));
    auto load = [](const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    // The running value folds in as if XOR-ed onto the first four bytes, the
    // rest of the message then being checksummed from zero.
    __m128i x0 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(c)));
    __m128i x1 = load(data + 16);
    __m128i x2 = load(data + 32);
    __m128i x3 = load(data + 48);
    data += 64;
    length -= 64;
    // Four independent chains keep the multiplier busy.
    while (length >= 64) {
        x0 = _mm_xor_si128(fold(x0, k512), load(data));
        x1 = _mm_xor_si128(fold(x1, k512), load(data + 16));
        x2 = _mm_xor_si128(fold(x2, k512), load(data + 32));
        x3 = _mm_xor_si128(fold(x3, k512), load(data + 48));
        data += 64;
        length -= 64;
    }
    x1 = _mm_xor_si128(fold(x0, k128), x1);
    x2 = _mm_xor_si128(fold(x1, k128), x2);
    x3 = _mm_xor_si128(fold(x2, k128), x3);
    while (length >= 16) {
        x3 = _mm_xor_si128(fold(x3, k128), load(data));
        data += 16;
        length -= 16;
    }
    // The last chunk is ordinary message bytes: the tables reduce it.
    alignas(16) std::uint8_t last[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(last), x3);
    return foldCrcPortable(foldCrcPortable(0, last, 16), data, length);
}

using FoldFunction = std::uint32_t (*)(std::uint32_t, const std::uint8_t*, std::size_t);

FoldFunction choose_fold() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") ? fold_clmul : foldCrcPortable;
}

} // namespace

std::uint32_t foldCrc(const std::uint32_t* table, std::uint32_t c, const std::uint8_t* data, std::size_t length) {
    (void)table;
    static const FoldFunction fold_function = choose_fold();
    return fold_function(c, data, length);
}

#else

std::uint32_t foldCrc(const std::uint32_t* table, std::uint32_t c, const std::uint8_t* data, std::size_t length) {
    (void)table;
    return foldCrcPortable(c, data, length);
}

#endif

std::uint32_t updateCrc(zip& z, const std::uint8_t* data, std::size_t length) {
    if (!data) {
        z.add_crc_register = 0xFFFFFFFFu;
        return 0;
    }
    z.add_crc_register = foldCrc(z.crc_table.get(), z.add_crc_register, data, length);
    return ~z.add_crc_register;
}
