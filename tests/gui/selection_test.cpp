// The Select menu: all, invert, and name filters through the dialog.
#include "app/resource.h"
#include "gui_support.h"

namespace test {
namespace {

class SelectionTest : public ZarvoWindowTest {
  protected:
    void open(const std::vector<std::string>& member_names) {
        std::vector<ZipMember> members;
        for (const std::string& n : member_names)
            members.push_back({n, {'x'}});
        write_ini_with_work();
        ASSERT_TRUE(start({write_zip("test.zip", members)}));
        ASSERT_EQ(rows(), static_cast<int>(member_names.size()));
    }
    std::vector<std::string> selected_names() {
        std::vector<std::string> out;
        for (int r : selected_rows())
            out.push_back(cell(r, 0));
        return out;
    }
};

TEST_F(SelectionTest, SelectAllAndInvert) {
    std::vector<std::string> many;
    for (int i = 0; i < 60; ++i)
        many.push_back("file" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".txt");
    open(many);
    command(CM_SELECT_ALL);
    EXPECT_EQ(selected_rows().size(), 60u);
    EXPECT_TRUE(win().windowFlags() & TAppWin::hasSelection);

    select_rows({2, 5});
    ListView_EnsureVisible(list(), 59, FALSE);
    ASSERT_GT(ListView_GetTopIndex(list()), 2) << "the list must be scrolled away from row 2 first";
    command(CM_INVERT);
    std::vector<int> expected;
    for (int i = 0; i < 60; ++i)
        if (i != 2 && i != 5) expected.push_back(i);
    EXPECT_EQ(selected_rows(), expected);
    EXPECT_LE(ListView_GetTopIndex(list()), 2) << "the first row unselected is scrolled into view";

    win().unselectAll();
    EXPECT_TRUE(selected_rows().empty());
    EXPECT_FALSE(win().windowFlags() & TAppWin::hasSelection);
}

TEST_F(SelectionTest, NameFilters) {
    open({"a.txt", "B.TXT", "c.doc", "d.bin", "docs/readme.txt", "noext"});
    const struct {
        const char* filters;
        bool keep_previous;
        bool case_sensitive;
        std::vector<std::string> selected;
    } cases[] = {
        {"*.txt *.doc", false, false, {"a.txt", "B.TXT", "c.doc", "docs/readme.txt"}},
        {"*.txt *.doc", true, false, {"a.txt", "B.TXT", "c.doc", "d.bin", "docs/readme.txt"}},
        {"*.txt", false, true, {"a.txt", "docs/readme.txt"}},
        {"*", false, false, {"noext"}},
        {"r*.txt", false, false, {}},
        {"*.txt ", false, false, {"a.txt", "B.TXT", "docs/readme.txt"}},
        {"docs/readme*.txt", false, false, {"docs/readme.txt"}}, // longer than 12 characters
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.filters);
        select_rows({3}); // d.bin, before the filter
        on_dialog = [&](ui::Dialog& d) {
            EXPECT_EQ(d.text(IDC_NAME_FILTER), "*.*");
            d.set_text(IDC_NAME_FILTER, c.filters);
            d.set_checked(IDC_KEEP_PREVIOUS, c.keep_previous);
            d.set_checked(IDC_CASE_SENSITIVE, c.case_sensitive);
            d.click(IDOK);
        };
        command(CM_NAME_FILTER);
        EXPECT_EQ(selected_names(), c.selected);
        EXPECT_EQ(app().keepPrevious, c.keep_previous ? 1 : 0);
        EXPECT_EQ(app().caseSensitive, c.case_sensitive ? 1 : 0);
    }
    EXPECT_EQ(dialogs.size(), sizeof cases / sizeof cases[0]);
    for (const std::string& d : dialogs)
        EXPECT_EQ(d, "SELECTNAME_DLG");
}

TEST_F(SelectionTest, FilterDialogRemembersItsSwitchesAndCancelChangesNothing) {
    open({"a.txt", "b.doc"});
    EXPECT_EQ(app().keepPrevious, 1);
    EXPECT_EQ(app().caseSensitive, 0);
    on_dialog = [&](ui::Dialog& d) {
        char title[64] = {};
        GetWindowTextA(d.hwnd(), title, sizeof title);
        EXPECT_STREQ(title, "ZARVO - Select by Name Filter(s)");
        EXPECT_TRUE(d.checked(IDC_KEEP_PREVIOUS));
        EXPECT_FALSE(d.checked(IDC_CASE_SENSITIVE));
        d.set_checked(IDC_KEEP_PREVIOUS, false);
        d.set_checked(IDC_CASE_SENSITIVE, true);
        d.set_text(IDC_NAME_FILTER, "*.doc");
        d.click(IDOK);
    };
    command(CM_NAME_FILTER);
    EXPECT_EQ(selected_names(), std::vector<std::string>{"b.doc"});

    on_dialog = [&](ui::Dialog& d) {
        EXPECT_FALSE(d.checked(IDC_KEEP_PREVIOUS));
        EXPECT_TRUE(d.checked(IDC_CASE_SENSITIVE));
        EXPECT_EQ(d.text(IDC_NAME_FILTER), "*.*") << "the last filter is not shown again";
        d.set_checked(IDC_KEEP_PREVIOUS, true);
        d.set_text(IDC_NAME_FILTER, "*.txt");
        d.click(IDCANCEL);
    };
    command(CM_NAME_FILTER);
    EXPECT_EQ(selected_names(), std::vector<std::string>{"b.doc"});
    EXPECT_EQ(app().keepPrevious, 0);
}

} // namespace
} // namespace test
