// Unshrink: hand-made code streams for each rule of the dictionary (the code
// defined in the step that uses it, partial clearing, wider codes, ignored
// escapes), damaged streams that must end quietly, and every shrunk member of
// the fixture archives against its manifest line and its original bytes.
#include <gtest/gtest.h>

#include <string>

#include "codec/unshrink.h"
#include "decoder_rig.h"

namespace {

using test::Bytes;

// Writes codes LSB-first at the current code size, as a shrinking encoder does.
class CodeWriter {
  public:
    CodeWriter& code(std::uint32_t c) {
        bits_.put(c, size_);
        return *this;
    }
    CodeWriter& text(const std::string& s) {
        for (unsigned char ch : s)
            code(ch);
        return *this;
    }
    CodeWriter& widen() {
        code(256).code(1);
        ++size_;
        return *this;
    }
    CodeWriter& clear() { return code(256).code(2); }
    const Bytes& bytes() { return bits_.bytes(); }

  private:
    test::BitWriter bits_;
    unsigned size_ = 9;
};

test::Decoded unshrink(const Bytes& data, std::uint32_t compressed_size = 0xFFFFFFFFu,
                       std::uint32_t capacity = 0xFFFFFFFFu) {
    test::RawMemberOptions o;
    o.uncompressed_size = 1000;
    o.compressed_size = compressed_size;
    o.capacity = capacity;
    return test::decode_raw(data, o, [](zip& z) { return unshrinkMember(z); });
}

std::string text(const test::Decoded& d) {
    return std::string(d.data.begin(), d.data.end());
}

TEST(Unshrink, LiteralsOnly) {
    CodeWriter w;
    auto d = unshrink(w.text("hello").bytes());
    EXPECT_EQ(d.result, 0);
    EXPECT_EQ(d.error, 0);
    EXPECT_EQ(text(d), "hello");
    EXPECT_EQ(d.crc, test::crc32_of(d.data));
    EXPECT_TRUE(d.window_present); // given back for the next member
}

// The code read is the one this very step defines: previous string plus its first byte.
TEST(Unshrink, FreeCodeIsPreviousStringPlusItsFirstByte) {
    CodeWriter w;
    w.code('a').code(257).code(258); // a, aa (257 = a+a), aaa (258 = aa+a)
    auto d = unshrink(w.bytes());
    EXPECT_EQ(d.error, 0);
    EXPECT_EQ(text(d), "aaaaaa");

    CodeWriter v;                     // the same on a longer previous string
    v.text("ab").code(257).code(259); // ab, then 259 = ab + a
    EXPECT_EQ(text(unshrink(v.bytes())), "ababab"
                                         "a");
}

// 257 = ab, 258 = bc, 259 = ca, 260 = ab+x. The clear keeps 257 (prefix of
// 260) and frees 258 to 260; the next entry takes 258, the lowest freed code.
TEST(Unshrink, PartialClearFreesLeavesAndReusesTheLowestFreedCode) {
    CodeWriter w;
    w.text("abc").code(257).text("x").clear().text("y").code(258).code(257);
    auto d = unshrink(w.bytes());
    EXPECT_EQ(d.error, 0);
    // 258 is now x+y; had it stayed free it would have decoded as "yy".
    EXPECT_EQ(text(d), "abcabxyxyab");
}

TEST(Unshrink, WidenReadsTheFollowingCodesOneBitWider) {
    CodeWriter w;
    w.text("hi").widen().text("j").code(257).widen().code(258).code(259);
    auto d = unshrink(w.bytes());
    EXPECT_EQ(d.error, 0);
    // 257 = hi, 258 = ij, 259 = jh (j then 257)
    EXPECT_EQ(text(d), "hijhiijjh");
}

TEST(Unshrink, EscapeWithAnyOtherValueChangesNothing) {
    for (std::uint32_t other : {0u, 3u, 4u, 255u, 256u, 511u}) {
        CodeWriter w;
        w.text("hi").code(256).code(other).text("j").code(257);
        auto d = unshrink(w.bytes());
        EXPECT_EQ(d.error, 0) << other;
        EXPECT_EQ(text(d), "hijhi") << other;
    }
}

TEST(Unshrink, NoCompressedDataGivesNoOutputAndNoError) {
    auto d = unshrink({});
    EXPECT_EQ(d.result, 0);
    EXPECT_EQ(d.error, 0);
    EXPECT_TRUE(d.data.empty());
    EXPECT_EQ(d.crc, 0u);
    EXPECT_TRUE(d.window_present);
}

// Four widenings reach 13 bits; a fifth would outgrow the tables. The member
// ends there, as bad data for the CRC check to report, not as a crash.
TEST(Unshrink, WideningBeyondThirteenBitsEndsTheMember) {
    CodeWriter w;
    w.text("a").widen().widen().widen().widen().text("b");
    w.code(256).code(1).text("cdef"); // asks for 14 bits
    auto d = unshrink(w.bytes());
    EXPECT_EQ(d.result, 0);
    EXPECT_EQ(d.error, 0);
    EXPECT_EQ(text(d), "ab");
    EXPECT_NE(d.compressed_left, 0u); // the rest was not read
}

// After a clear frees 257 while it is the previous code, the next entry
// takes 257 with itself as prefix: a loop, cut off at the stack size.
TEST(Unshrink, LoopingPrefixChainEndsTheMember) {
    CodeWriter w;
    w.text("ab").code(257).clear().text("c").code(257).text("zzz");
    auto d = unshrink(w.bytes());
    EXPECT_EQ(d.error, 0);
    EXPECT_EQ(text(d), "ababc");
    EXPECT_TRUE(d.window_present);
}

TEST(Unshrink, CodeCutShortByTheEndOfTheDataIsNotDecoded) {
    CodeWriter w;
    Bytes data = w.text("ab").bytes(); // 18 bits in 3 bytes
    auto d = unshrink(data, 2);        // the second code lacks two bits
    EXPECT_EQ(d.error, 0);
    EXPECT_EQ(text(d), "a");
}

TEST(Unshrink, ArchiveFileEndingInsideTheMemberIsErrorMinusOne) {
    CodeWriter w;
    Bytes data = w.text("abc").bytes();
    auto d = unshrink(data, static_cast<std::uint32_t>(data.size()) + 10);
    EXPECT_EQ(d.error, -1);
    EXPECT_EQ(d.result, -1);
    EXPECT_TRUE(d.window_present);
}

TEST(Unshrink, RunsLongerThanTheBufferAreFlushedInPieces) {
    // Ever longer runs of one byte: 1 + 2 + ... + n bytes from n codes.
    CodeWriter w;
    w.code('q');
    std::uint32_t next = 257, size = 9, total = 1;
    for (std::uint32_t i = 0; i < 2000; ++i) {
        if (next == (1u << size)) {
            w.widen();
            ++size;
        }
        w.code(next++);
        total += i + 2;
    }
    auto d = unshrink(w.bytes(), 0xFFFFFFFFu, total + 10);
    EXPECT_EQ(d.error, 0);
    ASSERT_EQ(d.data.size(), total);
    EXPECT_EQ(d.data, Bytes(total, 'q'));
    EXPECT_EQ(d.crc, test::crc32_of(d.data));
}

TEST(Unshrink, FullMemoryTargetStopsDecoding) {
    CodeWriter w;
    w.code('q');
    for (std::uint32_t c = 257; c < 511; ++c)
        w.code(c);
    auto d = unshrink(w.bytes(), 0xFFFFFFFFu, 1000);
    EXPECT_EQ(d.error, ZERR_TOOLARGE);
    EXPECT_EQ(d.data.size(), 1000u);
    EXPECT_TRUE(d.window_present);
}

// Every shrunk member of the fixtures: size and CRC as listed, bytes as the originals.
void check_archive(const std::string& archive, int expected_members) {
    auto manifest = test::manifest_members(archive);
    int n = test::decode_fixture(
        archive, 1, [](zip& z) { return unshrinkMember(z); },
        [&](const zentry& e, const test::Decoded& d) {
            SCOPED_TRACE(archive + " " + e.name);
            const test::ManifestMember* m = nullptr;
            for (const auto& line : manifest)
                if (line.name == e.name) m = &line;
            ASSERT_NE(m, nullptr);
            EXPECT_EQ(d.result, 0);
            EXPECT_EQ(d.error, 0);
            EXPECT_EQ(d.data.size(), m->uncompressed_size);
            EXPECT_EQ(d.crc, m->crc);
            EXPECT_EQ(d.data, test::read_host_file(
                                  test::data_host_path("zip/expected/" + archive + "/" + e.name)));
            EXPECT_TRUE(d.window_present);
        });
    EXPECT_EQ(n, expected_members);
}

TEST(Unshrink, FixtureHwShrink) {
    check_archive("hw_shrink.zip", 5);
}
TEST(Unshrink, FixtureHwShrinkEdge) {
    check_archive("hw_shrink_edge.zip", 4);
}
TEST(Unshrink, FixtureMixedMethods) {
    check_archive("mixed_methods.zip", 3);
}

} // namespace
