// Explode: hand-made imploded streams for each variant (4 or 8 KiB, two or
// three trees), the length extension of symbol 63, matches reaching before
// the output, every failure result (bad length list, over-subscribed and
// incomplete trees, compressed data not used exactly), a member over 200,000
// bytes against a model, and every imploded member of the fixture archives.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "codec/explode.h"
#include "decoder_rig.h"

namespace {

using test::Bytes;
using Lengths = std::vector<std::uint32_t>;

constexpr std::uint16_t kEightKiB = 2;
constexpr std::uint16_t kThreeTrees = 4;

// Canonical codes for a list of lengths: shorter codes first, equal lengths
// in symbol order.
std::vector<std::uint32_t> canonical_codes(const Lengths& lengths) {
    std::uint32_t count[17] = {}, next[17] = {};
    for (std::uint32_t l : lengths)
        ++count[l];
    count[0] = 0;
    for (int l = 1, code = 0; l <= 16; ++l) {
        code = (code + static_cast<int>(count[l - 1])) << 1;
        next[l] = static_cast<std::uint32_t>(code);
    }
    std::vector<std::uint32_t> codes(lengths.size());
    for (std::size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s]) codes[s] = next[lengths[s]]++;
    return codes;
}

// The list as sent: a count byte, then one byte per run of up to 16 equal lengths.
Bytes length_list(const Lengths& lengths) {
    Bytes runs;
    for (std::size_t i = 0; i < lengths.size();) {
        std::size_t n = 1;
        while (n < 16 && i + n < lengths.size() && lengths[i + n] == lengths[i])
            ++n;
        runs.push_back(static_cast<std::uint8_t>(((n - 1) << 4) | (lengths[i] - 1)));
        i += n;
    }
    Bytes out{static_cast<std::uint8_t>(runs.size() - 1)};
    out.insert(out.end(), runs.begin(), runs.end());
    return out;
}

Lengths flat(std::uint32_t n, std::uint32_t length) {
    return Lengths(n, length);
}

// A complete code of 64 symbols with lengths 1 to 15.
Lengths skewed() {
    Lengths l;
    for (std::uint32_t i = 1; i <= 8; ++i)
        l.push_back(i);
    for (int i = 0; i < 24; ++i)
        l.push_back(13);
    for (int i = 0; i < 32; ++i)
        l.push_back(15);
    return l;
}

// Writes an imploded member and keeps the output it must decode to.
class ImplodeWriter {
  public:
    ImplodeWriter(std::uint16_t flags, Lengths length_tree = flat(64, 6),
                  Lengths distance_tree = flat(64, 6), Lengths literal_tree = flat(256, 8))
        : flags_(flags), literal_(literal_tree), length_(length_tree), distance_(distance_tree),
          literal_codes_(canonical_codes(literal_tree)),
          length_codes_(canonical_codes(length_tree)),
          distance_codes_(canonical_codes(distance_tree)) {}

    bool three_trees() const { return flags_ & kThreeTrees; }
    unsigned raw_bits() const { return (flags_ & kEightKiB) ? 7 : 6; }
    std::uint32_t min_length() const { return three_trees() ? 3 : 2; }

    void literal(std::uint8_t b) {
        bits_.put(1, 1);
        if (three_trees())
            symbol(literal_codes_[b], literal_[b]);
        else
            bits_.put(b, 8);
        expected.push_back(b);
    }
    void match(std::uint32_t distance, std::uint32_t length) {
        bits_.put(0, 1);
        std::uint32_t d = distance - 1;
        bits_.put(d & ((1u << raw_bits()) - 1), raw_bits());
        std::uint32_t ds = d >> raw_bits();
        symbol(distance_codes_[ds], distance_[ds]);
        std::uint32_t ls = std::min(length - min_length(), 63u);
        symbol(length_codes_[ls], length_[ls]);
        if (ls == 63) bits_.put(length - min_length() - 63, 8);
        for (std::uint32_t i = 0; i < length; ++i) {
            std::size_t n = expected.size();
            expected.push_back(n >= distance ? expected[n - distance] : 0);
        }
    }
    Bytes bytes() {
        Bytes out;
        if (three_trees()) append(out, length_list(literal_));
        append(out, length_list(length_));
        append(out, length_list(distance_));
        append(out, bits_.bytes());
        return out;
    }

    Bytes expected;

  private:
    // Codes go out first bit first, every bit inverted.
    void symbol(std::uint32_t code, std::uint32_t length) {
        for (std::uint32_t i = length; i-- > 0;)
            bits_.put(~(code >> i) & 1u, 1);
    }
    static void append(Bytes& a, const Bytes& b) { a.insert(a.end(), b.begin(), b.end()); }

    std::uint16_t flags_;
    Lengths literal_, length_, distance_;
    std::vector<std::uint32_t> literal_codes_, length_codes_, distance_codes_;
    test::BitWriter bits_;
};

test::Decoded explode(const Bytes& data, std::uint16_t flags, std::uint32_t uncompressed_size,
                      std::uint32_t compressed_size = 0xFFFFFFFFu) {
    test::RawMemberOptions o;
    o.flags = flags;
    o.uncompressed_size = uncompressed_size;
    o.compressed_size = compressed_size;
    return test::decode_raw(data, o, [](zip& z) { return explodeMember(z); });
}

test::Decoded explode(ImplodeWriter& w, std::uint16_t flags) {
    return explode(w.bytes(), flags, static_cast<std::uint32_t>(w.expected.size()));
}

TEST(Explode, EveryVariantDecodesLiteralsAndMatches) {
    for (int flags : {0, 2, 4, 6}) {
        SCOPED_TRACE(flags);
        ImplodeWriter w(static_cast<std::uint16_t>(flags));
        for (char c : std::string("abracadabra"))
            w.literal(static_cast<std::uint8_t>(c));
        w.match(7, 4);   // "abra" ... overlapping nothing
        w.match(1, 10);  // a run of the last byte
        w.match(11, 11); // the whole word again
        w.literal('!');
        auto d = explode(w, static_cast<std::uint16_t>(flags));
        EXPECT_EQ(d.result, 0);
        EXPECT_EQ(d.error, 0);
        EXPECT_EQ(d.data, w.expected);
        EXPECT_EQ(d.crc, test::crc32_of(w.expected));
    }
}

// Positions before the first output byte read as zeros.
TEST(Explode, MatchBeforeTheOutputStartGivesZeros) {
    ImplodeWriter w(0);
    w.literal('A');
    w.match(3, 4); // two bytes before the start, then 'A' and the first zero
    auto d = explode(w, 0);
    EXPECT_EQ(d.result, 0);
    EXPECT_EQ(d.data, Bytes({'A', 0, 0, 'A', 0}));

    ImplodeWriter far(kEightKiB | kThreeTrees);
    far.match(8192, 30); // nothing written yet at all
    far.literal('z');
    auto e = explode(far, kEightKiB | kThreeTrees);
    EXPECT_EQ(e.result, 0);
    Bytes expected(30, 0);
    expected.push_back('z');
    EXPECT_EQ(e.data, expected);
}

// Symbol 63 with an extension byte of 255: the longest match of each variant.
TEST(Explode, LengthSymbol63WithExtensionByte) {
    ImplodeWriter three(kThreeTrees);
    three.literal('x');
    three.match(1, 66 + 255);
    auto d = explode(three, kThreeTrees);
    EXPECT_EQ(d.result, 0);
    EXPECT_EQ(d.data, Bytes(1 + 66 + 255, 'x'));

    ImplodeWriter two(0);
    two.literal('y');
    two.match(1, 65 + 255);
    auto e = explode(two, 0);
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.data, Bytes(1 + 65 + 255, 'y'));
}

// The last match may run past the uncompressed size; all of it is written.
TEST(Explode, LastMatchMayOvershootTheSize) {
    ImplodeWriter w(0);
    w.literal('a');
    w.match(1, 9);
    auto d = explode(w.bytes(), 0, 3);
    EXPECT_EQ(d.result, 0);
    EXPECT_EQ(d.data, Bytes(10, 'a'));
}

TEST(Explode, SizeZeroStillReadsTheTrees) {
    for (std::uint16_t flags : {std::uint16_t(0), std::uint16_t(kThreeTrees | kEightKiB)}) {
        ImplodeWriter w(flags);
        auto d = explode(w, flags);
        EXPECT_EQ(d.result, 0) << flags; // the lists used the data up exactly
        EXPECT_TRUE(d.data.empty());
        EXPECT_EQ(d.crc, 0u);
    }
    // Trees that do not add up are found even though nothing is decoded.
    ImplodeWriter bad(0, flat(64, 5));
    EXPECT_EQ(explode(bad.bytes(), 0, 0).result, 2);
}

// Both sides of 200,000 compressed bytes (7 and 8 first-level distance bits),
// with distance and length codes up to 15 bits long so that sub-tables are used.
TEST(Explode, LongMembersDecodeTheSameWithEitherDistanceLookup) {
    for (std::uint32_t tokens : {40000u, 150000u}) {
        ImplodeWriter w(kEightKiB | kThreeTrees, skewed(), skewed());
        std::mt19937 rng(tokens);
        for (std::uint32_t i = 0; i < tokens; ++i) {
            std::uint32_t r = rng();
            if (r % 3 == 0) {
                w.literal(static_cast<std::uint8_t>(r >> 8));
            } else {
                // Spread the distance symbols over every code length.
                std::uint32_t symbol = (r >> 4) % 64;
                std::uint32_t distance = (symbol << 7) + ((r >> 12) & 127) + 1;
                std::uint32_t length = 3 + (r >> 20) % 64 + ((r >> 20) % 64 == 63 ? (r >> 26) : 0);
                w.match(distance, length);
            }
        }
        Bytes data = w.bytes();
        SCOPED_TRACE(data.size());
        auto d =
            explode(data, kEightKiB | kThreeTrees, static_cast<std::uint32_t>(w.expected.size()));
        EXPECT_EQ(d.result, 0);
        EXPECT_EQ(d.error, 0);
        EXPECT_EQ(d.data.size(), w.expected.size());
        EXPECT_TRUE(d.data == w.expected);
        if (tokens == 40000u)
            EXPECT_LE(data.size(), 200000u);
        else
            EXPECT_GT(data.size(), 200000u);
    }
}

TEST(Explode, CompressedDataNotUsedExactlyIsResult5) {
    ImplodeWriter w(0);
    for (char c : std::string("data"))
        w.literal(static_cast<std::uint8_t>(c));
    Bytes data = w.bytes();
    Bytes longer = data;
    longer.push_back(0);
    longer.push_back(0);
    auto d = explode(longer, 0, 4);
    EXPECT_EQ(d.result, 5);
    EXPECT_EQ(d.data, w.expected); // the output is flushed first

    // The member ends early: the rest reads as all ones and overshoots.
    auto e = explode(data, 0, 40);
    EXPECT_EQ(e.result, 5);
    EXPECT_EQ(e.error, 0);
}

TEST(Explode, BadLengthListIsResult4) {
    Bytes too_few = length_list(flat(63, 6));
    Bytes full = length_list(flat(64, 6));
    Bytes too_many = length_list(flat(65, 6));
    Bytes tail(4, 0);
    auto run = [&](const Bytes& length_tree, const Bytes& distance_tree) {
        Bytes data = length_tree;
        data.insert(data.end(), distance_tree.begin(), distance_tree.end());
        data.insert(data.end(), tail.begin(), tail.end());
        return explode(data, 0, 1).result;
    };
    EXPECT_EQ(run(too_few, full), 4);
    EXPECT_EQ(run(too_many, full), 4);
    EXPECT_EQ(run(full, too_few), 4);
    EXPECT_EQ(run(full, too_many), 4);
    EXPECT_EQ(explode({}, 0, 1).result, 4); // no list at all
    EXPECT_EQ(explode({}, kThreeTrees, 0).result, 4);
}

TEST(Explode, OverSubscribedTreeIsResult2) {
    ImplodeWriter lengths(0, flat(64, 5));
    EXPECT_EQ(explode(lengths.bytes(), 0, 1).result, 2);
    ImplodeWriter distances(kEightKiB, flat(64, 6), flat(64, 4));
    EXPECT_EQ(explode(distances.bytes(), kEightKiB, 1).result, 2);
    ImplodeWriter literals(kThreeTrees, flat(64, 6), flat(64, 6), flat(256, 7));
    EXPECT_EQ(explode(literals.bytes(), kThreeTrees, 1).result, 2);
}

// An incomplete code would leave invalid slots: refused, with every table
// built so far released (the sanitizer build checks that nothing leaks).
TEST(Explode, IncompleteTreeIsResult1) {
    ImplodeWriter lengths(0, flat(64, 7));
    EXPECT_EQ(explode(lengths.bytes(), 0, 1).result, 1);
    ImplodeWriter distances(kThreeTrees, flat(64, 6), flat(64, 8));
    EXPECT_EQ(explode(distances.bytes(), kThreeTrees, 1).result, 1);
    ImplodeWriter literals(kThreeTrees | kEightKiB, flat(64, 6), flat(64, 6), flat(256, 9));
    EXPECT_EQ(explode(literals.bytes(), kThreeTrees | kEightKiB, 1).result, 1);
}

TEST(Explode, FullMemoryTargetStopsDecoding) {
    ImplodeWriter w(0);
    w.literal('m');
    for (int i = 0; i < 400; ++i)
        w.match(1, 300);
    test::RawMemberOptions o;
    o.uncompressed_size = static_cast<std::uint32_t>(w.expected.size());
    o.capacity = 40000;
    auto d = test::decode_raw(w.bytes(), o, [](zip& z) { return explodeMember(z); });
    EXPECT_EQ(d.error, ZERR_TOOLARGE);
    EXPECT_EQ(d.data, Bytes(40000, 'm'));
}

// Every imploded member of the fixtures: size and CRC as listed, bytes as the
// originals (hw_implode_big.zip has no copy of its original, only its CRC).
void check_archive(const std::string& archive, int expected_members, bool compare_bytes = true) {
    auto manifest = test::manifest_members(archive);
    int n = test::decode_fixture(
        archive, 6, [](zip& z) { return explodeMember(z); },
        [&](const zentry& e, const test::Decoded& d) {
            SCOPED_TRACE(archive + " " + e.name);
            const test::ManifestMember* m = nullptr;
            for (const auto& line : manifest)
                if (line.name == e.name) m = &line;
            ASSERT_NE(m, nullptr);
            EXPECT_EQ(m->flags, e.flags);
            EXPECT_EQ(d.result, 0);
            EXPECT_EQ(d.error, 0);
            EXPECT_EQ(d.data.size(), m->uncompressed_size);
            EXPECT_EQ(d.crc, m->crc);
            if (!compare_bytes) return;
            const Bytes original = test::read_host_file(
                test::data_host_path("zip/expected/" + archive + "/" + e.name));
            EXPECT_TRUE(d.data == original);
        });
    EXPECT_EQ(n, expected_members);
}

TEST(Explode, FixtureHwImplode4k2t) {
    check_archive("hw_implode_4k2t.zip", 6);
}
TEST(Explode, FixtureHwImplode4k3t) {
    check_archive("hw_implode_4k3t.zip", 6);
}
TEST(Explode, FixtureHwImplode8k2t) {
    check_archive("hw_implode_8k2t.zip", 6);
}
TEST(Explode, FixtureHwImplode8k3t) {
    check_archive("hw_implode_8k3t.zip", 5);
}
TEST(Explode, FixtureHwImplodeBig) {
    check_archive("hw_implode_big.zip", 1, false);
}
TEST(Explode, FixtureMixedMethods) {
    check_archive("mixed_methods.zip", 4);
}

} // namespace
