// Deflate: every file the add job can meet, deflated at each level and
// brought back twice, by our inflate (inflateMember over the member data)
// and by a small symbol-listing decoder below, which also shows which blocks
// and matches the encoder chose: whole files stored raw, stored blocks,
// fixed and dynamic blocks, 258-byte matches, the farthest distance, one
// distance code, the lazy loop's 4,096 rule, the text/binary decision, code
// lengths pulled back to 15 (and 7), the bit writer's buffer thresholds,
// Cancel and a full disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "codec/crc32.h"
#include "codec/deflate.h"
#include "codec/deflate_state.h"
#include "codec/inflate.h"
#include "codec/trees.h"
#include "decoder_rig.h"
#include "test_support.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace {

using test::Bytes;

// ---- Data ----------------------------------------------------------------------------

// xorshift32: the same bytes on every build.
class Random {
  public:
    explicit Random(std::uint32_t seed) : state_(seed ? seed : 1) {}
    std::uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    std::uint32_t below(std::uint32_t n) { return next() % n; }

  private:
    std::uint32_t state_;
};

Bytes random_bytes(std::size_t n, std::uint32_t seed) {
    Random r(seed);
    Bytes out(n);
    for (auto& b : out)
        b = static_cast<std::uint8_t>(r.next() >> 24);
    return out;
}

// Sentences of words from a small vocabulary: compressible, all printable.
Bytes text_bytes(std::size_t n, std::uint32_t seed) {
    static const char* const words[] = {
        "archive",    "member", "deflate", "window",  "header", "central", "directory",
        "the",        "of",     "and",     "a",       "file",   "folder",  "volume",
        "label",      "disk",   "span",    "extract", "add",    "update",  "freshen",
        "compressed", "size",   "crc",     "method",  "level",  "stored",  "block",
        "tree",       "code",   "length",  "distance"};
    Random r(seed);
    std::string s;
    while (s.size() < n) {
        const std::uint32_t count = 4 + r.below(12);
        for (std::uint32_t i = 0; i < count; ++i) {
            if (i) s += ' ';
            s += words[r.below(sizeof words / sizeof words[0])];
        }
        s += r.below(4) == 0 ? ".\r\n" : ". ";
    }
    s.resize(n);
    return Bytes(s.begin(), s.end());
}

// Runs of one byte with lengths from 1 to a few thousand.
Bytes run_bytes(std::size_t n, std::uint32_t seed) {
    Random r(seed);
    Bytes out;
    while (out.size() < n) {
        const std::uint8_t value = static_cast<std::uint8_t>(r.next());
        const std::size_t length = 1 + r.below(r.below(4) == 0 ? 4000 : 20);
        out.insert(out.end(), std::min(length, n - out.size()), value);
    }
    return out;
}

// Records as a program's data might hold them: small integers, zeros,
// repeated tags and now and then random bytes.
Bytes binary_bytes(std::size_t n, std::uint32_t seed) {
    Random r(seed);
    Bytes out;
    while (out.size() < n) {
        const std::uint32_t kind = r.below(4);
        if (kind == 0) {
            for (int i = 0; i < 16; ++i)
                out.push_back(static_cast<std::uint8_t>(r.next()));
        } else {
            const std::uint32_t v = r.below(kind == 1 ? 300 : 70000);
            for (int i = 0; i < 4; ++i)
                out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
            out.insert(out.end(), {0x48, 0x8B, 0x45, static_cast<std::uint8_t>(r.below(8)), 0, 0});
        }
    }
    out.resize(n);
    return out;
}

// A de Bruijn sequence of order 3 over the given symbols, cut open: every
// string of three symbols appears once at most, so nothing in it can match,
// and the two strings that span its end and its start appear nowhere in it.
Bytes de_bruijn3(const std::vector<std::uint8_t>& symbols) {
    const int k = static_cast<int>(symbols.size());
    std::vector<int> a(4 * k, 0), seq;
    // Lyndon words of length dividing 3, in lexicographic order.
    std::function<void(int, int)> db = [&](int t, int p) {
        if (t > 3) {
            if (3 % p == 0)
                for (int j = 1; j <= p; ++j)
                    seq.push_back(a[j]);
        } else {
            a[t] = a[t - p];
            db(t + 1, p);
            for (int j = a[t - p] + 1; j < k; ++j) {
                a[t] = j;
                db(t + 1, t);
            }
        }
    };
    db(1, 1);
    Bytes out;
    for (int i : seq)
        out.push_back(symbols[i]);
    return out;
}

// A random sequence in which no three bytes repeat, with the given count of
// each byte value, as far as it gets before every way on would repeat.
Bytes no_repeats(std::vector<std::uint32_t> counts, std::uint32_t seed) {
    Random r(seed);
    std::vector<std::uint8_t> bag;
    for (int v = 0; v < 256; ++v)
        bag.insert(bag.end(), counts[v], static_cast<std::uint8_t>(v));
    std::vector<bool> used(1u << 24);
    Bytes out;
    while (!bag.empty()) {
        bool placed = false;
        const std::size_t start = r.below(static_cast<std::uint32_t>(bag.size()));
        for (std::size_t t = 0; t < bag.size() && t < 4096; ++t) {
            const std::size_t i = (start + t * 7919) % bag.size();
            const std::uint8_t c = bag[i];
            if (out.size() >= 2) {
                const std::uint32_t tri = (std::uint32_t(out[out.size() - 2]) << 16) |
                                          (std::uint32_t(out.back()) << 8) | c;
                if (used[tri]) continue;
                used[tri] = true;
            }
            out.push_back(c);
            bag[i] = bag.back();
            bag.pop_back();
            placed = true;
            break;
        }
        if (!placed) break;
    }
    return out;
}
std::vector<std::uint8_t> symbol_range(std::uint8_t first, int count) {
    std::vector<std::uint8_t> v;
    for (int i = 0; i < count; ++i)
        v.push_back(static_cast<std::uint8_t>(first + i));
    return v;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes slice(const Bytes& b, std::size_t from, std::size_t to) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
                 b.begin() + static_cast<std::ptrdiff_t>(to));
}

// ---- A decoder that lists what the encoder chose ----------------------------------------

struct Symbol {
    std::uint32_t position; // in the output
    std::uint32_t length;   // 0: a literal
    std::uint32_t distance;
};

struct Block {
    int type = -1; // 0 stored, 1 fixed, 2 dynamic
    bool last = false;
    std::uint32_t stored_length = 0;
    std::vector<std::uint32_t> distance_lengths; // dynamic: the code lengths of the distance codes
    std::vector<Symbol> symbols;
};

struct Listing {
    bool ok = false;
    std::string problem;
    std::vector<Block> blocks;
    Bytes output;
    std::size_t consumed = 0; // bytes of the stream used

    std::vector<Symbol> matches() const {
        std::vector<Symbol> m;
        for (const Block& b : blocks)
            for (const Symbol& s : b.symbols)
                if (s.length) m.push_back(s);
        return m;
    }
};

// Canonical code from code lengths (RFC 1951 3.2.2), decoded a bit at a time.
struct Canonical {
    std::uint32_t count[16] = {};
    std::vector<std::uint32_t> symbols; // by length, then by value
    bool build(const std::vector<std::uint32_t>& lengths) {
        for (std::uint32_t l : lengths)
            ++count[l];
        count[0] = 0;
        std::int32_t left = 1;
        for (int len = 1; len < 16; ++len) {
            left = left * 2 - static_cast<std::int32_t>(count[len]);
            if (left < 0) return false; // over-subscribed
        }
        for (int len = 1; len < 16; ++len)
            for (std::uint32_t s = 0; s < lengths.size(); ++s)
                if (lengths[s] == static_cast<std::uint32_t>(len)) symbols.push_back(s);
        return true;
    }
};

class Lister {
  public:
    explicit Lister(const Bytes& data) : data_(data) {}

    Listing run() {
        Listing l;
        try {
            bool last = false;
            while (!last) {
                Block b;
                last = b.last = bit() != 0;
                b.type = static_cast<int>(bits(2));
                if (b.type == 0) {
                    pos_bits_ = (pos_bits_ + 7) & ~std::size_t(7);
                    const std::uint32_t len = bits(16), nlen = bits(16);
                    if ((len ^ 0xFFFF) != nlen)
                        throw std::string("stored length and complement differ");
                    b.stored_length = len;
                    for (std::uint32_t i = 0; i < len; ++i)
                        out_.push_back(static_cast<std::uint8_t>(bits(8)));
                } else if (b.type == 1) {
                    std::vector<std::uint32_t> lit(288), dist(30, 5);
                    for (int i = 0; i < 288; ++i)
                        lit[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
                    codes(b, lit, dist);
                } else if (b.type == 2) {
                    dynamic(b);
                } else {
                    throw std::string("block type 3");
                }
                l.blocks.push_back(std::move(b));
            }
            l.ok = true;
        } catch (const std::string& problem) {
            l.problem = problem;
        }
        l.output = out_;
        l.consumed = (pos_bits_ + 7) / 8;
        return l;
    }

  private:
    std::uint32_t bit() {
        if (pos_bits_ / 8 >= data_.size()) throw std::string("stream ends early");
        const std::uint32_t b = (data_[pos_bits_ / 8] >> (pos_bits_ % 8)) & 1;
        ++pos_bits_;
        return b;
    }
    std::uint32_t bits(int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i)
            v |= bit() << i;
        return v;
    }
    std::uint32_t decode(const Canonical& c) {
        std::int32_t code = 0, first = 0, index = 0;
        for (int len = 1; len < 16; ++len) {
            code |= static_cast<std::int32_t>(bit());
            const std::int32_t count = static_cast<std::int32_t>(c.count[len]);
            if (code - count < first)
                return c.symbols[static_cast<std::size_t>(index + (code - first))];
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        throw std::string("invalid code");
    }
    void dynamic(Block& b) {
        static const int order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                      11, 4,  12, 3, 13, 2, 14, 1, 15};
        const std::uint32_t nlen = bits(5) + 257, ndist = bits(5) + 1, ncode = bits(4) + 4;
        std::vector<std::uint32_t> cl(19, 0);
        for (std::uint32_t i = 0; i < ncode; ++i)
            cl[order[i]] = bits(3);
        Canonical clc;
        if (!clc.build(cl)) throw std::string("bad code-length code");
        std::vector<std::uint32_t> lengths;
        while (lengths.size() < nlen + ndist) {
            const std::uint32_t sym = decode(clc);
            if (sym < 16) {
                lengths.push_back(sym);
            } else {
                std::uint32_t repeat, value = 0;
                if (sym == 16) {
                    if (lengths.empty()) throw std::string("repeat without a length");
                    value = lengths.back();
                    repeat = 3 + bits(2);
                } else if (sym == 17) {
                    repeat = 3 + bits(3);
                } else {
                    repeat = 11 + bits(7);
                }
                if (lengths.size() + repeat > nlen + ndist)
                    throw std::string("repeat past the lengths");
                lengths.insert(lengths.end(), repeat, value);
            }
        }
        std::vector<std::uint32_t> lit(lengths.begin(), lengths.begin() + nlen);
        std::vector<std::uint32_t> dist(lengths.begin() + nlen, lengths.end());
        if (lit[256] == 0) throw std::string("no end-of-block code");
        b.distance_lengths = dist;
        codes(b, lit, dist);
    }
    void codes(Block& b, const std::vector<std::uint32_t>& lit,
               const std::vector<std::uint32_t>& dist) {
        static const std::uint32_t lbase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                67, 83, 99, 115, 131, 163, 195, 227, 258};
        static const std::uint32_t lextra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        static const std::uint32_t dbase[30] = {
            1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
            193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
        static const std::uint32_t dextra[30] = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                 4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
        Canonical lc, dc;
        if (!lc.build(lit) || !dc.build(dist)) throw std::string("over-subscribed code");
        for (;;) {
            const std::uint32_t sym = decode(lc);
            const std::uint32_t position = static_cast<std::uint32_t>(out_.size());
            if (sym < 256) {
                out_.push_back(static_cast<std::uint8_t>(sym));
                b.symbols.push_back({position, 0, 0});
                continue;
            }
            if (sym == 256) return;
            if (sym > 285) throw std::string("length code 286 or 287");
            const std::uint32_t length =
                lbase[sym - 257] + bits(static_cast<int>(lextra[sym - 257]));
            const std::uint32_t dsym = decode(dc);
            if (dsym > 29) throw std::string("distance code 30 or 31");
            const std::uint32_t distance = dbase[dsym] + bits(static_cast<int>(dextra[dsym]));
            if (distance > out_.size()) throw std::string("distance before the start");
            for (std::uint32_t i = 0; i < length; ++i)
                out_.push_back(out_[out_.size() - distance]);
            b.symbols.push_back({position, length, distance});
        }
    }

    const Bytes& data_;
    std::size_t pos_bits_ = 0;
    Bytes out_;
};

Listing list_stream(const Bytes& data) {
    return Lister(data).run();
}

// ---- Running the encoder as the add job does ------------------------------------------

struct Deflated {
    int result = -1;
    std::int32_t error = 0;
    std::uint64_t size = 0;
    std::uint32_t method = 0;
    std::uint32_t crc = 0;
    std::uint32_t read = 0;
    std::uint16_t flags = 0, local_flags = 0, internal_attributes = 0;
    Bytes data; // the member data as written
};

// One adding job: the deflate buffers stay allocated across its files.
class DeflateJob {
  public:
    DeflateJob() { EXPECT_EQ(startDeflateJob(z), 0); }
    ~DeflateJob() { release_job(z); }

    // output_dos: where the member data go (default: a file in the job's folder).
    Deflated run(const Bytes& input, std::uint32_t level, const std::string& output_dos = "") {
        Deflated d;
        const std::string out = output_dos.empty() ? dir.dos("out.bin") : output_dos;
        z.input_handle = platform::open_read(dir.write("in.bin", input).c_str());
        z.output_handle = platform::create_file(out.c_str());
        EXPECT_NE(z.input_handle, platform::kInvalidFile);
        EXPECT_NE(z.output_handle, platform::kInvalidFile);
        zentry e;
        e.flags = e.local_flags = 8;
        e.internal_attributes = 65535;
        e.uncompressed_size = static_cast<std::uint32_t>(input.size());
        z.current_entry = &e;
        z.level = level;
        z.method = 8;
        z.add_crc = updateCrc(z, nullptr, 0);
        z.input_bytes_read = 0;
        d.result = deflateFile(z, &d.size);
        d.error = z.error;
        d.method = z.method;
        d.crc = z.add_crc;
        d.read = z.input_bytes_read;
        d.flags = e.flags;
        d.local_flags = e.local_flags;
        d.internal_attributes = e.internal_attributes;
        z.current_entry = nullptr;
        platform::close_file(z.input_handle);
        platform::close_file(z.output_handle);
        z.input_handle = z.output_handle = platform::kInvalidFile;
        if (output_dos.empty()) d.data = test::read_host_file(dir.host("out.bin"));
        return d;
    }

    zip z;
    test::TempDir dir;
};

Deflated deflate_bytes(const Bytes& input, std::uint32_t level) {
    DeflateJob job;
    return job.run(input, level);
}

// The member data give the input back, through inflateMember and through
// the lister, and the sizes and checksum describe it.
void expect_round_trip(const Deflated& d, const Bytes& input, const std::string& what) {
    SCOPED_TRACE(what);
    ASSERT_EQ(d.result, 0);
    ASSERT_EQ(d.error, 0);
    EXPECT_EQ(d.crc, test::crc32_of(input));
    EXPECT_EQ(d.read, input.size());
    ASSERT_EQ(d.size, d.data.size());
    if (d.method == 0) {
        EXPECT_TRUE(d.data == input) << "stored data differ";
        return;
    }
    ASSERT_EQ(d.method, 8u);
    test::RawMemberOptions options;
    options.uncompressed_size = static_cast<std::uint32_t>(input.size());
    const test::Decoded inflated =
        test::decode_raw(d.data, options, [](zip& z) { return inflateMember(z); });
    EXPECT_EQ(inflated.result, 0);
    EXPECT_EQ(inflated.error, 0);
    EXPECT_TRUE(inflated.data == input) << "inflateMember gives other bytes";
    EXPECT_EQ(inflated.crc, test::crc32_of(input));
    const Listing l = list_stream(d.data);
    EXPECT_TRUE(l.ok) << l.problem;
    EXPECT_TRUE(l.output == input) << "the listing gives other bytes";
    EXPECT_EQ(l.consumed, d.data.size()) << "bytes behind the last block";
}

std::string label(const char* what, std::uint32_t level) {
    return std::string(what) + " at level " + std::to_string(level);
}

// ---- Files of every kind at every level --------------------------------------------------

TEST(Deflate, EmptyFileIsStoredWithSizeZeroAtEveryLevel) {
    for (std::uint32_t level = 0; level <= 9; ++level) {
        SCOPED_TRACE(level);
        const Deflated d = deflate_bytes({}, level);
        expect_round_trip(d, {}, label("empty", level));
        EXPECT_EQ(d.method, 0u);
        EXPECT_EQ(d.size, 0u);
        EXPECT_EQ(d.crc, 0u);
        // No literal is binary, so the encoder calls it text; stored at level 0: 0.
        EXPECT_EQ(d.internal_attributes, level == 0 ? 0 : 1);
    }
}

TEST(Deflate, OptionFlagsFourAtLevelOneTwoAtLevelNine) {
    for (std::uint32_t level = 0; level <= 9; ++level) {
        const Deflated d = deflate_bytes(text_bytes(3000, level), level);
        const std::uint16_t expected = level == 1 ? 8 + 4 : level == 9 ? 8 + 2 : 8;
        EXPECT_EQ(d.flags, expected) << level;
        EXPECT_EQ(d.local_flags, expected) << level;
    }
}

TEST(Deflate, OneByteFileIsStoredRaw) {
    for (std::uint32_t level = 0; level <= 9; ++level) {
        const Bytes input = {'x'};
        const Deflated d = deflate_bytes(input, level);
        expect_round_trip(d, input, label("one byte", level));
        EXPECT_EQ(d.method, 0u);
        EXPECT_EQ(d.size, 1u);
    }
}

TEST(Deflate, SmallIncompressibleFileIsStoredRaw) {
    const Bytes input = random_bytes(1000, 7);
    for (std::uint32_t level = 0; level <= 9; ++level) {
        const Deflated d = deflate_bytes(input, level);
        expect_round_trip(d, input, label("random 1000", level));
        EXPECT_EQ(d.method, 0u);
        EXPECT_EQ(d.size, 1000u);
        EXPECT_EQ(d.internal_attributes, 0) << level;
    }
}

TEST(Deflate, IncompressibleFileUnder64KiBBecomesStoredBlocksEndingAtTheFlush) {
    // Two blocks, both within the window: the first ends after 32,767
    // symbols (a few chance matches of three bytes make it a little longer),
    // the second is the rest; both stored with a header.
    const Bytes input = random_bytes(60000, 11);
    for (std::uint32_t level = 1; level <= 9; ++level) {
        const Deflated d = deflate_bytes(input, level);
        expect_round_trip(d, input, label("random 60000", level));
        EXPECT_EQ(d.method, 8u);
        const Listing l = list_stream(d.data);
        ASSERT_EQ(l.blocks.size(), 2u) << level;
        EXPECT_EQ(l.blocks[0].type, 0);
        EXPECT_GE(l.blocks[0].stored_length, 32767u);
        EXPECT_LT(l.blocks[0].stored_length, 32767u + 400);
        EXPECT_EQ(l.blocks[1].type, 0);
        EXPECT_EQ(l.blocks[0].stored_length + l.blocks[1].stored_length, 60000u);
        EXPECT_TRUE(l.blocks[1].last);
        EXPECT_EQ(d.size, 60000u + 2 * 5);
    }
}

TEST(Deflate, LargeIncompressibleFileGrowsByLessThanOnePercent) {
    const Bytes input = random_bytes(300000, 12);
    for (std::uint32_t level : {1u, 2u, 3u, 4u, 6u, 9u}) {
        const Deflated d = deflate_bytes(input, level);
        expect_round_trip(d, input, label("random 300000", level));
        EXPECT_EQ(d.method, 8u);
        EXPECT_LT(d.size, input.size() + input.size() / 100) << level;
        // Blocks still in the window are stored; the others (the window slid
        // past their start) are coded, never as matches.
        const Listing l = list_stream(d.data);
        int stored = 0;
        for (const Block& b : l.blocks)
            stored += b.type == 0;
        EXPECT_GE(stored, 1) << level;
        EXPECT_TRUE(l.matches().empty()) << level;
    }
}

TEST(Deflate, TextIsDynamicAndMarkedText) {
    const Bytes input = text_bytes(100000, 3);
    for (std::uint32_t level = 0; level <= 9; ++level) {
        const Deflated d = deflate_bytes(input, level);
        expect_round_trip(d, input, label("text", level));
        if (level == 0) {
            EXPECT_EQ(d.method, 0u);
            EXPECT_EQ(d.internal_attributes, 0);
            continue;
        }
        EXPECT_EQ(d.method, 8u);
        EXPECT_EQ(d.internal_attributes, 1) << level;
        EXPECT_LT(d.size, input.size() / 3) << level;
        for (const Block& b : list_stream(d.data).blocks)
            EXPECT_EQ(b.type, 2) << level;
    }
}

TEST(Deflate, NulRichFileIsMarkedBinary) {
    Bytes input = binary_bytes(50000, 5);
    for (std::uint32_t level = 1; level <= 9; ++level) {
        const Deflated d = deflate_bytes(input, level);
        expect_round_trip(d, input, label("binary", level));
        EXPECT_EQ(d.internal_attributes, 0) << level;
    }
}

TEST(Deflate, TextDecisionCountsBytes7To127AsTextAndNeedsFourTimesTheRest) {
    // Sequences without any repeated three bytes are coded as literals only,
    // each symbol 100 times. Bytes 7 and 127 are text, 6 and 128 binary.
    const std::vector<std::uint8_t> text = {7, 'a', 'b', 'c', 'd', 'e', 'f', 127};
    std::vector<std::uint8_t> equal = text; // 800 text against 200 binary: exactly four times
    equal.push_back(6);
    equal.push_back(128);
    std::vector<std::uint8_t> less = text; // 700 against 300
    less.pop_back();
    less.push_back(6);
    less.push_back(128);
    less.push_back(0);
    for (std::uint32_t level = 1; level <= 9; ++level) {
        const Bytes as_text = de_bruijn3(equal), as_binary = de_bruijn3(less);
        ASSERT_EQ(as_text.size(), 1000u);
        const Deflated t = deflate_bytes(as_text, level), b = deflate_bytes(as_binary, level);
        expect_round_trip(t, as_text, label("text edge", level));
        expect_round_trip(b, as_binary, label("binary edge", level));
        EXPECT_TRUE(list_stream(t.data).matches().empty());
        EXPECT_EQ(t.internal_attributes, 1) << level;
        EXPECT_EQ(b.internal_attributes, 0) << level;
    }
}

TEST(Deflate, RunsGiveMatchesOf258AtDistanceOne) {
    const Bytes input(200000, 'z');
    for (std::uint32_t level = 1; level <= 9; ++level) {
        const Deflated d = deflate_bytes(input, level);
        expect_round_trip(d, input, label("one byte repeated", level));
        const auto matches = list_stream(d.data).matches();
        ASSERT_FALSE(matches.empty());
        std::size_t long_ones = 0;
        // The first match copies the byte before it; later ones may reach
        // back to where an earlier match started.
        EXPECT_EQ(matches.front().distance, 1u);
        for (const Symbol& m : matches) {
            EXPECT_LE(m.distance, 258u);
            long_ones += m.length == 258;
        }
        EXPECT_GE(long_ones, input.size() / 258 - 2) << level;
        EXPECT_LT(d.size, 1000u) << level;
    }
    const Bytes runs = run_bytes(300000, 9);
    for (std::uint32_t level = 1; level <= 9; ++level)
        expect_round_trip(deflate_bytes(runs, level), runs, label("runs", level));
}

TEST(Deflate, FarthestDistanceIs32506) {
    // A random block repeated at once: a period of 32,506 bytes is matched
    // at that distance, one byte more is out of reach.
    for (std::uint32_t period : {32506u, 32507u}) {
        const Bytes block = random_bytes(period, 21);
        const Bytes input = concat({block, slice(block, 0, 20000)});
        for (std::uint32_t level : {1u, 3u, 4u, 6u, 9u}) {
            const Deflated d = deflate_bytes(input, level);
            expect_round_trip(d, input, label("repeat at the window's reach", level));
            const auto matches = list_stream(d.data).matches();
            std::size_t at_period = 0, matched = 0;
            for (const Symbol& m : matches) {
                EXPECT_LE(m.distance, 32506u);
                if (m.distance == period) {
                    ++at_period;
                    matched += m.length;
                }
            }
            if (period == 32506) {
                EXPECT_GT(at_period, 0u) << level;
                EXPECT_GT(matched, 19000u) << level;
            } else {
                EXPECT_EQ(at_period, 0u) << level;
            }
        }
    }
}

TEST(Deflate, SingleDistanceCodeStillGetsTwoCodes) {
    // A sequence without repeated strings, then the same again: every match
    // has distance 4,096, distance code 23.
    const Bytes once = de_bruijn3(symbol_range('a', 16));
    ASSERT_EQ(once.size(), 4096u);
    const Bytes input = concat({once, once});
    for (std::uint32_t level = 1; level <= 9; ++level) {
        const Deflated d = deflate_bytes(input, level);
        expect_round_trip(d, input, label("one distance", level));
        const Listing l = list_stream(d.data);
        ASSERT_EQ(l.blocks.size(), 1u);
        EXPECT_EQ(l.blocks[0].type, 2) << level;
        const auto matches = l.matches();
        ASSERT_FALSE(matches.empty());
        for (const Symbol& m : matches)
            EXPECT_EQ(m.distance, 4096u) << level;
        // The unused code 0 makes the second code of the distance tree.
        std::vector<std::uint32_t> used;
        for (std::uint32_t i = 0; i < l.blocks[0].distance_lengths.size(); ++i)
            if (l.blocks[0].distance_lengths[i]) used.push_back(i);
        EXPECT_EQ(used, (std::vector<std::uint32_t>{0, 23})) << level;
        EXPECT_EQ(l.blocks[0].distance_lengths[0], 1u);
        EXPECT_EQ(l.blocks[0].distance_lengths[23], 1u);
    }
}

TEST(Deflate, LazyLoopDropsThreeByteMatchesFartherThan4096) {
    // Two alphabets that share nothing, each a sequence without repeats; a
    // three-byte piece of the first reappears once, inside the second.
    const Bytes first = de_bruijn3(symbol_range('a', 16));
    const Bytes second = de_bruijn3(symbol_range('A', 16));
    for (std::uint32_t from : {10u, 3500u}) {
        const Bytes input = concat({first, slice(second, 0, 1000), slice(first, from, from + 3),
                                    slice(second, 1000, 2000)});
        const std::uint32_t at = 4096 + 1000, distance = at - from;
        for (std::uint32_t level = 1; level <= 9; ++level) {
            const Deflated d = deflate_bytes(input, level);
            expect_round_trip(d, input, label("three-byte repeat", level));
            const auto matches = list_stream(d.data).matches();
            const bool taken = std::any_of(matches.begin(), matches.end(), [&](const Symbol& m) {
                return m.position == at && m.length == 3 && m.distance == distance;
            });
            const bool expected = level <= 3 || distance <= 4096;
            EXPECT_EQ(taken, expected) << "level " << level << ", distance " << distance;
            EXPECT_LE(matches.size(), 1u) << level;
        }
    }
}

TEST(Deflate, WindowSlidesOverLongFilesOfEveryKind) {
    const Bytes text = text_bytes(400000, 31);
    const Bytes binary = binary_bytes(300000, 32);
    for (std::uint32_t level = 0; level <= 9; ++level) {
        expect_round_trip(deflate_bytes(text, level), text, label("long text", level));
        expect_round_trip(deflate_bytes(binary, level), binary, label("long binary", level));
    }
}

TEST(Deflate, SizesAroundTheWindowAndLookaheadLimits) {
    const Bytes base =
        concat({text_bytes(40000, 41), random_bytes(10000, 42), binary_bytes(90000, 43)});
    for (std::size_t size :
         {2u,     3u,     4u,     257u,   258u,   261u,   262u,   263u,   32767u,  32768u,
          32769u, 65273u, 65274u, 65275u, 65535u, 65536u, 65537u, 98304u, 131072u, 131073u}) {
        const Bytes input = slice(base, 0, size);
        for (std::uint32_t level : {1u, 3u, 4u, 6u, 9u})
            expect_round_trip(deflate_bytes(input, level), input,
                              label(("size " + std::to_string(size)).c_str(), level));
    }
}

TEST(Deflate, OneJobManyFiles) {
    // The state of a file must not leak into the next one.
    DeflateJob job;
    const Bytes files[] = {text_bytes(70000, 51), {},
                           random_bytes(500, 52), binary_bytes(100000, 53),
                           Bytes(3, 'a'),         run_bytes(80000, 54),
                           text_bytes(1000, 55)};
    std::uint32_t level = 0;
    for (int round = 0; round < 2; ++round)
        for (const Bytes& f : files) {
            level = level % 9 + 1;
            const Deflated d = job.run(f, level);
            expect_round_trip(d, f, label("one of many files", level));
            // The same file alone gives the same bytes.
            EXPECT_TRUE(d.data == deflate_bytes(f, level).data) << level;
        }
}

// ---- The bytes themselves ----------------------------------------------------------

// Inputs whose deflate output at each level is frozen below: the sizes and
// CRC-32s of the member data the encoder wrote before its match finder was
// made faster, which are also the bytes Info-ZIP zip writes for these files.
// They exercise what a faster match finder could get wrong without breaking a
// round trip: the chain limits and the nice and good lengths (long chains of
// a four-letter alphabet), matches that reach the 258 maximum or stop one
// short of it (periods of 257 to 259), the farthest distance and the window
// slide (periods of 32,505 to 32,507, a file ending just past the slide).
struct FrozenInput {
    const char* name;
    Bytes (*make)();
    std::uint32_t size[9]; // levels 1 to 9
    std::uint32_t crc[9];
};

Bytes periodic(std::size_t period, std::size_t n, std::uint32_t seed) {
    const Bytes unit = random_bytes(period, seed);
    Bytes out;
    while (out.size() < n)
        out.insert(out.end(), unit.begin(),
                   unit.begin() + static_cast<std::ptrdiff_t>(std::min(period, n - out.size())));
    return out;
}

Bytes four_letters(std::size_t n, std::uint32_t seed) {
    Random r(seed);
    Bytes out(n);
    for (auto& b : out)
        b = "ACGT"[r.below(4)];
    return out;
}

const FrozenInput kFrozen[] = {
    {"text",
     [] { return text_bytes(150000, 61); },
     {39129, 38329, 35000, 34490, 32067, 28845, 28649, 28624, 28624},
     {0xE86A4A84, 0xC39DBD47, 0xCB76EC8F, 0xD7FFB28C, 0x2EF0DCE2, 0x7BDB4B6C, 0x85CD9A3C,
      0x498C6685, 0x498C6685}},
    {"binary",
     [] { return binary_bytes(120000, 62); },
     {79728, 78953, 78364, 76415, 70781, 70306, 70223, 70116, 70038},
     {0xAAF17392, 0x90D7F28D, 0x5F8F1D54, 0xA9444057, 0x66C4C3EE, 0xA76F2E90, 0x46F2CFFE,
      0x4B3C784F, 0xE31DEEC6}},
    {"runs",
     [] { return run_bytes(100000, 63); },
     {1156, 1159, 1153, 806, 780, 779, 777, 775, 775},
     {0xAB8B16B4, 0xC7D17D44, 0xA8E23238, 0xD984DF0D, 0xB8995A4E, 0x05BA626F, 0xCDDFB2E6,
      0xA6C3ECC0, 0xA6C3ECC0}},
    {"four letters",
     [] { return four_letters(20000, 64); },
     {6709, 6417, 6258, 6207, 6129, 6169, 6240, 6258, 6258},
     {0x1149E3CA, 0x7FFF7EC6, 0x6AA361B8, 0x4AA90DB0, 0x2BE9DADC, 0x423A39F1, 0x4CB72BF3,
      0xCFF6DB12, 0xCFF6DB12}},
    {"period 257",
     [] { return periodic(257, 40000, 65); },
     {795, 795, 795, 523, 523, 523, 523, 523, 523},
     {0x324BA74A, 0x324BA74A, 0x324BA74A, 0x0EED055F, 0x0EED055F, 0x0EED055F, 0x0EED055F,
      0x0EED055F, 0x0EED055F}},
    {"period 258",
     [] { return periodic(258, 40000, 66); },
     {523, 523, 523, 523, 523, 523, 523, 523, 523},
     {0x3941F7B7, 0x3941F7B7, 0x3941F7B7, 0x3941F7B7, 0x3941F7B7, 0x3941F7B7, 0x3941F7B7,
      0x3941F7B7, 0x3941F7B7}},
    {"period 259",
     [] { return periodic(259, 40000, 67); },
     {667, 667, 667, 526, 526, 526, 526, 526, 526},
     {0x2477C589, 0x2477C589, 0x2477C589, 0x7A2090DC, 0x7A2090DC, 0x7A2090DC, 0x7A2090DC,
      0x7A2090DC, 0x7A2090DC}},
    {"period 32506",
     [] {
         return concat(
             {periodic(32505, 70000, 68), periodic(32506, 70000, 69), periodic(32507, 70000, 70)});
     },
     {136613, 136612, 136645, 136305, 136305, 136305, 136305, 136305, 136305},
     {0x50A2A035, 0xC81C3837, 0xF1BAD928, 0x8F344515, 0x8F344515, 0x8F344515, 0x8F344515,
      0x8F344515, 0x8F344515}},
    {"past the slide",
     [] {
         return slice(concat({text_bytes(40000, 71), binary_bytes(40000, 72)}), 0, 65275 + 7);
     },
     {28838, 28269, 27149, 26522, 24920, 24067, 24025, 24001, 24002},
     {0x816A566B, 0x8572A752, 0x863AE870, 0x7811474E, 0x03CD8E49, 0xDD3AAB0F, 0x6C6B86A0,
      0x622322EF, 0x9EDCE8AD}},
};

TEST(Deflate, OutputAtEveryLevelIsTheFrozenOne) {
    for (const FrozenInput& f : kFrozen) {
        const Bytes input = f.make();
        for (std::uint32_t level = 1; level <= 9; ++level) {
            const Deflated d = deflate_bytes(input, level);
            SCOPED_TRACE(label(f.name, level));
            ASSERT_EQ(d.result, 0);
            EXPECT_EQ(d.data.size(), f.size[level - 1]);
            EXPECT_EQ(test::crc32_of(d.data), f.crc[level - 1]);
        }
    }
}

// ---- Code lengths ------------------------------------------------------------------

// Lengths of a code: none above max, and the code complete (Kraft sum one).
void expect_complete_code(const TreeNode* tree, int n, int max_length) {
    std::uint64_t sum = 0;
    int used = 0;
    for (int i = 0; i < n; ++i) {
        if (tree[i].len == 0) continue;
        EXPECT_LE(tree[i].len, max_length) << i;
        sum += std::uint64_t(1) << (15 - tree[i].len);
        ++used;
    }
    if (used > 1) {
        EXPECT_EQ(sum, std::uint64_t(1) << 15);
    }
}

class TreeTest : public ::testing::Test {
  protected:
    DeflateState& s() { return *job.z.deflate; }
    DeflateJob job;
};

TEST_F(TreeTest, FibonacciFrequenciesNeedLengthsAbove15AndArePulledBack) {
    clearBlock(s());
    // Frequencies 1, 1, 2, 3, 5, ... make a tree one level deeper per symbol.
    std::uint32_t a = 1, b = 1;
    for (int i = 0; i < 22; ++i) { // the sum stays within 16 bits
        s().dynLitTree[i].freq = static_cast<std::uint16_t>(a);
        const std::uint32_t c = a + b;
        a = b;
        b = c;
    }
    s().dynLitTree[kEndBlock].freq = 0; // a pure chain: no other symbol
    s().optLen = 0;
    const std::uint32_t overflows = s().lengthOverflows;
    std::uint16_t freq[kLitCodes];
    for (int i = 0; i < kLitCodes; ++i)
        freq[i] = s().dynLitTree[i].freq;
    buildTree(s(), s().litDesc);
    EXPECT_EQ(s().lengthOverflows, overflows + 1);
    expect_complete_code(s().dynLitTree, kLitCodes, 15);
    // optLen matches the lengths handed out, and the rarest symbols got the longest codes.
    std::uint32_t bits = 0;
    for (int i = 0; i < kLitCodes; ++i)
        bits += std::uint32_t(freq[i]) * s().dynLitTree[i].len;
    EXPECT_EQ(s().optLen, bits);
    EXPECT_EQ(s().dynLitTree[0].len, 15);
    EXPECT_LE(s().dynLitTree[21].len, 2);
}

TEST_F(TreeTest, CodeLengthCodeIsLimitedTo7) {
    clearBlock(s());
    std::uint32_t a = 1, b = 1;
    for (int i = 0; i < kBlCodes; ++i) {
        s().blTree[i].freq = static_cast<std::uint16_t>(a);
        const std::uint32_t c = a + b;
        a = b;
        b = c;
    }
    buildTree(s(), s().blDesc);
    expect_complete_code(s().blTree, kBlCodes, 7);
}

TEST_F(TreeTest, OneOrNoSymbolGetsTwoCodesOfLengthOne) {
    clearBlock(s());
    s().dynDistTree[23].freq = 40;
    buildTree(s(), s().distDesc);
    EXPECT_EQ(s().distDesc.maxCode, 23);
    EXPECT_EQ(s().dynDistTree[0].len, 1);
    EXPECT_EQ(s().dynDistTree[23].len, 1);
    clearBlock(s());
    buildTree(s(), s().distDesc);
    EXPECT_EQ(s().distDesc.maxCode, 1);
    EXPECT_EQ(s().dynDistTree[0].len, 1);
    EXPECT_EQ(s().dynDistTree[1].len, 1);
    clearBlock(s());
}

TEST(Deflate, SkewedLiteralsPullCodeLengthsBackInARealFile) {
    // 32 common byte values, 843 times each, and 12 rare ones with the
    // counts 1, 2, 3, 5, ... 233 (the end-of-block code is the second 1), in
    // an order without repeated strings: a block of literals only, whose
    // rarest symbols sit 12 levels below a node that weighs about as much as
    // one common byte, which is itself 5 or 6 levels deep.
    std::vector<std::uint32_t> counts(256);
    for (int v = 0; v < 32; ++v)
        counts[48 + v] = 843;
    std::uint32_t a = 1, b = 2;
    for (int i = 0; i < 12; ++i) {
        counts[200 + i] = a;
        const std::uint32_t c = a + b;
        a = b;
        b = c;
    }
    const Bytes input = no_repeats(counts, 77);
    std::vector<std::uint32_t> got(256);
    for (std::uint8_t v : input)
        ++got[v];
    for (int v = 0; v < 256; ++v) {
        // The walk may end a few common bytes early, never short of a rare one.
        if (v >= 200) {
            ASSERT_EQ(got[v], counts[v]) << v;
        }
        ASSERT_GE(got[v] + 10, counts[v]) << v;
    }
    for (std::uint32_t level = 1; level <= 9; ++level) {
        DeflateJob job;
        const Deflated d = job.run(input, level);
        expect_round_trip(d, input, label("skewed literals", level));
        EXPECT_EQ(d.method, 8u);
        EXPECT_TRUE(list_stream(d.data).matches().empty()) << level;
        EXPECT_EQ(job.z.deflate->lengthOverflows, 1u) << level;
    }
}

// ---- Blocks and the bit writer -------------------------------------------------------

TEST_F(TreeTest, RecordSymbolEndsBlocksEarlyAbove2AndAt32767) {
    // 4,096 literals that stand for much more input end a block from level 3 on.
    for (std::uint32_t level : {2u, 3u}) {
        clearBlock(s());
        s().level = level;
        int asked = 0;
        for (int i = 0; i < 4096; ++i)
            asked = recordSymbol(job.z, 0, 'a', 20000);
        EXPECT_EQ(asked, level > 2 ? 1 : 0) << level;
    }
    // Not when the input is short of twice the estimate.
    clearBlock(s());
    s().level = 6;
    int asked = 0;
    for (int i = 0; i < 4096; ++i)
        asked = recordSymbol(job.z, 0, 'a', 8000);
    EXPECT_EQ(asked, 0);
    clearBlock(s());
    s().level = 1;
    for (std::uint32_t i = 1; i <= kMaxBlockSymbols; ++i) {
        asked = recordSymbol(job.z, i % 3 == 0 ? 100 : 0, 5, i * 4);
        if (i < kMaxBlockSymbols) {
            ASSERT_EQ(asked, 0) << i;
        }
    }
    EXPECT_EQ(asked, 1);
    // With an error pending nothing is recorded.
    clearBlock(s());
    job.z.error = ZERR_CANCEL;
    EXPECT_EQ(recordSymbol(job.z, 0, 'a', 1), 0);
    EXPECT_EQ(s().lastLit, 0u);
    job.z.error = 0;
}

TEST_F(TreeTest, BitWriterWritesTheBufferAt65534BytesAndKeepsTheLastByteAt65535) {
    zip& z = job.z;
    z.output_handle = platform::create_file(job.dir.dos("bits.bin").c_str());
    ASSERT_NE(z.output_handle, platform::kInvalidFile);
    s().biBuf = 0;
    s().biValid = 0;
    s().outBufCount = 0;
    // Sixteen bits at a time: the first 16 wait, each later call moves two bytes out.
    for (int i = 0; i < 32768; ++i)
        putBits(z, static_cast<std::uint32_t>(i) & 0xFFFF, 16);
    EXPECT_EQ(s().outBufCount, 65534u);
    EXPECT_EQ(s().biValid, 16);
    EXPECT_TRUE(test::read_host_file(job.dir.host("bits.bin")).empty());
    putBits(z, 0xBEEF, 16); // no room for two more: the 65,534 bytes are written
    EXPECT_EQ(s().outBufCount, 2u);
    EXPECT_EQ(test::read_host_file(job.dir.host("bits.bin")).size(), 65534u);
    windUp(z);
    Bytes written = test::read_host_file(job.dir.host("bits.bin"));
    ASSERT_EQ(written.size(), 65538u);
    for (int i = 0; i < 32768; ++i) {
        ASSERT_EQ(written[2 * i], i & 0xFF);
        ASSERT_EQ(written[2 * i + 1], (i >> 8) & 0xFF);
    }
    EXPECT_EQ(written[65536], 0xEF);
    EXPECT_EQ(written[65537], 0xBE);

    // One byte still fits behind 65,534.
    platform::close_file(z.output_handle);
    z.output_handle = platform::create_file(job.dir.dos("byte.bin").c_str());
    for (int i = 0; i < 32767; ++i)
        putBits(z, 0x4241, 16);
    putBits(z, 0x43, 8);
    EXPECT_EQ(s().outBufCount, 65534u);
    EXPECT_EQ(s().biValid, 8);
    windUp(z);
    written = test::read_host_file(job.dir.host("byte.bin"));
    ASSERT_EQ(written.size(), 65535u);
    EXPECT_EQ(written[65533], 0x42);
    EXPECT_EQ(written[65534], 0x43);
    platform::close_file(z.output_handle);
    z.output_handle = platform::kInvalidFile;
}

TEST(Deflate, WithoutAnOutputFileTheDataStayInTheBufferUpTo65535Bytes) {
    DeflateJob job;
    zip& z = job.z;
    const Bytes text = text_bytes(50000, 61);
    z.input_handle = platform::open_read(job.dir.write("in.bin", text).c_str());
    updateCrc(z, nullptr, 0);
    z.input_bytes_read = 0;
    z.level = 6;
    std::uint64_t size = 0;
    EXPECT_EQ(deflateFile(z, &size), 0);
    platform::close_file(z.input_handle);
    ASSERT_EQ(size, z.deflate->outBufCount);
    const Bytes data(z.deflate->outBuf, z.deflate->outBuf + size);
    const Listing l = list_stream(data);
    EXPECT_TRUE(l.ok) << l.problem;
    EXPECT_TRUE(l.output == text);

    // Random data do not fit: the last stored block finds no room.
    const Bytes noise = random_bytes(70000, 62);
    z.input_handle = platform::open_read(job.dir.write("noise.bin", noise).c_str());
    updateCrc(z, nullptr, 0);
    z.input_bytes_read = 0;
    EXPECT_EQ(deflateFile(z, &size), ZERR_MEMORY);
    platform::close_file(z.input_handle);
    z.input_handle = platform::kInvalidFile;
}

// ---- Cancel, write failures, misuse ----------------------------------------------------

// Presses Cancel at the given FileProgress call, as the dialog does: by
// setting the engine's error.
class CancellingProgress : public test::RecordingProgress {
  public:
    CancellingProgress(std::int32_t* error, int at) : error_(error), at_(at) {}
    void FileProgress(std::uint64_t total, std::uint64_t done) override {
        test::RecordingProgress::FileProgress(total, done);
        totals.push_back(total);
        dones.push_back(done);
        if (static_cast<int>(dones.size()) == at_) *error_ = ZERR_CANCEL;
    }
    std::vector<std::uint32_t> totals, dones;

  private:
    std::int32_t* error_;
    int at_;
};

TEST(Deflate, ProgressAfterEveryRefillAndCancelStopsTheEncoder) {
    const Bytes input = text_bytes(1000000, 71);
    for (std::uint32_t level : {0u, 1u, 6u, 9u}) {
        SCOPED_TRACE(level);
        {
            DeflateJob job;
            CancellingProgress progress(&job.z.error, 0);
            job.z.progress = &progress;
            const Deflated d = job.run(input, level);
            expect_round_trip(d, input, label("with progress", level));
            ASSERT_GE(progress.dones.size(), 10u);
            for (std::size_t i = 0; i < progress.dones.size(); ++i) {
                EXPECT_EQ(progress.totals[i], input.size());
                if (i) {
                    EXPECT_GE(progress.dones[i], progress.dones[i - 1]);
                }
            }
            EXPECT_EQ(progress.dones.back(), input.size());
        }
        DeflateJob job;
        CancellingProgress progress(&job.z.error, 3);
        job.z.progress = &progress;
        const Deflated d = job.run(input, level);
        EXPECT_EQ(d.result, ZERR_CANCEL);
        EXPECT_EQ(d.error, ZERR_CANCEL);
        // No read after the one that saw Cancel.
        EXPECT_EQ(progress.dones.size(), 3u);
        EXPECT_EQ(d.read, progress.dones.back());
        EXPECT_LT(d.read, input.size());
    }
}

TEST(Deflate, FullDiskGivesTheMappedWriteError) {
    test::TempDir disk;
    platform::DriveMount m;
    m.host_folder = disk.host();
    m.type = platform::kDriveFixed;
    m.capacity = 20000;
    if (!platform::mount_drive('H', m))
        GTEST_SKIP() << "simulated drives exist only in the posix build";
    const Bytes input = random_bytes(400000, 81);
    const Bytes text = text_bytes(600000, 82);
    for (std::uint32_t level : {0u, 1u, 6u, 9u}) {
        for (const Bytes* data : {&input, &text}) {
            DeflateJob job;
            const Deflated d = job.run(*data, level, "H:\\member.bin");
            EXPECT_EQ(d.result, ZERR_DISKFULL) << level;
            EXPECT_EQ(d.error, ZERR_DISKFULL) << level;
            // The encoder stops soon after the failed write.
            EXPECT_LT(d.read, data->size()) << level;
            platform::delete_file("H:\\member.bin");
        }
    }
    platform::unmount_drive('H');
}

TEST(Deflate, WithoutStartDeflateJobTheResultIsALogicError) {
    zip z;
    std::uint64_t size = 99;
    EXPECT_EQ(deflateFile(z, &size), ZERR_LOGIC);
    EXPECT_EQ(size, 0u);
    // An error already pending: nothing is done.
    DeflateJob job;
    job.z.error = ZERR_CANCEL;
    EXPECT_EQ(deflateFile(job.z, &size), ZERR_CANCEL);
    EXPECT_EQ(size, 0u);
}

TEST(Deflate, ReleaseFreesTheJobsBuffers) {
    zip z;
    ASSERT_EQ(startDeflateJob(z), 0);
    EXPECT_TRUE(z.deflate && z.window && z.crc_table);
    releaseDeflateJob(z);
    EXPECT_FALSE(z.deflate);
    EXPECT_FALSE(z.window);
    ASSERT_EQ(startDeflateJob(z), 0);
    release_job(z);
    EXPECT_FALSE(z.deflate);
}

TEST(Deflate, LevelAbove9CountsAs9) {
    const Bytes input = text_bytes(20000, 91);
    const Deflated nine = deflate_bytes(input, 9), more = deflate_bytes(input, 12);
    expect_round_trip(more, input, "level 12");
    EXPECT_TRUE(more.data == nine.data);
    EXPECT_EQ(more.flags, nine.flags);
}

} // namespace
