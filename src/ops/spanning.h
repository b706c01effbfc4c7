// Writing an archive across removable disks: the disks are labelled
// "PKBACK# 001", "PKBACK# 002", ...; records are never split (a record that
// does not fit starts on the next disk), member data is cut where a disk is
// full, and the end record lands on the last disk.
#pragma once

#include <cstdint>
#include <string>

struct zip;
struct zlist;
struct flist;

// Spanning is active for span options nonzero on a removable drive.
bool spanning_active(const zip& z);
// Writes the archive drive's volume label; error 33 when that fails.
void set_label(zip& z, const char* label);
// "PKBACK# %03d" for the disk now in the drive (current disk + 1).
void write_span_label(zip& z);
// Free bytes on the archive's drive (32-bit, as the room checks use it); error 34 on failure.
std::uint32_t disk_free_space(zip& z);
// Closes the archive file on the full disk, waits for a disk with another
// serial number, starts the archive file there and labels it.
void next_output_disk(zip& z);
// Deletes every file on the archive's drive and labels it "none".
void erase_disk(zip& z);
// The room check the record writer calls while spanning (installed in z.room_check).
void span_room_check(zip& z, std::uint32_t bytes);
// Adds the files of the list to a new spanned archive; returns how many were added.
std::uint32_t add_files_spanned(zip& z, zlist& list, flist& files, std::uint32_t level);
