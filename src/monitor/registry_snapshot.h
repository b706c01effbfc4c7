// Registry snapshots and their differences. Before the monitored run the
// registry trees that installers change are recorded in memory; afterwards
// the live trees are walked again with a cursor through the recorded nodes,
// and every new key, new value and changed value is appended to
// `regchanges`. Deleted keys and values are not looked for.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace monitor {

enum ScanMode : std::int32_t {
    ScanKeys = 0,       // new subkeys only
    ScanKeysValues = 1, // new subkeys, new and changed values
    ScanValues = 2,     // new and changed values only
};

struct ValueRecord {
    std::string name;               // empty for the default value
    std::vector<std::uint8_t> data; // size bytes and a NUL
    std::int32_t size = 0;
    std::int32_t type = 0;
};

struct KeyNode {
    std::string name; // the root node: the start path relative to the root
    std::int32_t subkeyCount = 0;
    std::int32_t valueCount = 0;
    std::vector<std::unique_ptr<KeyNode>> children;   // enumeration order; a failed read stays null
    std::vector<std::unique_ptr<ValueRecord>> values; // enumeration order; a failed read stays null
};

struct regkey {
    std::int32_t root = 0;
    std::int32_t mode = ScanKeys;
    KeyNode rootNode;
    KeyNode* cursor = nullptr; // only while comparing
};

enum RegChangeKind : std::int16_t { KeyNew = 4, ValueNew = 8, ValueChanged = 16 };

struct RegChange {
    std::int32_t root = 0;
    std::string keyPath;
    bool hasValueName = false; // none for KeyNew
    std::string valueName;
    bool hasPrevious = false;
    std::vector<std::uint8_t> previousData; // bytes and a NUL
    std::int32_t previousSize = 0;
    std::int32_t previousType = 0;
    bool hasCurrent = false;
    std::vector<std::uint8_t> currentData; // bytes and a NUL
    std::int32_t currentSize = 0;
    std::int32_t currentType = 0;
    std::int16_t selected = 1;
    std::int16_t kind = KeyNew;
    std::int16_t gone = 0;
};

// The differences of a run, in the order found, and an index by key path.
struct RegChangeList {
    static constexpr std::size_t kMaxRecords = 65535; // counts are 16-bit
    std::vector<std::unique_ptr<RegChange>> records;
    std::vector<RegChange*> index;
    // Set when a difference was dropped because the list was full; the
    // results say so once instead of a count wrapping round.
    bool overflowed = false;
    void clear();
};
extern RegChangeList regchanges;

void takeSnapshot(regkey& snapshot, std::int32_t root, const char* path, std::int32_t mode);
void compareSnapshot(regkey& snapshot);
// Appends one record; 0, or 1 when memory runs out (nothing appended then).
// A full list drops the record, sets `overflowed` and answers 0.
int addRegChange(std::int32_t root, const std::string& keyPath, const char* valueName,
                 const std::uint8_t* previousData, std::int32_t previousSize,
                 std::int32_t previousType, const std::uint8_t* currentData,
                 std::int32_t currentSize, std::int32_t currentType, std::int16_t kind);
// Drops the records a new key's record already stands for: keys and values
// inside the branch of a new key, and the same new key found again by a
// later snapshot (the snapshots overlap). Run after every snapshot has been
// compared, before the index is made; 0, or 1 when memory runs out.
int dropCoveredRegChanges();
// Sorts the index by key path, without regard to case; 0, or 1 when memory runs out.
int indexRegChanges();

// The snapshots of a run, taken and compared in this order.
struct RunSnapshot {
    std::int32_t root;
    const char* path;
    std::int32_t mode;
    const char* status; // shown while it is compared
};
constexpr int kRunSnapshotCount = 5;
extern const RunSnapshot kRunSnapshots[kRunSnapshotCount];

} // namespace monitor
