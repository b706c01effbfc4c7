// Adding members on several threads: workers open and compress the sources
// ahead of the writer, while the calling thread writes the members in list
// order. The archive, the progress calls and the warnings are those of a
// one-thread run; only the time differs.
#pragma once

#include <cstdint>

struct zip;
struct zlist;
struct flist;

// The compressing threads a job of this engine uses: its setting, or one per
// core when it has none.
unsigned compress_threads(const zip& z);

// Adds every file of the list as add_files does, compressing on `threads`
// workers; returns how many members were added. Every worker has ended when
// it returns, and no temporary file of it is left.
std::uint32_t add_files_parallel(zip& z, zlist& list, flist& files, std::uint32_t level,
                                 unsigned threads);
