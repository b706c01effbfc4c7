// Unshrink: decodes a shrunk (method 1) member, dynamic LZW with 9 to 13 bit
// codes and partial clearing.
#pragma once

#include <cstdint>

struct zip;

// Returns the engine's error at the end (0 on success; -1 when the archive
// file ends inside the member; 5 without memory).
int unshrinkMember(zip& z);
