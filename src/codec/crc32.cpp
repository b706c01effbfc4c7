#include "codec/crc32.h"

#include "zip/zip.h"

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

std::uint32_t foldCrc(const std::uint32_t* table, std::uint32_t c, const std::uint8_t* data, std::size_t length) {
    if (length >= 64) {
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
    }
    while (length--) c = table[(c ^ *data++) & 0xFF] ^ (c >> 8);
    return c;
}

std::uint32_t updateCrc(zip& z, const std::uint8_t* data, std::size_t length) {
    if (!data) {
        z.add_crc_register = 0xFFFFFFFFu;
        return 0;
    }
    z.add_crc_register = foldCrc(z.crc_table.get(), z.add_crc_register, data, length);
    return ~z.add_crc_register;
}
