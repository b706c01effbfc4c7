// CRC-32 of the ZIP format: the reflected ISO 3309 polynomial, initial value
// all ones, final complement. The table is built per job into the engine.
#pragma once

#include <cstddef>
#include <cstdint>

struct zip;

// Allocates and fills the engine's table; 0, or 5 when it cannot be allocated.
int makeCrcTable(zip& z);

// The add side's running checksum (one for the program). Without data it is
// reset and 0 is returned; with data the bytes are folded in and the CRC-32
// of everything since the last reset is returned.
std::uint32_t updateCrc(zip& z, const std::uint8_t* data, std::size_t length);

// The byte-wise table, for a checksum taken outside a job.
const std::uint32_t* crc32_table();

// Folds bytes into a running (uncomplemented) value: by carry-less
// multiplication where the processor has it, else by foldCrcPortable. The
// table is accepted for the callers' sake; every table holds the same values.
std::uint32_t foldCrc(const std::uint32_t* table, std::uint32_t running, const std::uint8_t* data,
                      std::size_t length);

// Slicing by eight, on any processor.
std::uint32_t foldCrcPortable(std::uint32_t running, const std::uint8_t* data, std::size_t length);
