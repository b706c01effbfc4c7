// The member list: cell texts, totals, sorting by column, selection flags,
// the enabling of the commands that act on a selection, and the pop-up.
#include <algorithm>
#include <cctype>

#include "app/resource.h"
#include "gui_support.h"
#include "zip/zlist.h"

namespace test {
namespace {

std::uint16_t dos_date(int y, int m, int d) {
    return static_cast<std::uint16_t>(((y - 1980) << 9) | (m << 5) | d);
}
std::uint16_t dos_time(int h, int m) {
    return static_cast<std::uint16_t>((h << 11) | (m << 5));
}

ZipMember member(const std::string& name, std::size_t size, int hour = 12, int minute = 0) {
    ZipMember m{name, Bytes(size, 'x')};
    m.date = dos_date(1996, 3, 7);
    m.time = dos_time(hour, minute);
    return m;
}

// The sort arrow a header column shows: HDF_SORTUP, HDF_SORTDOWN or 0.
int sort_arrow(HWND list, int column) {
    HDITEMA item = {};
    item.mask = HDI_FORMAT;
    SendMessageA(ListView_GetHeader(list), HDM_GETITEMA, static_cast<WPARAM>(column),
                 reinterpret_cast<LPARAM>(&item));
    return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
}

// The ids of the main menu's items that carry a radio check mark.
std::vector<int> radio_checked(HMENU bar, const std::vector<int>& ids) {
    std::vector<int> out;
    for (int id : ids) {
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE;
        if (GetMenuItemInfoA(bar, static_cast<UINT>(id), FALSE, &info) &&
            (info.fState & MFS_CHECKED) && (info.fType & MFT_RADIOCHECK))
            out.push_back(id);
    }
    return out;
}

const std::vector<int> kSortKeys = {CM_SORT_NAME, CM_SORT_DATE, CM_SORT_SIZE, CM_SORT_PACKED,
                                    CM_SORT_RATIO};
const std::vector<int> kSortDirections = {CM_SORT_ASCENDING, CM_SORT_DESCENDING};

class ListViewTest : public ZarvoWindowTest {
  protected:
    void open(const std::vector<ZipMember>& members, const ZipLayout& layout = {}) {
        write_ini_with_work();
        ASSERT_TRUE(start({write_zip("test.zip", members, layout)}));
        ASSERT_EQ(win().archiveOpen(), 1);
    }
};

TEST_F(ListViewTest, CellTextsOfTimesFoldersRatiosAndComments) {
    ZipMember folder{"docs/", {}};
    folder.external_attributes = 0x10;
    folder.date = dos_date(2001, 11, 23);
    folder.time = dos_time(17, 45);
    ZipMember grew = member("grew.bin", 10, 9, 9);
    grew.compressed_size_override = 12;
    ZipMember packed = member("packed.txt", 1000, 23, 59);
    packed.compressed_size_override = 250;
    packed.comment = "a member comment";
    open({member("a-half-past-midnight.txt", 5, 0, 30), member("b-noon.txt", 6, 12, 5),
          member("c-one.txt", 7, 13, 0), folder, grew, packed});

    const std::vector<std::vector<std::string>> expected = {
        {"a-half-past-midnight.txt", " 3/ 7/1996", "12:30 am", "5", "5", "0%", ""},
        {"b-noon.txt", " 3/ 7/1996", "12:05 pm", "6", "6", "0%", ""},
        {"c-one.txt", " 3/ 7/1996", "01:00 pm", "7", "7", "0%", ""},
        {"docs/", "Folder", "00:00", "0", "0", "0%", ""},
        {"grew.bin", " 3/ 7/1996", "09:09 am", "10", "12", "0%", ""},
        {"packed.txt", " 3/ 7/1996", "11:59 pm", "1000", "250", "75%", "a member comment"},
    };
    ASSERT_EQ(rows(), static_cast<int>(expected.size()));
    for (int r = 0; r < rows(); ++r)
        for (int c = 0; c < 7; ++c)
            EXPECT_EQ(cell(r, c), expected[r][c]) << "row " << r << " column " << c;

    EXPECT_EQ(frame().status_text(0), "test.zip");
    EXPECT_EQ(frame().status_text(1), "Files: 6    Size: 1028    Pack: 280    Ratio: 73%");
    // Row 0 has the focus but is not selected, so nothing is selected yet.
    EXPECT_TRUE(ListView_GetItemState(list(), 0, LVIS_FOCUSED) & LVIS_FOCUSED);
    EXPECT_TRUE(selected_rows().empty());
}

TEST_F(ListViewTest, TotalsPastFourGigabytesDoNotWrap) {
    ZipMember big1 = member("big1.bin", 4), big2 = member("big2.bin", 4);
    big1.uncompressed_size_override = 3000000000u;
    big2.uncompressed_size_override = 3000000000u;
    open({big1, big2});
    EXPECT_EQ(cell(0, 3), "3000000000");
    EXPECT_EQ(frame().status_text(1), "Files: 2    Size: 6000000000    Pack: 8    Ratio: 100%");
}

// With 20,000 members the list asks only for the cells it draws: opening,
// sorting and drawing a shown window make texts for about one page of rows,
// and a row far down gets its texts when it is asked for, not before.
TEST_F(ListViewTest, LargeArchiveMakesCellTextsOnlyForRowsDrawn) {
    const int kMembers = 20000;
    std::vector<ZipMember> members;
    std::uint64_t size_sum = 0;
    for (int i = 0; i < kMembers; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "dir%d/file%05d.txt", i % 50, i);
        members.push_back(member(name, static_cast<std::size_t>(i % 97)));
        size_sum += static_cast<std::size_t>(i % 97);
    }
    open(members);
    ASSERT_EQ(rows(), kMembers);
    EXPECT_EQ(frame().status_text(1), "Files: 20000    Size: " + std::to_string(size_sum) +
                                          "    Pack: " + std::to_string(size_sum) +
                                          "    Ratio: 0%");

    // Drawn on the screen, the list asks for the cells of its visible rows.
    ShowWindow(frame().hwnd(), SW_SHOWNORMAL);
    RedrawWindow(frame().hwnd(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    pump();
    const std::uint64_t page_cells =
        7u * static_cast<std::uint64_t>(ListView_GetCountPerPage(list()) + 2);
    std::uint64_t drawn = win().cellTextsMade();
    EXPECT_GT(drawn, 0u) << "the shown list drew no cell";
    EXPECT_LE(drawn, 3 * page_cells);

    // Largest first: row 0 is now one of the 96-byte members, drawn again.
    click_column(3);
    click_column(3);
    RedrawWindow(frame().hwnd(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    pump();
    EXPECT_EQ(cell(0, 3), "96");
    EXPECT_LE(win().cellTextsMade() - drawn, 3 * page_cells);

    std::uint64_t before = win().cellTextsMade();
    EXPECT_EQ(cell(kMembers - 1, 3), "0");
    EXPECT_EQ(win().cellTextsMade(), before + 1) << "a cell far down is made when asked for";
    ShowWindow(frame().hwnd(), SW_HIDE);
}

TEST_F(ListViewTest, ColumnClicksSortAscendingThenReverse) {
    // Names, times and sizes in different orders, so each mode shows.
    open({member("b.txt", 300, 9), member("c.txt", 100, 8), member("a.txt", 200, 10)});
    zlist& catalog = app().catalog;
    EXPECT_EQ(catalog.sort_mode, 0u);
    EXPECT_EQ(names(), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    const struct {
        int column;
        std::uint32_t mode;
        std::vector<std::string> order;
    } clicks[] = {
        {1, 2, {"c.txt", "b.txt", "a.txt"}}, // Date: oldest first
        {0, 0, {"a.txt", "b.txt", "c.txt"}}, // Name
        {0, 1, {"c.txt", "b.txt", "a.txt"}}, // Name again: reversed
        {1, 2, {"c.txt", "b.txt", "a.txt"}}, // Date
        {2, 3, {"a.txt", "b.txt", "c.txt"}}, // Time shares Date's key: reversed
        {3, 4, {"c.txt", "a.txt", "b.txt"}}, // Size
        {4, 6, {"c.txt", "a.txt", "b.txt"}}, // Packed
        {4, 7, {"b.txt", "a.txt", "c.txt"}},
        {5, 8, {"a.txt", "b.txt", "c.txt"}}, // Ratio: all 0%, any order
    };
    for (const auto& c : clicks) {
        click_column(c.column);
        EXPECT_EQ(catalog.sort_mode, c.mode) << "column " << c.column;
        if (c.mode != 8) {
            EXPECT_EQ(names(), c.order) << "column " << c.column;
        }
        EXPECT_EQ(rows(), 3);
    }
    EXPECT_TRUE(prompts.empty());
    click_column(6);
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].text, "Files not sortable by this criteria");
    EXPECT_EQ(prompts[0].caption, "Error");
    EXPECT_EQ(prompts[0].style, platform::kMbOk);
    EXPECT_EQ(catalog.sort_mode, 8u);

    // The mode belongs to the catalog and survives opening another archive.
    click_column(3);
    std::string other = write_zip("other.zip", {member("y.txt", 1), member("x.txt", 2)});
    file_answer = other;
    command(CM_OPEN);
    EXPECT_EQ(catalog.sort_mode, 4u);
    EXPECT_EQ(names(), (std::vector<std::string>{"y.txt", "x.txt"}));
}

TEST_F(ListViewTest, ColumnClickWithoutArchiveDoesNothing) {
    write_ini_with_work();
    ASSERT_TRUE(start());
    for (int column : {0, 1, 6})
        click_column(column);
    EXPECT_TRUE(prompts.empty());
    EXPECT_EQ(app().catalog.sort_mode, 0u);
    EXPECT_EQ(frame().status_text(0), "No File Opened");
    // Nor does Sort by, whose items are greyed like the column clicks are inert.
    for (int id : {CM_SORT_SIZE, CM_SORT_DESCENDING}) {
        EXPECT_FALSE(menu_item_enabled(id)) << id;
        command(id);
    }
    EXPECT_EQ(app().catalog.sort_mode, 0u);
    EXPECT_EQ(sort_arrow(list(), 0), HDF_SORTUP) << "the order an archive will be shown in";
}

TEST_F(ListViewTest, SortByMenuSortsAndShowsTheOrderAsColumnClicksDo) {
    open({member("b.txt", 300, 9), member("c.txt", 100, 8), member("a.txt", 200, 10)});
    zlist& catalog = app().catalog;
    HMENU bar = GetMenu(frame().hwnd());
    const int kCommentClick = -7;
    const struct {
        int action; // a command id, or minus one minus a clicked column
        std::uint32_t mode;
        std::vector<std::string> order; // empty: any (equal keys)
        int key, direction;
        std::vector<int> arrow_columns;
    } steps[] = {
        {0, 0, {"a.txt", "b.txt", "c.txt"}, CM_SORT_NAME, CM_SORT_ASCENDING, {0}}, // at start
        {CM_SORT_SIZE, 4, {"c.txt", "a.txt", "b.txt"}, CM_SORT_SIZE, CM_SORT_ASCENDING, {3}},
        {CM_SORT_DESCENDING, 5, {"b.txt", "a.txt", "c.txt"}, CM_SORT_SIZE, CM_SORT_DESCENDING, {3}},
        // A key keeps the direction; Date and Time share theirs.
        {CM_SORT_DATE, 3, {"a.txt", "b.txt", "c.txt"}, CM_SORT_DATE, CM_SORT_DESCENDING, {1, 2}},
        {CM_SORT_NAME, 1, {"c.txt", "b.txt", "a.txt"}, CM_SORT_NAME, CM_SORT_DESCENDING, {0}},
        {CM_SORT_ASCENDING, 0, {"a.txt", "b.txt", "c.txt"}, CM_SORT_NAME, CM_SORT_ASCENDING, {0}},
        {-1 - 4, 6, {"c.txt", "a.txt", "b.txt"}, CM_SORT_PACKED, CM_SORT_ASCENDING, {4}},
        {-1 - 4, 7, {"b.txt", "a.txt", "c.txt"}, CM_SORT_PACKED, CM_SORT_DESCENDING, {4}},
        {-1 - 2, 2, {"c.txt", "b.txt", "a.txt"}, CM_SORT_DATE, CM_SORT_ASCENDING, {1, 2}},
        {CM_SORT_RATIO, 8, {}, CM_SORT_RATIO, CM_SORT_ASCENDING, {5}},
        {CM_SORT_DESCENDING, 9, {}, CM_SORT_RATIO, CM_SORT_DESCENDING, {5}},
        {kCommentClick, 9, {}, CM_SORT_RATIO, CM_SORT_DESCENDING, {5}}, // refused, as before
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(testing::Message() << "action " << s.action);
        if (s.action > 0) {
            EXPECT_TRUE(menu_item_enabled(s.action));
            command(s.action);
        } else if (s.action < 0) {
            click_column(-1 - s.action);
        }
        EXPECT_EQ(catalog.sort_mode, s.mode);
        if (!s.order.empty()) EXPECT_EQ(names(), s.order);
        EXPECT_EQ(rows(), 3);
        EXPECT_EQ(radio_checked(bar, kSortKeys), std::vector<int>{s.key});
        EXPECT_EQ(radio_checked(bar, kSortDirections), std::vector<int>{s.direction});
        for (int column = 0; column < 7; ++column) {
            bool shown = std::find(s.arrow_columns.begin(), s.arrow_columns.end(), column) !=
                         s.arrow_columns.end();
            int expected = !shown                             ? 0
                           : s.direction == CM_SORT_ASCENDING ? HDF_SORTUP
                                                              : HDF_SORTDOWN;
            EXPECT_EQ(sort_arrow(list(), column), expected) << "column " << column;
        }
    }
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].text, "Files not sortable by this criteria");
}

TEST_F(ListViewTest, ListHasTheKeyboardFocusOnceTheWindowOpensAndAfterOpen) {
    open({member("a.txt", 1)});
    pump();
    EXPECT_EQ(GetFocus(), list()) << "the keyboard works the list without a click";
    SetFocus(win().comment_box());
    ASSERT_EQ(GetFocus(), win().comment_box());
    file_answer = write_zip("other.zip", {member("b.txt", 2)});
    command(CM_OPEN);
    ASSERT_EQ(names(), std::vector<std::string>{"b.txt"});
    EXPECT_EQ(GetFocus(), list());
}

TEST_F(ListViewTest, SortByIsReachedByItsAccessKeys) {
    write_ini_with_work();
    ASSERT_TRUE(start());
    auto texts = [](HMENU menu) {
        std::vector<std::string> out;
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            char text[128] = {};
            GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
            out.push_back(text);
        }
        return out;
    };
    // Every item of a drop-down needs its own letter, or Alt+letter stops
    // at the first one that has it.
    auto expect_distinct_keys = [](const std::vector<std::string>& items) {
        std::string keys;
        for (const std::string& item : items) {
            std::size_t amp = item.find('&');
            if (amp == std::string::npos || amp + 1 >= item.size()) continue;
            char key = static_cast<char>(std::tolower(static_cast<unsigned char>(item[amp + 1])));
            EXPECT_EQ(keys.find(key), std::string::npos) << "'" << key << "' twice, at " << item;
            keys += key;
        }
    };
    HMENU bar = GetMenu(frame().hwnd());
    HMENU select = GetSubMenu(bar, 1);
    ASSERT_EQ(texts(bar)[1], "&Select");
    std::vector<std::string> select_items = texts(select);
    ASSERT_EQ(select_items.back(), "&Sort by");
    expect_distinct_keys(select_items);
    HMENU sort = GetSubMenu(select, GetMenuItemCount(select) - 1);
    ASSERT_TRUE(sort);
    EXPECT_EQ(texts(sort), (std::vector<std::string>{"&Name", "&Date", "&Size", "&Packed", "&Ratio",
                                                     "", "&Ascending", "D&escending"}));
    expect_distinct_keys(texts(sort));
    EXPECT_EQ(GetMenuItemID(sort, 0), static_cast<UINT>(CM_SORT_NAME));
    EXPECT_EQ(GetMenuItemID(sort, 7), static_cast<UINT>(CM_SORT_DESCENDING));
}

TEST_F(ListViewTest, MarkSelectedTakesRowsInOrderUpToTheLimit) {
    open({member("a", 1), member("b", 1), member("c", 1), member("d", 1), member("e", 1)});
    select_rows({4, 1, 2});
    win().markSelected(1);
    zlist& catalog = app().catalog;
    EXPECT_EQ(catalog.marked, 1u);
    EXPECT_EQ(catalog.sorted[1]->mark, 1);
    win().markSelected(0);
    EXPECT_EQ(catalog.marked, 3u);
    std::vector<std::string> marked;
    for (const zentry* e : catalog.sorted)
        if (e->mark) marked.push_back(e->name);
    EXPECT_EQ(marked, (std::vector<std::string>{"b", "c", "e"}));
    select_rows({});
    win().markSelected(0);
    EXPECT_EQ(catalog.marked, 0u);
}

// Rows read back byte for byte whatever the script, and a selected row of
// any script marks its member.
TEST_F(ListViewTest, NamesInEveryScriptReadBackAndMark) {
    const std::vector<std::string> names = {"a.txt",
                                            "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82.txt",
                                            "\xce\xb1\xce\xb2\xce\xb3/\xe6\x96\x87\xe6\x9b\xb8.txt",
                                            "caf\xc3\xa9 \xf0\x9f\x98\x80.txt"};
    std::vector<ZipMember> members;
    for (const std::string& n : names) {
        members.push_back(member(n, 3));
        members.back().flags = 0x0800;
    }
    open(members);
    HWND list = win().list();
    ASSERT_EQ(ListView_GetItemCount(list), 4);
    zlist& catalog = app().catalog;
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(listRowName(list, i), catalog.sorted[static_cast<std::size_t>(i)]->name);
    select_rows({0, 1, 2, 3});
    win().markSelected(0);
    EXPECT_EQ(catalog.marked, 4u);
}

TEST_F(ListViewTest, CommandsOnASelectionAreDisabledUntilRowsAreSelected) {
    write_ini_with_work();
    ASSERT_TRUE(start());
    // No archive: only the commands that need nothing.
    for (int id : {CM_SELECT_ALL, CM_NAME_FILTER, CM_INVERT, CM_ADD, CM_VIEW, CM_EXTRACT, CM_REMOVE,
                   CM_INSTALL})
        EXPECT_FALSE(menu_item_enabled(id)) << id;
    for (int id : {CM_NEW, CM_OPEN, CM_SETTINGS, CM_HELP_CONTENTS, CM_ABOUT})
        EXPECT_TRUE(menu_item_enabled(id)) << id;
    command(CM_SELECT_ALL);
    EXPECT_TRUE(dialogs.empty());

    file_answer = write_zip("test.zip", {member("a.txt", 1), member("b.txt", 1)});
    command(CM_OPEN);
    ASSERT_EQ(rows(), 2);
    for (int id : {CM_SELECT_ALL, CM_NAME_FILTER, CM_INVERT, CM_ADD})
        EXPECT_TRUE(menu_item_enabled(id)) << id;
    // Return, Ctrl+E and the View and Extract buttons need a selection.
    for (int id : {CM_VIEW, CM_EXTRACT, CM_REMOVE, CM_USE_FILE_COMMENT}) {
        EXPECT_FALSE(menu_item_enabled(id)) << id;
        EXPECT_EQ(win().command_state(id), ui::CommandState::Disabled) << id;
    }
    EXPECT_FALSE(button_enabled(CM_VIEW));
    EXPECT_FALSE(button_enabled(CM_EXTRACT));
    EXPECT_FALSE(button_enabled(CM_INSTALL));
    EXPECT_TRUE(button_enabled(CM_ADD));
    EXPECT_TRUE(menu_item_enabled(CM_SELECT_COMMENT)) << "the archive is on a fixed drive";

    select_rows({1});
    EXPECT_TRUE(win().windowFlags() & TAppWin::hasSelection);
    for (int id : {CM_VIEW, CM_EXTRACT, CM_REMOVE, CM_USE_FILE_COMMENT})
        EXPECT_TRUE(menu_item_enabled(id)) << id;
    EXPECT_TRUE(button_enabled(CM_VIEW));
    EXPECT_TRUE(button_enabled(CM_EXTRACT));
    select_rows({});
    EXPECT_FALSE(win().windowFlags() & TAppWin::hasSelection);
    EXPECT_FALSE(button_enabled(CM_EXTRACT));
}

TEST_F(ListViewTest, InstallerNamesAndTheInstallCommand) {
    const struct {
        const char* name;
        int installer;
    } names_[] = {{"SETUP.EXE", 1},     {"disk1/Setup32.exe", 1}, {"mysetup.exe", 1},
                  {"INSTALL.BAT", 1},   {"install.exe.txt", 1},   {"setup.ex", 0},
                  {"installer.exe", 0}, {"readme.txt", 0}};
    for (const auto& n : names_)
        EXPECT_EQ(isInstallerName(n.name), n.installer) << n.name;

    open({member("readme.txt", 1), member("disk1/SETUP.EXE", 1)});
    EXPECT_TRUE(win().windowFlags() & TAppWin::hasInstaller);
    EXPECT_TRUE(button_enabled(CM_INSTALL));
    file_answer = write_zip("plain.zip", {member("readme.txt", 1)});
    command(CM_OPEN);
    EXPECT_FALSE(win().windowFlags() & TAppWin::hasInstaller);
    EXPECT_FALSE(menu_item_enabled(CM_INSTALL));
}

TEST_F(ListViewTest, ArchiveCommentIsShownReadOnly) {
    ZipLayout layout;
    layout.archive_comment = "Line one\r\nLine two";
    open({member("a.txt", 1)}, layout);
    HWND box = win().comment_box();
    EXPECT_EQ(GetDlgCtrlID(box), IDC_COMMENT);
    EXPECT_EQ(ui::window_text(box, 1000), "Line one\r\nLine two");
    EXPECT_TRUE(IsWindowEnabled(box)) << "the archive is on a fixed drive";
    EXPECT_TRUE(GetWindowLongA(box, GWL_STYLE) & ES_READONLY);
    EXPECT_EQ(ui::window_text(GetDlgItem(win().hwnd(), IDC_COMMENT_CAPTION)), " Zip Comment");

    file_answer = write_zip("plain.zip", {member("b.txt", 1)});
    command(CM_OPEN);
    EXPECT_EQ(ui::window_text(box), "");
    file_answer = dir.write("broken.zip", Bytes(100, 0));
    command(CM_OPEN);
    EXPECT_FALSE(IsWindowEnabled(box));
}

TEST_F(ListViewTest, RightClickMenuFollowsTheSameRules) {
    open({member("a.txt", 1), member("b.txt", 1), member("c.txt", 1)});
    NMHDR click = {list(), 5000, static_cast<UINT>(NM_RCLICK)};
    popup_choice = CM_SELECT_ALL;
    SendMessageA(win().hwnd(), WM_NOTIFY, 5000, reinterpret_cast<LPARAM>(&click));
    ASSERT_EQ(popups.size(), 1u);
    const std::vector<std::pair<std::string, bool>> expected = {
        {"View File", false}, {"Extract File(s)", false}, {"-", false}, {"Select All", true},
        {"-", false},         {"Use for comment", false}};
    ASSERT_EQ(popups[0].size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(popups[0][i].first, expected[i].first);
        if (expected[i].first != "-") {
            EXPECT_EQ(popups[0][i].second, expected[i].second) << expected[i].first;
        }
    }
    EXPECT_EQ(selected_rows(), (std::vector<int>{0, 1, 2})) << "the chosen item ran";
    popup_choice = 0;
    SendMessageA(win().hwnd(), WM_NOTIFY, 5000, reinterpret_cast<LPARAM>(&click));
    EXPECT_TRUE(popups[1][0].second) << "View is enabled once rows are selected";
}

} // namespace
} // namespace test
