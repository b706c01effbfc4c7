#include <gtest/gtest.h>

#include "test_support.h"
#include "zip/list_text.h"
#include "zip/zlist.h"

namespace {

std::unique_ptr<zentry> entry(const std::string& name, std::uint64_t size, std::uint64_t packed,
                              std::uint16_t date = 0x4E21, std::uint16_t time = 0) {
    auto e = std::make_unique<zentry>();
    e->name = e->stored_name = name;
    e->name_length = static_cast<std::uint32_t>(name.size());
    e->uncompressed_size = size;
    e->compressed_size = packed;
    e->date = date;
    e->time = time;
    return e;
}

std::string order(const zlist& list) {
    std::string s;
    for (const zentry* e : list.sorted) s += (s.empty() ? "" : " ") + e->name;
    return s;
}

TEST(CompressionRatio, RoundsThePercentageSaved) {
    const struct {
        std::uint32_t u, c, ratio;
    } cases[] = {
        {0, 0, 0},          {100, 100, 0},     {100, 150, 0}, // grown or equal: 0
        {1000, 250, 75},    {3, 1, 67},        {3, 2, 33},       {200, 1, 100},
        {1000, 995, 1},     {1000, 996, 0},    // 0.4% rounds down, 0.5% up
        {0xFFFFFFFFu, 0x7FFFFFFFu, 50},        // scaled down before the product
        {16777216u, 0, 100}, {16777215u, 8388608u, 50},
    };
    for (const auto& c : cases) EXPECT_EQ(compression_ratio(c.u, c.c), c.ratio) << c.u << "/" << c.c;
}

class Catalog : public ::testing::Test {
  protected:
    void SetUp() override {
        // name, size, packed, date: ratios b 50%, a 90%, C 0% (grown), d 0% (empty)
        list.append(entry("b/two.txt", 100, 50, 0x4E22, 5));
        list.append(entry("a.txt", 1000, 100, 0x4E21, 9));
        list.append(entry("C.bin", 10, 20, 0x4E23, 0));
        list.append(entry("d", 0, 0, 0x4E21, 10));
    }
    zlist list;
};

TEST_F(Catalog, SortsInEveryMode) {
    const struct {
        std::uint32_t mode;
        const char* order;
    } cases[] = {
        {0, "a.txt b/two.txt C.bin d"}, {1, "d C.bin b/two.txt a.txt"},
        {2, "a.txt d b/two.txt C.bin"}, {3, "C.bin b/two.txt d a.txt"},
        {4, "d C.bin b/two.txt a.txt"}, {5, "a.txt b/two.txt C.bin d"},
        {6, "d C.bin b/two.txt a.txt"}, {7, "a.txt b/two.txt C.bin d"},
        {8, "", /* C and d tie at 0 */},  {9, "a.txt b/two.txt"},
    };
    for (const auto& c : cases) {
        list.sort_mode = c.mode;
        ASSERT_EQ(list.zlist_sort(), 0);
        ASSERT_EQ(list.sorted.size(), 4u);
        if (c.mode == 8) {
            // Grown and empty members both rank at ratio 0, before the others.
            EXPECT_EQ(order(list).substr(order(list).size() - 15), "b/two.txt a.txt");
        } else if (c.mode == 9) {
            EXPECT_EQ(order(list).substr(0, 15), "a.txt b/two.txt");
        } else {
            EXPECT_EQ(order(list), c.order) << "mode " << c.mode;
        }
    }
}

TEST_F(Catalog, UnknownModeKeepsDirectoryOrder) {
    list.sort_mode = 42;
    ASSERT_EQ(list.zlist_sort(), 0);
    EXPECT_EQ(order(list), "b/two.txt a.txt C.bin d");
}

TEST_F(Catalog, FindIgnoresCaseInBothNameOrders) {
    list.sort_mode = kSortSizeDown;
    list.zlist_sort();
    EXPECT_EQ(list.zlist_find("a.txt"), nullptr); // not a name order

    list.sort_for_lookup();
    EXPECT_EQ(list.sort_mode, kSortNameUp);
    for (const char* name : {"A.TXT", "b/TWO.txt", "c.BIN", "D"}) {
        const zentry* e = list.zlist_find(name);
        ASSERT_NE(e, nullptr) << name;
        EXPECT_EQ(compare_names(e->name.c_str(), name), 0);
    }
    EXPECT_EQ(list.zlist_find("b"), nullptr);
    EXPECT_EQ(list.zlist_find("e"), nullptr);
    list.restore_sort();
    EXPECT_EQ(list.sort_mode, kSortSizeDown);
    EXPECT_EQ(order(list), "a.txt b/two.txt C.bin d");

    list.sort_mode = kSortNameDown;
    list.zlist_sort();
    list.sort_for_lookup(); // a name order already: kept
    EXPECT_EQ(list.sort_mode, kSortNameDown);
    EXPECT_NE(list.zlist_find("c.bin"), nullptr);
    EXPECT_NE(list.zlist_find("A.txt"), nullptr);
    EXPECT_EQ(list.zlist_find("bb"), nullptr);
}

TEST_F(Catalog, FindInEmptyOrUnsortedCatalogFindsNothing) {
    EXPECT_EQ(list.zlist_find("a.txt"), nullptr); // never sorted
    zlist empty;
    empty.zlist_sort();
    EXPECT_EQ(empty.zlist_find("a.txt"), nullptr);
}

TEST_F(Catalog, MarksAreCountedOnce) {
    zentry* a = list.entries[1].get();
    list.mark(a);
    list.mark(a);
    EXPECT_EQ(list.marked, 1u);
    list.unmark(a);
    list.unmark(a);
    EXPECT_EQ(list.marked, 0u);
    list.mark_all(1);
    EXPECT_EQ(list.marked, 4u);
    list.mark_all(0);
    EXPECT_EQ(list.marked, 0u);
}

TEST_F(Catalog, HasFoldersLooksAtMarkedNamesOnly) {
    list.mark(list.entries[1].get()); // a.txt
    EXPECT_EQ(list.test_has_folders(), 0u);
    list.mark(list.entries[0].get()); // b/two.txt
    EXPECT_EQ(list.test_has_folders(), 1u);
    EXPECT_EQ(list.has_folders, 1u);
}

TEST_F(Catalog, RemoveByMarkKeepsOrderAndCounts) {
    list.mark(list.entries[0].get());
    list.mark(list.entries[2].get());
    list.remove_marked(1);
    ASSERT_EQ(list.count(), 2u);
    EXPECT_EQ(list.entries[0]->name, "a.txt");
    EXPECT_EQ(list.entries[1]->name, "d");
    EXPECT_EQ(list.marked, 0u);
    list.zlist_sort();
    EXPECT_EQ(order(list), "a.txt d");

    list.remove_marked(0); // everything left is unmarked
    EXPECT_EQ(list.count(), 0u);
    EXPECT_TRUE(list.sorted.empty());
    list.append(entry("new", 1, 1)); // the empty catalog takes new entries again
    EXPECT_EQ(list.count(), 1u);
}

TEST_F(Catalog, ClearEmptiesEverything) {
    list.comment = "c";
    list.comment_length = 1;
    list.mark_all(1);
    list.zlist_sort();
    list.clear();
    EXPECT_EQ(list.count(), 0u);
    EXPECT_EQ(list.marked, 0u);
    EXPECT_TRUE(list.sorted.empty());
    EXPECT_TRUE(list.comment.empty());
    EXPECT_EQ(list.comment_length, 0u);
}

std::uint16_t dos_time(int h, int m, int s = 0) { return static_cast<std::uint16_t>((h << 11) | (m << 5) | (s / 2)); }

TEST(ListText, DateAndTwelveHourTime) {
    // Local time is UTC in the tests.
    const struct {
        int h, m;
        const char* text;
    } cases[] = {
        {0, 30, "12:30 am"}, {11, 59, "11:59 am"}, {12, 5, "12:05 pm"}, {13, 0, "01:00 pm"}, {23, 59, "11:59 pm"},
    };
    for (const auto& c : cases) {
        auto e = entry("x", 1, 1, static_cast<std::uint16_t>(((1996 - 1980) << 9) | (3 << 5) | 7), dos_time(c.h, c.m));
        EXPECT_EQ(member_time_text(*e), c.text);
        EXPECT_EQ(member_date_text(*e), " 3/ 7/1996");
    }
    auto folder = entry("dir/", 0, 0, 0x4E21, dos_time(15, 45));
    folder->external_attributes = 0x10;
    EXPECT_EQ(member_date_text(*folder), "Folder");
    EXPECT_EQ(member_time_text(*folder), "00:00");
    EXPECT_EQ(member_ratio_text(*folder), "0%");
    auto grown = entry("g", 10, 12);
    EXPECT_EQ(member_ratio_text(*grown), "0%");
}

TEST(ListText, TotalsAndMembersPastFourGigabytesDoNotWrap) {
    zlist list;
    list.append(entry("a", 0xFFFFFFF0u, 10));
    list.append(entry("b", 0x20, 10));
    EXPECT_EQ(totals_text(list), "Files: 2    Size: 4294967312    Pack: 20    Ratio: 100%");
    zlist large;
    large.append(entry("huge", 5ull << 30, 3ull << 30)); // 5 GiB packed to 3 GiB
    EXPECT_EQ(totals_text(large), "Files: 1    Size: 5368709120    Pack: 3221225472    Ratio: 40%");
    EXPECT_EQ(member_ratio_text(*large.entries[0]), "40%");
    zlist one;
    one.append(entry("a", 1000, 250));
    EXPECT_EQ(totals_text(one), "Files: 1    Size: 1000    Pack: 250    Ratio: 75%");
}

} // namespace
