// Registry snapshots and their differences, on the platform's registry: an
// in-memory store natively, the real registry under Wine (where every key
// the tests make lies below a key of their own that is removed afterwards).
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "monitor/registry_snapshot.h"
#include "monitor/run_state.h"

namespace {

using namespace monitor;
constexpr platform::RegKey kCU = platform::kHkeyCurrentUser;
constexpr platform::RegKey kLM = platform::kHkeyLocalMachine;

// A test's own corner of the registry: below it the tests play root.
class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::reg_reset_store();
        runError = 0;
        regchanges.clear();
        corner_ = "Software\\ZarvoTest" +
                  std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name();
        // Under Wine the real roots hold much; the tests watch only their corner.
        platform::reg_delete_tree(kCU, corner_.c_str());
        platform::reg_delete_tree(kLM, corner_.c_str());
    }
    void TearDown() override {
        platform::reg_delete_tree(kCU, corner_.c_str());
        platform::reg_delete_tree(kLM, corner_.c_str());
        runError = 0;
        regchanges.clear();
    }
    std::string at(const std::string& path) const {
        return path.empty() ? corner_ : corner_ + "\\" + path;
    }
    void make_key(platform::RegKey root, const std::string& path) {
        platform::RegKey k;
        ASSERT_EQ(platform::reg_create(root, at(path).c_str(), &k), 0) << path;
        platform::reg_close(k);
    }
    void set(platform::RegKey root, const std::string& path, const char* name, std::uint32_t type,
             const std::string& data) {
        platform::RegKey k;
        ASSERT_EQ(platform::reg_create(root, at(path).c_str(), &k), 0) << path;
        // Strings go with their terminator, as programs write them.
        std::uint32_t size = static_cast<std::uint32_t>(data.size()) +
                             (type == platform::kRegSz || type == platform::kRegExpandSz ? 1 : 0);
        ASSERT_EQ(platform::reg_set_value(k, name, type, data.c_str(), size), 0);
        platform::reg_close(k);
    }
    void remove_value(platform::RegKey root, const std::string& path, const char* name) {
        platform::RegKey k;
        ASSERT_EQ(platform::reg_open(root, at(path).c_str(), &k), 0);
        EXPECT_EQ(platform::reg_delete_value(k, name), 0);
        platform::reg_close(k);
    }
    // The run's four kinds of snapshot, each started at the same place in
    // this corner as the run starts them at the top of the registry.
    void snapshot_all() {
        takeSnapshot(snaps_[0], static_cast<std::int32_t>(kCU), at("").c_str(), ScanKeys);
        takeSnapshot(snaps_[1], static_cast<std::int32_t>(kLM), at("").c_str(), ScanKeys);
        takeSnapshot(snaps_[2], static_cast<std::int32_t>(kLM), at("SOFTWARE\\CLASSES").c_str(),
                     ScanValues);
        takeSnapshot(snaps_[3], static_cast<std::int32_t>(kLM), at("SHAREDDLLS").c_str(),
                     ScanKeysValues);
        ASSERT_EQ(runError, 0);
    }
    // "kind root path [value]" per record, in the order found.
    std::vector<std::string> compare_all() {
        for (regkey& s : snaps_)
            compareSnapshot(s);
        EXPECT_EQ(runError, 0);
        EXPECT_EQ(dropCoveredRegChanges(), 0);
        EXPECT_EQ(indexRegChanges(), 0);
        std::vector<std::string> out;
        for (const auto& r : regchanges.records) {
            std::string line = r->kind == KeyNew     ? "KeyNew"
                               : r->kind == ValueNew ? "ValueNew"
                                                     : "ValueChanged";
            line += r->root == static_cast<std::int32_t>(kCU) ? " CU " : " LM ";
            line +=
                r->keyPath.substr(corner_.size() + (r->keyPath.size() > corner_.size() ? 1 : 0));
            if (r->hasValueName) line += " [" + r->valueName + "]";
            out.push_back(line);
        }
        return out;
    }

    std::string corner_;
    regkey snaps_[4];
};

TEST_F(RegistryTest, ValuesAreComparedOnlyWhereTheModeSaysSo) {
    make_key(kLM, "SOFTWARE\\CLASSES\\X");
    make_key(kCU, "Existing");
    set(kLM, "SOFTWARE\\CLASSES\\X", "kept", platform::kRegSz, "same");
    snapshot_all();
    set(kLM, "SOFTWARE\\CLASSES\\X", "added", platform::kRegSz, "new value");
    set(kCU, "Existing", "added", platform::kRegSz, "not looked at");
    EXPECT_EQ(compare_all(), std::vector<std::string>{"ValueNew LM SOFTWARE\\CLASSES\\X [added]"});
    const RegChange& r = *regchanges.records[0];
    EXPECT_EQ(r.currentSize, 10);
    EXPECT_EQ(r.currentType, 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.currentData.data())), "new value");
    EXPECT_EQ(r.currentData.back(), 0) << "data is followed by a NUL";
    EXPECT_FALSE(r.hasPrevious);
    EXPECT_EQ(r.selected, 1);
    EXPECT_EQ(r.gone, 0);
}

TEST_F(RegistryTest, ANewBranchIsOneRecord) {
    make_key(kCU, "Software");
    snapshot_all();
    set(kCU, "Software\\New", "v", platform::kRegSz, "x");
    set(kCU, "Software\\New\\Deeper\\Still", "w", platform::kRegDword, std::string("\1\0\0\0", 4));
    EXPECT_EQ(compare_all(), std::vector<std::string>{"KeyNew CU Software\\New"});
    EXPECT_FALSE(regchanges.records[0]->hasValueName);
    EXPECT_FALSE(regchanges.records[0]->hasCurrent);
}

TEST_F(RegistryTest, ANewKeyBelowClassesIsFoundByTheKeyScanOnly) {
    make_key(kLM, "SOFTWARE\\CLASSES\\.old");
    snapshot_all();
    set(kLM, "SOFTWARE\\CLASSES\\.zrv", "", platform::kRegSz, "zarvo.archive");
    EXPECT_EQ(compare_all(), std::vector<std::string>{"KeyNew LM SOFTWARE\\CLASSES\\.zrv"});
}

TEST_F(RegistryTest, ChangedValuesAndWhatIsLeftOut) {
    const std::string dll = "C:\\WINDOWS\\SYSTEM\\SHARED.DLL";
    set(kLM, "SHAREDDLLS", dll.c_str(), platform::kRegDword, std::string("\1\0\0\0", 4));
    set(kLM, "SHAREDDLLS", "typed", platform::kRegSz, "bytes");
    set(kLM, "SHAREDDLLS", "", platform::kRegSz, "default before");
    set(kLM, "SHAREDDLLS", "Name", platform::kRegSz, "n");
    set(kLM, "SHAREDDLLS", "going", platform::kRegSz, "g");
    set(kLM, "SHAREDDLLS", "same", platform::kRegSz, "s");
    snapshot_all();
    set(kLM, "SHAREDDLLS", dll.c_str(), platform::kRegDword,
        std::string("\2\0\0\0", 4));                                  // a count goes up
    set(kLM, "SHAREDDLLS", "typed", platform::kRegExpandSz, "bytes"); // only its type
    set(kLM, "SHAREDDLLS", "", platform::kRegSz, "default after");    // the default value
    remove_value(kLM, "SHAREDDLLS", "Name");
    set(kLM, "SHAREDDLLS", "name", platform::kRegSz, "n");     // the same name in other letters
    remove_value(kLM, "SHAREDDLLS", "going");                  // deleted: not reported
    set(kLM, "SHAREDDLLS", "empty", platform::kRegBinary, ""); // no data: not looked at
    set(kLM, "SHAREDDLLS\\App", "v", platform::kRegSz, "x");
    std::vector<std::string> found = compare_all();
    std::vector<std::string> expected = {
        "KeyNew LM SHAREDDLLS\\App", // found by the key scan, and once only
        "ValueChanged LM SHAREDDLLS [" + dll + "]",
        "ValueChanged LM SHAREDDLLS [typed]",
        "ValueChanged LM SHAREDDLLS []",
        "ValueNew LM SHAREDDLLS [name]",
    };
    std::sort(found.begin() + 1, found.end());
    std::sort(expected.begin() + 1, expected.end());
    EXPECT_EQ(found, expected);
    for (const auto& r : regchanges.records) {
        if (r->kind != ValueChanged || r->valueName != "typed") continue;
        EXPECT_EQ(r->previousType, 1);
        EXPECT_EQ(r->currentType, 2);
        EXPECT_EQ(r->previousSize, 6);
    }
}

// Two snapshots see the same place: the key scan of the whole root and the
// value scans of Classes and SharedDLLs. A new key is one record, whatever
// was written inside it and whichever scan saw it too.
TEST_F(RegistryTest, WhatTwoSnapshotsSeeInANewKeyIsOneRecord) {
    make_key(kLM, "SOFTWARE\\CLASSES\\.old");
    snapshot_all();
    // The shared-DLL key did not exist: its scan sees every value as new.
    set(kLM, "SharedDlls", "C:\\Program Files\\App\\shared.dll", platform::kRegDword,
        std::string("\1\0\0\0", 4));
    set(kLM, "SharedDlls\\Inner", "x", platform::kRegSz, "y");
    // A new key below Classes, and a new key with a value below a known one.
    set(kLM, "Software\\Classes\\.zrv", "", platform::kRegSz, "zarvo.archive");
    set(kLM, "Software\\Classes\\.old\\ShellNew", "NullFile", platform::kRegSz, "");
    std::vector<std::string> found = compare_all();
    std::sort(found.begin(), found.end());
    // Each key is named as it was first made.
    EXPECT_EQ(found, (std::vector<std::string>{"KeyNew LM SOFTWARE\\CLASSES\\.old\\ShellNew",
                                               "KeyNew LM SOFTWARE\\CLASSES\\.zrv",
                                               "KeyNew LM SharedDlls"}));
}

// The run's own four snapshots, where an installer writes its shared DLL's
// count into a SharedDLLs key that did not exist (a fresh Wine prefix has
// none): the key scan of the whole machine finds the new key, the SharedDLLs
// scan finds the same write as a new value in it; one record stays.
TEST(RunSnapshots, ASharedDllCountInANewSharedDllsKeyIsOneNewKey) {
    const char* const shared = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
    platform::reg_reset_store();
    runError = 0;
    regchanges.clear();
    platform::RegKey k;
    ASSERT_EQ(platform::reg_create(kLM, "Software\\Microsoft\\Windows\\CurrentVersion", &k), 0);
    platform::reg_close(k);
    ASSERT_NE(platform::reg_open(kLM, shared, &k), 0) << "the key must not exist beforehand";
    regkey snaps[kRunSnapshotCount];
    for (int i = 0; i < kRunSnapshotCount; ++i)
        takeSnapshot(snaps[i], kRunSnapshots[i].root, kRunSnapshots[i].path, kRunSnapshots[i].mode);
    ASSERT_EQ(runError, 0);
    ASSERT_EQ(platform::reg_create(kLM, shared, &k), 0);
    const std::uint8_t one[] = {1, 0, 0, 0};
    ASSERT_EQ(platform::reg_set_value(k, "C:\\Program Files\\App\\shared.dll", platform::kRegDword,
                                      one, 4),
              0);
    platform::reg_close(k);
    for (regkey& s : snaps)
        compareSnapshot(s);
    EXPECT_EQ(runError, 0);
    EXPECT_EQ(dropCoveredRegChanges(), 0);
    std::vector<std::string> found; // what Wine itself changes meanwhile aside
    for (const auto& r : regchanges.records) {
        std::string path = r->keyPath;
        platform::lower_case(&path[0]);
        if (path.find("shareddlls") != std::string::npos)
            found.push_back((r->kind == KeyNew ? "KeyNew " : "Value ") + r->keyPath +
                            (r->hasValueName ? " [" + r->valueName + "]" : ""));
    }
    EXPECT_EQ(found, std::vector<std::string>{std::string("KeyNew ") + shared});
    platform::reg_delete_tree(kLM, shared);
    regchanges.clear();
}

TEST(RegChanges, RecordsInsideANewKeysBranchAreDropped) {
    constexpr std::int32_t cu = static_cast<std::int32_t>(kCU);
    constexpr std::int32_t lm = static_cast<std::int32_t>(kLM);
    const std::uint8_t data[] = {'1', 0};
    const struct {
        std::int32_t root;
        const char* path;
        const char* value; // nullptr: a new key
        std::int16_t kind;
        bool kept;
    } cases[] = {
        {lm, "Software\\App", nullptr, KeyNew, true},
        {lm, "SOFTWARE\\APP", nullptr, KeyNew, false}, // the same key seen again
        {lm, "software\\app", "v", ValueNew, false},   // a value in it
        {lm, "Software\\App\\Deep\\Er", "w", ValueChanged, false},
        {lm, "Software\\App\\Sub", nullptr, KeyNew, false}, // a key below it
        {lm, "Software\\Apple", nullptr, KeyNew, true},     // a name that only starts alike
        {lm, "Software\\Apple2", "v", ValueNew, true},
        {lm, "Software", "App", ValueNew, true}, // a value named like it, above it
        {lm, "Software\\Only", nullptr, KeyNew, true},
        {cu, "Software\\Only", "v", ValueNew, true},        // the other root
        {cu, "Software\\App\\Sub", nullptr, KeyNew, false}, // listed before the key above it
        {cu, "Software\\App", "v", ValueNew, false},
        {cu, "Software\\App", nullptr, KeyNew, true},
    };
    regchanges.clear();
    for (const auto& c : cases)
        ASSERT_EQ(addRegChange(c.root, c.path, c.value, c.kind == ValueChanged ? data : nullptr,
                               c.kind == ValueChanged ? 2 : 0, 1, c.value ? data : nullptr,
                               c.value ? 2 : 0, 1, c.kind),
                  0);
    std::vector<const RegChange*> expected;
    for (std::size_t i = 0; i < std::size(cases); ++i)
        if (cases[i].kept) expected.push_back(regchanges.records[i].get());
    ASSERT_EQ(dropCoveredRegChanges(), 0);
    std::vector<const RegChange*> kept;
    for (const auto& r : regchanges.records)
        kept.push_back(r.get());
    EXPECT_EQ(kept, expected) << "the first of each, in the order found";
    regchanges.clear();
}

TEST_F(RegistryTest, AValueInsertedAmongOthersIsTheOnlyOneReported) {
    for (const char* n : {"a", "b", "c", "d"})
        set(kLM, "SOFTWARE\\CLASSES\\K", n, platform::kRegSz, n);
    snapshot_all();
    // Made again in another order, with a new one in the middle.
    for (const char* n : {"a", "b", "c", "d"})
        remove_value(kLM, "SOFTWARE\\CLASSES\\K", n);
    for (const char* n : {"d", "b", "new", "a", "c"})
        set(kLM, "SOFTWARE\\CLASSES\\K", n, platform::kRegSz, n);
    EXPECT_EQ(compare_all(), std::vector<std::string>{"ValueNew LM SOFTWARE\\CLASSES\\K [new]"});
}

TEST_F(RegistryTest, KeysThatVanishOrNeverOpenedAddNothing) {
    set(kLM, "SOFTWARE\\CLASSES\\Gone", "v", platform::kRegSz, "x");
    snapshot_all();
    platform::reg_delete_tree(kLM, at("SOFTWARE\\CLASSES\\Gone").c_str());
    regkey missing;
    takeSnapshot(missing, static_cast<std::int32_t>(kCU), at("No\\Such\\Key").c_str(),
                 ScanKeysValues);
    EXPECT_EQ(missing.rootNode.subkeyCount, 0);
    EXPECT_TRUE(missing.rootNode.children.empty());
    compareSnapshot(missing);
    EXPECT_TRUE(compare_all().empty());
}

TEST(RegChanges, IndexByPathAndAFullList) {
    regchanges.clear();
    for (const char* path : {"b\\x", "A", "a\\b", "C"})
        ASSERT_EQ(addRegChange(1, path, nullptr, nullptr, 0, 0, nullptr, 0, 0, KeyNew), 0);
    ASSERT_EQ(indexRegChanges(), 0);
    std::vector<std::string> order;
    for (const RegChange* r : regchanges.index)
        order.push_back(r->keyPath);
    EXPECT_EQ(order, (std::vector<std::string>{"A", "a\\b", "b\\x", "C"}));

    // Past 65,535 records nothing more is kept, and the list says so.
    regchanges.clear();
    for (std::size_t i = 0; i < RegChangeList::kMaxRecords; ++i)
        ASSERT_EQ(addRegChange(1, "k", "v", nullptr, 0, 0, nullptr, 0, 0, ValueNew), 0);
    EXPECT_FALSE(regchanges.overflowed);
    EXPECT_EQ(addRegChange(1, "one more", "v", nullptr, 0, 0, nullptr, 0, 0, ValueNew), 0);
    EXPECT_EQ(regchanges.records.size(), RegChangeList::kMaxRecords);
    EXPECT_TRUE(regchanges.overflowed);
    regchanges.clear();
}

} // namespace
