#include "monitor/registry_snapshot.h"

#include <algorithm>
#include <cctype>
#include <new>
#include <set>
#include <utility>
#include <strings.h>

#include "monitor/run_state.h"

namespace monitor {

RegChangeList regchanges;

const RunSnapshot kRunSnapshots[kRunSnapshotCount] = {
    {static_cast<std::int32_t>(platform::kHkeyCurrentUser), "", ScanKeys,
     "Scanning registry CurrentUser"},
    {static_cast<std::int32_t>(platform::kHkeyLocalMachine), "", ScanKeys,
     "Scanning registry LocalMachineSoftware"},
    {static_cast<std::int32_t>(platform::kHkeyLocalMachine), "SOFTWARE\\CLASSES", ScanValues,
     "Scanning registry Classes"},
    {static_cast<std::int32_t>(platform::kHkeyLocalMachine),
     "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\SHAREDDLLS", ScanKeysValues,
     "Scanning registry SharedDlls"},
    // 32-bit installers count their shared files here: Windows redirects them.
    {static_cast<std::int32_t>(platform::kHkeyLocalMachine),
     "SOFTWARE\\WOW6432NODE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\SHAREDDLLS", ScanKeysValues,
     "Scanning registry SharedDlls (32-bit)"},
};

namespace {

platform::RegKey as_key(std::int32_t root) {
    return static_cast<platform::RegKey>(root);
}

std::string joined(const std::string& path, const std::string& name) {
    return path.empty() ? name : path + "\\" + name;
}

int compare_ignoring_case(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str());
}

// An open key that is closed on every path.
class OpenKey {
  public:
    OpenKey(platform::RegKey parent, const std::string& path) {
        opened_ = platform::reg_open(parent, path.c_str(), &key_) == platform::kRegOk;
    }
    ~OpenKey() {
        if (opened_) platform::reg_close(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    bool opened() const { return opened_; }
    platform::RegKey key() const { return key_; }

  private:
    platform::RegKey key_ = 0;
    bool opened_ = false;
};

// One value read by index into buffers of the sizes the key reported.
struct ValueReader {
    std::vector<char> name;
    std::vector<std::uint8_t> data;
    std::uint32_t nameLength = 0, size = 0, type = 0;

    explicit ValueReader(const platform::RegKeyInfo& info)
        : name(info.longest_value_name + 1), data(info.longest_value_data + 1) {}
    bool read(platform::RegKey key, std::uint32_t index) {
        std::uint32_t name_size = static_cast<std::uint32_t>(name.size());
        size = static_cast<std::uint32_t>(data.size());
        if (platform::reg_enum_value(key, index, name.data(), &name_size, &type, data.data(),
                                     &size) != platform::kRegOk)
            return false;
        nameLength = name_size;
        return size < data.size(); // room for the NUL that follows the data
    }
};

void snapshotKey(regkey& snapshot, KeyNode& node, platform::RegKey parent,
                 const std::string& name) {
    OpenKey key(parent, name);
    if (!key.opened()) return;
    platform::RegKeyInfo info;
    if (runError != 0 || platform::reg_query_info(key.key(), &info) != platform::kRegOk) return;

    if (runError == 0 && snapshot.mode != ScanKeys && info.values > 0) {
        ValueReader reader(info);
        node.valueCount = static_cast<std::int32_t>(info.values);
        node.values.resize(info.values);
        for (std::uint32_t i = 0; i < info.values && runError == 0; ++i) {
            if (!reader.read(key.key(), i)) continue;
            auto value = std::make_unique<ValueRecord>();
            value->name.assign(reader.name.data(), reader.nameLength);
            value->data.assign(reader.data.begin(), reader.data.begin() + reader.size);
            value->data.push_back(0);
            value->size = static_cast<std::int32_t>(reader.size);
            value->type = static_cast<std::int32_t>(reader.type);
            node.values[i] = std::move(value);
        }
    }
    if (runError == 0 && info.subkeys > 0) {
        std::vector<char> child_name(info.longest_subkey_name + 1);
        node.subkeyCount = static_cast<std::int32_t>(info.subkeys);
        // Bounded by the count the key reported: keys made meanwhile are the
        // comparison's to find, and no slot is written past the array.
        node.children.resize(info.subkeys);
        for (std::uint32_t i = 0; i < info.subkeys && runError == 0; ++i) {
            long r = platform::reg_enum_key(key.key(), i, child_name.data(),
                                            static_cast<std::uint32_t>(child_name.size()));
            if (r == platform::kRegNoMoreItems) break;
            if (r != platform::kRegOk) continue;
            auto child = std::make_unique<KeyNode>();
            child->name = child_name.data();
            snapshotKey(snapshot, *child, key.key(), child->name);
            node.children[i] = std::move(child);
        }
    }
}

const ValueRecord* recorded_value(const KeyNode& node, const char* name, std::size_t length) {
    for (const auto& v : node.values)
        if (v && v->name.size() == length && v->name.compare(0, length, name, length) == 0)
            return v.get();
    return nullptr;
}

KeyNode* recorded_child(const KeyNode& node, const std::string& name) {
    for (const auto& c : node.children)
        if (c && compare_ignoring_case(c->name, name) == 0) return c.get();
    return nullptr;
}

void compareKey(regkey& snapshot, const std::string& path) {
    KeyNode* here = snapshot.cursor;
    OpenKey key(as_key(snapshot.root), path);
    if (!key.opened()) return;
    platform::RegKeyInfo info;
    if (platform::reg_query_info(key.key(), &info) != platform::kRegOk) return;

    if (runError == 0 && snapshot.mode != ScanKeys && info.values > 0) {
        ValueReader reader(info);
        for (std::uint32_t i = 0; i < info.values && runError == 0; ++i) {
            // Values with no data are not looked at.
            if (!reader.read(key.key(), i) || reader.size == 0) continue;
            reader.data[reader.size] = 0;
            std::string name(reader.name.data(), reader.nameLength);
            const ValueRecord* before = recorded_value(*here, name.data(), name.size());
            std::int32_t size = static_cast<std::int32_t>(reader.size),
                         type = static_cast<std::int32_t>(reader.type);
            if (before) {
                if (before->size == size && before->type == type &&
                    std::equal(reader.data.begin(), reader.data.begin() + reader.size,
                               before->data.begin()))
                    continue;
                runError = addRegChange(snapshot.root, path, name.c_str(), before->data.data(),
                                        before->size, before->type, reader.data.data(), size, type,
                                        ValueChanged);
            } else {
                runError = addRegChange(snapshot.root, path, name.c_str(), nullptr, 0, 0,
                                        reader.data.data(), size, type, ValueNew);
            }
        }
    }
    if (runError == 0 && info.subkeys > 0) {
        char child_name[261];
        for (std::uint32_t i = 0; runError == 0; ++i) {
            long r = platform::reg_enum_key(key.key(), i, child_name, sizeof child_name);
            if (r == platform::kRegNoMoreItems) break;
            if (r != platform::kRegOk) continue;
            std::string full = joined(path, child_name);
            if (KeyNode* known = recorded_child(*here, child_name)) {
                snapshot.cursor = known;
                compareKey(snapshot, full);
                snapshot.cursor = here;
            } else if (snapshot.mode == ScanKeys || snapshot.mode == ScanKeysValues) {
                // One record stands for the whole new branch.
                runError = addRegChange(snapshot.root, full, nullptr, nullptr, 0, 0, nullptr, 0, 0,
                                        KeyNew);
            }
        }
    }
}

} // namespace

void RegChangeList::clear() {
    records.clear();
    index.clear();
    overflowed = false;
}

void takeSnapshot(regkey& snapshot, std::int32_t root, const char* path, std::int32_t mode) {
    snapshot.root = root;
    snapshot.mode = mode;
    snapshot.rootNode = KeyNode{};
    snapshot.rootNode.name = path ? path : "";
    if (runError != 0) return;
    try {
        snapshotKey(snapshot, snapshot.rootNode, as_key(root), snapshot.rootNode.name);
    } catch (const std::bad_alloc&) {
        runError = 1;
    }
}

void compareSnapshot(regkey& snapshot) {
    snapshot.cursor = &snapshot.rootNode;
    try {
        compareKey(snapshot, snapshot.rootNode.name);
    } catch (const std::bad_alloc&) {
        runError = 1;
    }
    snapshot.cursor = nullptr;
}

int addRegChange(std::int32_t root, const std::string& keyPath, const char* valueName,
                 const std::uint8_t* previousData, std::int32_t previousSize,
                 std::int32_t previousType, const std::uint8_t* currentData,
                 std::int32_t currentSize, std::int32_t currentType, std::int16_t kind) {
    if (regchanges.records.size() >= RegChangeList::kMaxRecords) {
        regchanges.overflowed = true;
        return 0;
    }
    try {
        auto change = std::make_unique<RegChange>();
        change->root = root;
        change->keyPath = keyPath;
        change->hasValueName = valueName != nullptr;
        if (valueName) change->valueName = valueName;
        // Each data block is kept with a NUL after it.
        auto keep = [](std::vector<std::uint8_t>& into, const std::uint8_t* data, std::int32_t size) {
            into.assign(data, data + size);
            into.push_back(0);
        };
        change->hasPrevious = previousData != nullptr;
        if (previousData) keep(change->previousData, previousData, previousSize);
        change->previousSize = previousData ? previousSize : 0;
        change->previousType = previousType;
        change->hasCurrent = currentData != nullptr;
        if (currentData) keep(change->currentData, currentData, currentSize);
        change->currentSize = currentData ? currentSize : 0;
        change->currentType = currentType;
        change->kind = kind;
        regchanges.records.push_back(std::move(change));
    } catch (const std::bad_alloc&) {
        return 1;
    }
    return 0;
}

int dropCoveredRegChanges() {
    try {
        auto lowered = [](const std::string& s) {
            std::string out = s;
            for (char& c : out)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return out;
        };
        std::set<std::pair<std::int32_t, std::string>> newKeys;
        for (const auto& r : regchanges.records)
            if (r->kind == KeyNew) newKeys.emplace(r->root, lowered(r->keyPath));
        // A value in a new key, or any record in the branch below one.
        auto covered = [&](const RegChange& r, const std::string& path) {
            if (r.kind != KeyNew && newKeys.count({r.root, path})) return true;
            for (std::size_t cut = path.find('\\'); cut != std::string::npos;
                 cut = path.find('\\', cut + 1))
                if (newKeys.count({r.root, path.substr(0, cut)})) return true;
            return false;
        };
        // Decided first and moved after, so running out of memory midway
        // leaves the list as it was.
        std::set<std::pair<std::int32_t, std::string>> kept;
        std::vector<bool> drop(regchanges.records.size());
        for (std::size_t i = 0; i < drop.size(); ++i) {
            const RegChange& r = *regchanges.records[i];
            const std::string path = lowered(r.keyPath);
            drop[i] = covered(r, path) || (r.kind == KeyNew && !kept.emplace(r.root, path).second);
        }
        std::vector<std::unique_ptr<RegChange>> left;
        left.reserve(drop.size());
        for (std::size_t i = 0; i < drop.size(); ++i)
            if (!drop[i]) left.push_back(std::move(regchanges.records[i]));
        regchanges.records = std::move(left);
        regchanges.index.clear();
    } catch (const std::bad_alloc&) {
        return 1;
    }
    return 0;
}

int indexRegChanges() {
    try {
        regchanges.index.clear();
        for (const auto& r : regchanges.records)
            regchanges.index.push_back(r.get());
        std::stable_sort(regchanges.index.begin(), regchanges.index.end(),
                         [](const RegChange* a, const RegChange* b) {
                             return compare_ignoring_case(a->keyPath, b->keyPath) < 0;
                         });
    } catch (const std::bad_alloc&) {
        return 1;
    }
    return 0;
}

} // namespace monitor
