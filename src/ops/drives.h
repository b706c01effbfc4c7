// Drives, volume labels and disk prompts: the drive class of the archive,
// the numbering of the disks of a set by their labels ("PKBACK# 001" is disk
// 0), and the prompt that brings a wanted disk into the drive.
#pragma once

#include <cstdint>

struct zip;

// Classifies the drive of path (first three characters as the root), stores
// and returns 0 unknown, 2 removable, 3 fixed, 4 network, 5 CD-ROM, 6 RAM disk.
std::uint32_t get_drive_type(zip& z, const char* path);
// Reads the label and serial of path's drive into the engine; 0, or 1 with error 32.
int read_volume_info(zip& z, const char* path);
int is_span_label(const zip& z);
std::uint32_t disk_from_label(const zip& z);
// Opens the archive path for reading and empties the input buffer; 0 or 20.
int open_archive_input(zip& z);
// Brings disk (0-based) into the drive and reopens the archive on it.
void ask_for_disk(zip& z, std::uint32_t disk);
