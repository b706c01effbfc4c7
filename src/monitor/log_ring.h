// The block of shared memory through which the logging driver hands the
// monitor the paths it saw: a header slot with the two indexes, then 129
// record slots used circularly (after slot 128 comes slot 0). Records
// readIndex + 1 .. writeIndex are waiting; when writeIndex has caught up with
// readIndex the ring reads as empty, so at most 128 records wait at a time.
// Shared with the driver, so it holds no pointers and no OS types.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace monitor {

// One record: a full path in the system code page, NUL-terminated inside the
// 254 bytes. The log file holds the same records, whole, one after another.
constexpr std::size_t kLogRecordSize = 254;
constexpr std::int32_t kLogRingSlots = 129;

struct LogRing {
    std::atomic<std::int32_t> writeIndex; // slot the driver filled last
    std::atomic<std::int32_t> readIndex;  // slot the monitor consumed last
    char unused[kLogRecordSize - 8];
    char slots[kLogRingSlots][kLogRecordSize];
};

static_assert(sizeof(std::atomic<std::int32_t>) == 4, "the indexes are plain int32 in memory");
static_assert(sizeof(LogRing) == 33020, "header slot and 129 record slots");
static_assert(offsetof(LogRing, readIndex) == 4 && offsetof(LogRing, slots) == kLogRecordSize,
              "the driver finds the fields at fixed offsets");

} // namespace monitor
