// The records of an archive as this program writes them: local headers,
// raw copies of existing members, the central directory and the end record,
// and the in-place change of the archive comment. Every writer does nothing
// while the engine's error is set, turns a failed write into an engine error,
// and adds what it wrote to the output position.
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
                   std::uint32_t length, std::uint32_t chunk);
// Copies one member unchanged (header, name, local extra, data and a data
// descriptor when it has one) and moves its local header offset to the copy.
void copy_entry(zip& z, zentry& e, platform::FileHandle old_archive, platform::FileHandle new_archive,
                std::uint32_t chunk);

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

// The largest archive the 32-bit offsets of the format can describe.
constexpr std::uint64_t kMaxArchiveSize = 0xFFFFFFFFull;
