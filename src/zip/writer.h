// The records of an archive as this program writes them: local headers,
// raw copies of existing members, the central directory and the end record,
// and the in-place change of the archive comment. Every writer does nothing
// while the engine's error is set, turns a failed write into an engine error,
// and adds what it wrote to the output position.
//
// Records and copies collect in an output buffer that leaves in large
// writes; write_local_header and write_end_record end with it written out,
// and rewrite_local_header writes it out before it seeks. A job that writes
// the output by other means, seeks, reads it back or closes it in between
// calls flush_output first; a job that fails simply drops what waits.
#pragma once

#include <cstdint>

#include "platform/platform.h"

struct zip;
struct zlist;
struct zentry;

void write_local_header(zip& z, zentry& e);
// Writes the local header again over the first one (final CRC, sizes, flags)
// and returns to the output position. Not for spanned output.
void rewrite_local_header(zip& z, const zentry& e);
void write_central_directory(zip& z, zlist& list);
void write_end_record(zip& z, zlist& list);
// Copies the bytes in front of the first member (a self-extractor's stub).
void copy_preamble(zip& z, platform::FileHandle old_archive, platform::FileHandle new_archive,
                   std::uint64_t length);
// Copies one member unchanged (header, name, local extra, data and a data
// descriptor when it has one) and moves its local header offset to the copy.
void copy_entry(zip& z, zentry& e, platform::FileHandle old_archive, platform::FileHandle new_archive);
// Writes out what waits in the output buffer; a failed write becomes the
// engine's error, and nothing is written while one is set.
void flush_output(zip& z);

// Puts the finished temporary archive in the place of the archive. The new
// archive is first brought into the archive's own folder and then renamed
// over the old one in one step, so the archive path holds the complete old or
// the complete new archive at every moment. 0, 15 when the old archive cannot
// be replaced, 18 when the new one cannot be brought next to it. On failure
// *left_at names where the new archive now is (kept out of the work folder
// whenever it could be placed beside the archive).
int replace_archive(zip& z, const char* archive_path, const char* temporary_path,
                    char (&left_at)[platform::kMaxPath]);

int set_comment(zip& z, zlist& list, const char* text, std::uint32_t length);
int delete_comment(zip& z, zlist& list);

// A size or offset of this value or more is written in a ZIP64 block, its
// 32-bit field holding this marker.
constexpr std::uint32_t kZip64Marker = 0xFFFFFFFFu;
// The ZIP64 block of a local header: id, size and the two 64-bit sizes.
constexpr std::uint32_t kLocalZip64Size = 20;
// The largest disk of a spanned set: its offsets stay 32 bits wide.
constexpr std::uint64_t kMaxSpannedDisk = 0xFFFFFFFFull;
// The extended-timestamp block (0x5455) this program writes in both headers:
// flags (modification time only) and that time in seconds since 1970 UTC.
constexpr std::uint32_t kTimeExtraSize = 9;
void time_extra_bytes(std::uint32_t mtime, std::uint8_t (&x)[kTimeExtraSize]);
