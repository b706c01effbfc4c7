// Reading an archive into the catalog.
#pragma once

struct zip;
struct zlist;

// Finds the end record of the archive at path (also behind an executable
// stub, also on the last disk of a set, asking for it when another disk of
// the set is in the drive), reads the central directory into list and sorts
// it in the list's sort mode. Returns the error code, 0 on success; the input
// is closed and the buffers freed on every path.
int open_archive(zip& z, zlist& list, const char* path);
