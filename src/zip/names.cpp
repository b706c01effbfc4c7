#include "zip/names.h"

#include "codec/crc32.h"
#include "zip/input.h"

namespace {

// Hosts of the "version made by" field whose tools store file-system bytes.
constexpr unsigned kHostUnix = 3;
constexpr unsigned kHostMacOs = 19;

// Code page 437 from 0x80 to 0xFF, as Unicode code points.
const std::uint16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

void append_utf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The length of the well-formed sequence at p (at most n bytes), 0 when
// there is none. The second byte's range rules out overlong forms,
// surrogates and code points past U+10FFFF.
std::size_t sequence_length(const unsigned char* p, std::size_t n) {
    const unsigned char b = p[0];
    if (b < 0x80) return 1;
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        if (b == 0xE0) low = 0xA0;
        if (b == 0xED) high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        if (b == 0xF0) low = 0x90;
        if (b == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (n < length || p[1] < low || p[1] > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if ((p[i] & 0xC0) != 0x80) return 0;
    return length;
}

} // namespace

bool is_ascii(const std::string& bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

bool is_utf8(const std::string& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t k = sequence_length(p + at, bytes.size() - at);
        if (k == 0) return false;
        at += k;
    }
    return true;
}

std::string utf8_from_cp437(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const unsigned char u = static_cast<unsigned char>(c);
        append_utf8(out, u < 0x80 ? u : kCp437High[u - 0x80]);
    }
    return out;
}

std::string utf8_repaired(const std::string& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::string out;
    out.reserve(bytes.size());
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t k = sequence_length(p + at, bytes.size() - at);
        if (k == 0) {
            append_utf8(out, 0xFFFD);
            ++at;
        } else {
            out.append(bytes, at, k);
            at += k;
        }
    }
    return out;
}

bool unicode_path_name(const std::uint8_t* extra, std::uint32_t length,
                       const std::string& header_name, std::string* name) {
    std::uint32_t at = 0;
    while (extra && length - at >= 4 && at < length) {
        const std::uint16_t id = get16(extra + at);
        const std::uint32_t size = get16(extra + at + 2);
        if (size > length - at - 4) return false;
        const std::uint8_t* data = extra + at + 4;
        if (id == 0x7075) {
            // Version, CRC-32 of the header's name, then at least one byte of name.
            if (size < 6 || data[0] != 1) return false;
            const auto* stored = reinterpret_cast<const std::uint8_t*>(header_name.data());
            if (~foldCrc(crc32_table(), 0xFFFFFFFFu, stored, header_name.size()) != get32(data + 1))
                return false;
            std::string candidate(reinterpret_cast<const char*>(data + 5), size - 5);
            if (!is_utf8(candidate)) return false;
            *name = std::move(candidate);
            return true;
        }
        at += 4 + size;
    }
    return false;
}

std::string member_name(const std::string& stored, std::uint16_t flags,
                        std::uint16_t version_made_by, const std::uint8_t* extra,
                        std::uint32_t extra_length) {
    if (flags & kUtf8NameFlag) return is_utf8(stored) ? stored : utf8_repaired(stored);
    std::string name;
    if (unicode_path_name(extra, extra_length, stored, &name)) return name;
    if (is_ascii(stored)) return stored;
    const unsigned host = version_made_by >> 8;
    if ((host == kHostUnix || host == kHostMacOs) && is_utf8(stored)) return stored;
    return utf8_from_cp437(stored);
}

std::string catalog_name(const std::string& bytes) {
    return is_utf8(bytes) ? bytes : utf8_from_cp437(bytes);
}
