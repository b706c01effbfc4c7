// Buffered reading of an archive: one 8192-byte block read at a file
// position, seeks that reuse the buffered block, refills that move on to the
// next disk of a set, and the record readers built on them.
#pragma once

#include <cstdint>

struct zip;
struct zlist;
struct zentry;

// Reads the next block; the bytes now in the buffer, or -1 at the end of the last disk.
int fill_input(zip& z);
// Positions the input at offset on disk; 0, or 3 when nothing could be read there.
int seek_archive(zip& z, std::uint64_t offset, std::uint32_t disk);
// Copies n bytes through the buffer; a refill that finds nothing sets error 3.
void read_bytes(zip& z, void* destination, std::uint32_t n);
// Reads the local header of the current entry; the input then stands at its data.
int read_local_header(zip& z);

// Finds the end-of-central-directory record in the last 65,557 bytes (the
// record with the longest comment), the last signature there winning, and
// leaves the read pointer on it; 0, 3, 10 or 27.
int find_end_record(zip& z);
// Reads the end record and the archive comment into the catalog; 0 or 4.
int read_end_record(zip& z, zlist& list);
// Reads one central header and appends its entry; returns the error field.
// A header that would take more than room bytes (it would run into the end
// record) is error 27 and is not read further.
int read_central_header(zip& z, zlist& list, std::uint64_t room = ~std::uint64_t(0));
// Reads, when the end record just read has a ZIP64 locator before it, the
// ZIP64 end record it points to (or, when nothing is there, the one that ends
// right at the locator) and takes the disks, counts, size and offset from
// there (list.zip64 set). 0, or 4 for a locator or record that points
// outside the file, is damaged, or holds values the catalog cannot.
int read_zip64_end_record(zip& z, zlist& list);
// The data of the ZIP64 block (id 1) of an extra field and its size,
// clipped to the field; nullptr without one.
const std::uint8_t* find_zip64_block(const std::uint8_t* extra, std::uint32_t length,
                                     std::uint32_t* size);
// The modification time of the extended-timestamp block (0x5455) of an
// extra field, in seconds since 1970-01-01 UTC; false without one, or when
// the block is shorter than its flags say or runs past the field. A local
// block holds every time its flags name; a central one only the first.
bool find_unix_mtime(const std::uint8_t* extra, std::uint32_t length, std::int64_t* mtime, bool local = false);
// The modification time of the NTFS block (0x000A) of an extra field, in
// whole seconds since 1970-01-01 UTC; false without one, or when its times
// attribute is short or the time is zero.
bool find_ntfs_mtime(const std::uint8_t* extra, std::uint32_t length, std::int64_t* mtime);
// The exact modification time a member's central extra field holds: its
// 0x5455 time, else its NTFS time.
bool member_exact_time(const zentry& e, std::int64_t* mtime);
// A member's modification time in seconds since 1970-01-01 UTC: its exact
// time when it has one, else its DOS date and time taken as local time.
std::int64_t member_unix_time(const zentry& e);
// Takes the ZIP64 values of a central header's marked fields (0xFFFFFFFF
// sizes and offset, 0xFFFF disk) from its extra field into the entry, or
// sets e.zip64 to why they could not be.
void take_zip64_values(zentry& e);
// Bytes a central header of e takes in the directory.
std::uint64_t central_header_size(const zentry& e);

// Little-endian fields of a record.
inline std::uint16_t get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t get32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
inline std::uint64_t get64(const std::uint8_t* p) {
    return std::uint64_t(get32(p)) | (std::uint64_t(get32(p + 4)) << 32);
}
