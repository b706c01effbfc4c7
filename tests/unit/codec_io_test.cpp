#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "codec/bitio.h"
#include "codec/crc32.h"
#include "ops/drives.h"
#include "test_support.h"
#include "zip/zip.h"

namespace {

TEST(Crc32, KnownValuesAndRunningChecksum) {
    zip z;
    ASSERT_EQ(makeCrcTable(z), 0);
    EXPECT_EQ(z.crc_table[0], 0u);
    EXPECT_EQ(z.crc_table[1], 0x77073096u);
    EXPECT_EQ(updateCrc(z, nullptr, 0), 0u);
    EXPECT_EQ(updateCrc(z, reinterpret_cast<const std::uint8_t*>(""), 0), 0u); // no bytes: 0
    const char* digits = "123456789";
    EXPECT_EQ(updateCrc(z, reinterpret_cast<const std::uint8_t*>(digits), 4), test::crc32_of({'1', '2', '3', '4'}));
    EXPECT_EQ(updateCrc(z, reinterpret_cast<const std::uint8_t*>(digits + 4), 5), 0xCBF43926u);
    updateCrc(z, nullptr, 0);
    EXPECT_EQ(updateCrc(z, reinterpret_cast<const std::uint8_t*>(digits), 9), 0xCBF43926u);
}

TEST(Crc32, LongRunsMatchTheBytewiseDefinition) {
    zip z;
    ASSERT_EQ(makeCrcTable(z), 0);
    test::Bytes data(100003);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 131 + (i >> 9));
    // Lengths around the 16- and 64-byte steps of the folding path and the
    // 8-byte steps of the sliced one, at every alignment: the dispatched and
    // the portable checksum must both agree with the bitwise definition.
    for (std::size_t offset = 0; offset < 16; ++offset) {
        for (std::size_t len : {0u, 1u, 7u, 8u, 15u, 16u, 17u, 63u, 64u, 65u, 79u, 80u, 127u, 128u, 129u,
                                1000u, 4099u, 99987u}) {
            const std::uint8_t* p = data.data() + offset;
            const std::uint32_t expected = test::crc32_of(test::Bytes(p, p + len));
            EXPECT_EQ(~foldCrc(z.crc_table.get(), 0xFFFFFFFFu, p, len), expected) << offset << " " << len;
            EXPECT_EQ(~foldCrcPortable(0xFFFFFFFFu, p, len), expected) << offset << " " << len;
        }
    }
}

TEST(Crc32, RunningValueCarriesAcrossLongPieces) {
    test::Bytes data(70001);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>((i * 7919) >> 3);
    const std::uint32_t whole = test::crc32_of(data);
    // Pieces long enough for the folding path, split at odd places, so the
    // running value enters it non-trivially every time.
    for (std::size_t piece : {64u, 100u, 333u, 4096u, 65537u}) {
        std::uint32_t c = 0xFFFFFFFFu;
        for (std::size_t at = 0; at < data.size(); at += piece)
            c = foldCrc(crc32_table(), c, data.data() + at, std::min(piece, data.size() - at));
        EXPECT_EQ(~c, whole) << piece;
    }
}

// Sets the engine up to read `bytes` as one member's compressed data.
struct MemberInput {
    test::TempDir dir;
    zip z;
    explicit MemberInput(const test::Bytes& bytes, std::uint32_t compressed_size) {
        platform::copy_bounded(z.archive_path, sizeof z.archive_path, dir.write("m.bin", bytes).c_str());
        EXPECT_EQ(open_archive_input(z), 0);
        z.input_buffer = allocate_buffer(z, kInputBufferSize);
        z.compressed_left = compressed_size;
    }
    ~MemberInput() { release_job(z); }
};

TEST(ByteFetch, StopsAtTheCompressedSizeAndWraps) {
    MemberInput in({10, 20, 30}, 2);
    EXPECT_EQ(fetchByte(in.z), 10u);
    EXPECT_EQ(fetchByte(in.z), 20u);
    EXPECT_EQ(fetchByte(in.z), 0xFFFFFFFFu); // the member's bytes are used up
    EXPECT_EQ(in.z.compressed_left, ~std::uint64_t(0));
    in.z.error = ZERR_CANCEL;
    EXPECT_EQ(fetchByte(in.z), 0u); // with an error pending nothing is consumed
    EXPECT_EQ(in.z.compressed_left, ~std::uint64_t(0));
}

TEST(ByteFetch, ZeroCompressedSizeGivesMinusOneAtOnce) {
    MemberInput in({1, 2, 3}, 0);
    EXPECT_EQ(fetchByte(in.z), 0xFFFFFFFFu);
    EXPECT_EQ(in.z.compressed_left, ~std::uint64_t(0));
}

TEST(ByteFetch, EndOfFileInsideTheMemberGivesMinusOne) {
    test::Bytes bytes(8192 + 5, 0x5A);
    MemberInput in(bytes, 100000);
    for (std::size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(fetchByte(in.z), 0x5Au) << i;
    EXPECT_EQ(fetchByte(in.z), 0xFFFFFFFFu);
}

TEST(BitReader, NeedAndDropLsbFirst) {
    MemberInput in({0xA5, 0x3C}, 2);
    BitReader br{0, 0};
    br.need(in.z, 3);
    EXPECT_EQ(br.count, 8u);
    EXPECT_EQ(br.peek(3), 0x5u);
    br.drop(in.z, 3);
    br.need(in.z, 9);
    EXPECT_EQ(br.peek(9), ((0xA5u >> 3) | (0x3Cu << 5)) & 0x1FF);
    br.drop(in.z, 9);
    br.need(in.z, 8); // past the end: a -1 byte sets every bit above the 4 left
    EXPECT_EQ(br.peek(8), 0xF3u);
    in.z.error = 3;
    std::uint32_t before = br.buf;
    br.drop(in.z, 4);
    EXPECT_EQ(br.buf, before); // stands still with an error pending
}

TEST(FlushOutput, MemoryTargetKeepsTheFirstCapacityBytes) {
    zip z;
    ASSERT_EQ(makeCrcTable(z), 0);
    std::uint8_t target[10] = {};
    z.to_memory = 1;
    z.memory_target = target;
    z.memory_capacity = 8;
    z.extract_crc = 0xFFFFFFFFu;
    const std::uint8_t data[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    flushOutput(z, data, 5);
    EXPECT_EQ(z.error, 0);
    flushOutput(z, data + 5, 7);
    EXPECT_EQ(z.error, ZERR_TOOLARGE);
    EXPECT_EQ(z.output_count, 8u);
    EXPECT_EQ(std::memcmp(target, data, 8), 0);
    EXPECT_EQ(target[8], 0);
    // The checksum covers every byte handed over, also those that did not fit.
    EXPECT_EQ(~z.extract_crc, test::crc32_of(test::Bytes(data, data + 12)));
    flushOutput(z, data, 3); // after the error only the checksum moves
    EXPECT_EQ(z.output_count, 8u);
}

TEST(FlushOutput, WritesCountsAndReportsProgress) {
    test::TempDir dir;
    zip z;
    ASSERT_EQ(makeCrcTable(z), 0);
    test::RecordingProgress progress;
    z.progress = &progress;
    z.uncompressed_size = 6;
    z.output_handle = platform::create_file(dir.dos("out.bin").c_str());
    ASSERT_NE(z.output_handle, platform::kInvalidFile);
    const std::uint8_t data[6] = {'a', 'b', 'c', 'd', 'e', 'f'};
    flushOutput(z, data, 4);
    flushOutput(z, data + 4, 0); // nothing to write: no call
    flushOutput(z, data + 4, 2);
    release_job(z);
    EXPECT_EQ(z.output_count, 6u);
    EXPECT_EQ(test::read_host_file(dir.host("out.bin")), test::Bytes(data, data + 6));
    ASSERT_EQ(progress.calls.size(), 2u);
    EXPECT_EQ(progress.calls[0], "FileProgress:6:4");
    EXPECT_EQ(progress.calls[1], "FileProgress:6:6");
}

TEST(FlushOutput, FailedWriteIsDiskFullAndStillCounted) {
    test::TempDir dir;
    platform::DriveMount m;
    m.host_folder = dir.host();
    m.type = platform::kDriveFixed;
    m.capacity = 100;
    if (!platform::mount_drive('F', m)) GTEST_SKIP() << "simulated drives exist only in the posix build";
    zip z;
    ASSERT_EQ(makeCrcTable(z), 0);
    z.output_handle = platform::create_file("F:\\out.bin");
    ASSERT_NE(z.output_handle, platform::kInvalidFile);
    test::Bytes data(150, 'x');
    flushOutput(z, data.data(), 150);
    EXPECT_EQ(z.error, ZERR_DISKFULL);
    EXPECT_EQ(z.output_count, 150u);
    release_job(z);
    platform::unmount_drive('F');
}

} // namespace
