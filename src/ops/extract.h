// Extraction: the marked members of the catalog to files below a folder, or
// into a memory buffer, or decoded and checked without writing (test).
#pragma once

#include <cstdint>

struct zip;
struct zlist;

// Extracts every marked member in catalog order. overwrite: 1 ask, 8 replace
// without asking. Returns the engine error; all marks are cleared.
int extract_files(zip& z, zlist& list, void* owner_window, const char* archive_path,
                  const char* destination, int use_folder_names, std::uint32_t overwrite);

// Extracts the marked members one after another into buffer (capacity + 1
// bytes: a NUL always follows the bytes written). 38 when they do not fit.
// The caller reports the error.
int extract_to_memory(zip& z, zlist& list, void* owner_window, const char* archive_path,
                      std::uint8_t* buffer, std::uint32_t capacity);

// Decodes every marked member and checks its CRC without writing anything;
// each member's result goes to the progress dialog as a "Test" line.
int test_files(zip& z, zlist& list, void* owner_window, const char* archive_path);
