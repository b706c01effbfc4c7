// The archive comment: editing it in its dialog, taking it from a member,
// the comment box's pop-up and the enabling of the commands.
#include "app/comment_dlg.h"
#include "app/resource.h"
#include "gui_support.h"
#include "zip/open_archive.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace test {
namespace {

ZipMember text_member(const std::string& name, const std::string& text) {
    ZipMember m;
    m.name = name;
    m.data = Bytes(text.begin(), text.end());
    return m;
}

// The comment as the engine reads the archive afresh.
std::string archive_comment(const std::string& archive) {
    zip z;
    zlist catalog;
    if (open_archive(z, catalog, archive.c_str()) != 0) return "<unreadable>";
    return catalog.comment.substr(0, catalog.comment_length);
}

class CommentTest : public ZarvoWindowTest {
  protected:
    std::string open(const std::string& comment,
                     const std::vector<ZipMember>& members = {text_member("a.txt", "a")}) {
        write_ini_with_work();
        ZipLayout layout;
        layout.archive_comment = comment;
        std::string archive = write_zip("test.zip", members, layout);
        EXPECT_TRUE(start({archive}));
        EXPECT_EQ(win().archiveOpen(), 1);
        return archive;
    }
    std::string box_text() { return ui::window_text(win().comment_box(), 70000); }
    Bytes archive_bytes() { return read_host_file(dir.host("test.zip")); }
    // Answers the comment dialog with act (which must end it); records what
    // it showed first.
    void edit_comment(std::function<void(ui::Dialog&)> act) {
        on_dialog = [this, act](ui::Dialog& d) {
            shown_caption = ui::window_text(d.hwnd());
            shown_text = d.text(IDC_COMMENT_EDIT, 70000);
            act(d);
        };
        command(CM_SELECT_COMMENT);
        ASSERT_EQ(dialogs, std::vector<std::string>{"ZCOM_DLG"});
    }
    std::string shown_caption, shown_text;
};

TEST_F(CommentTest, EraseAndDoneRemovesTheCommentFromTheArchive) {
    std::string archive = open("old comment");
    EXPECT_EQ(box_text(), "old comment");
    std::string after_erase;
    edit_comment([&](ui::Dialog& d) {
        d.click(IDC_ERASE_COMMENT);
        after_erase = d.text(IDC_COMMENT_EDIT);
        d.click(IDOK);
    });
    EXPECT_EQ(shown_caption, "ZARVO - Zip Comment");
    EXPECT_EQ(shown_text, "old comment");
    EXPECT_EQ(after_erase, "");
    EXPECT_EQ(box_text(), "");
    EXPECT_EQ(archive_comment(archive), "");
    EXPECT_TRUE(prompts.empty());
}

TEST_F(CommentTest, DoneWritesTheTextAndCancelChangesNothing) {
    std::string archive = open("old comment");
    Bytes before = archive_bytes();
    edit_comment([](ui::Dialog& d) {
        d.set_text(IDC_COMMENT_EDIT, "not this");
        d.click(IDCANCEL);
    });
    EXPECT_EQ(box_text(), "old comment");
    EXPECT_EQ(archive_bytes(), before);

    dialogs.clear();
    edit_comment([](ui::Dialog& d) {
        d.set_text(IDC_COMMENT_EDIT, "first line\r\nsecond line");
        d.click(IDOK);
    });
    EXPECT_EQ(box_text(), "first line\r\nsecond line");
    EXPECT_EQ(archive_comment(archive), "first line\r\nsecond line");

    // An archive without a comment gets one.
    close_program();
    dialogs.clear();
    archive = open("");
    edit_comment([](ui::Dialog& d) {
        d.set_text(IDC_COMMENT_EDIT, "brand new");
        d.click(IDOK);
    });
    EXPECT_EQ(shown_text, "");
    EXPECT_EQ(archive_comment(archive), "brand new");
    EXPECT_TRUE(prompts.empty());
}

TEST(CommentAddCRs, BreaksBareLineFeedsWithinTheLimit) {
    const struct {
        std::string text;
        std::size_t limit;
        std::string out;
    } cases[] = {
        {"one\ntwo\nthree", 100, "one\r\ntwo\r\nthree"},
        {"one\r\ntwo", 100, "one\r\r\ntwo"}, // a feed after a return gets one too
        {"ab\n", 4, "ab\r\n"},               // just fits
        {"abc\nd", 4, "abc"},                // the feed and its return would pass the limit
        {"abcde", 3, "abc"},
        {"", 3, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<char> out(c.limit + 1, 'x');
        EXPECT_EQ(addCRs(c.text.c_str(), out.data(), c.limit), c.out.size());
        EXPECT_EQ(std::string(out.data()), c.out);
    }
}

TEST_F(CommentTest, AddCRsInTheDialogFormatsTheEditsTextUpTo65535Characters) {
    std::string archive = open("line one\nline two");
    std::string formatted, long_formatted;
    edit_comment([&](ui::Dialog& d) {
        d.click(IDC_ADD_CRS);
        formatted = d.text(IDC_COMMENT_EDIT);
        d.click(IDOK);
    });
    EXPECT_EQ(formatted, "line one\r\nline two");
    EXPECT_EQ(archive_comment(archive), "line one\r\nline two");

    // 65534 characters and a feed: the break would make 65536, so the feed goes.
    dialogs.clear();
    edit_comment([&](ui::Dialog& d) {
        d.set_text(IDC_COMMENT_EDIT, (std::string(65534, 'a') + "\n").c_str());
        d.click(IDC_ADD_CRS);
        long_formatted = d.text(IDC_COMMENT_EDIT, 70000);
        d.click(IDCANCEL);
    });
    EXPECT_EQ(long_formatted, std::string(65534, 'a'));
    EXPECT_EQ(archive_comment(archive), "line one\r\nline two") << "Cancel after Add CR's";
}

TEST_F(CommentTest, UseSelectedFileTakesTheTopmostSelectedMember) {
    Bytes binary = {'b', 'i', 'n', 0, 'x', 'y'};
    ZipMember bin = text_member("d.bin", "");
    bin.data = binary;
    std::string archive =
        open("old comment", {text_member("a.txt", "from a"), text_member("b.txt", "from b"),
                             text_member("c.txt", "from c"), bin});
    select_rows({1, 2, 3});
    command(CM_USE_FILE_COMMENT);
    EXPECT_EQ(box_text(), "from b");
    EXPECT_EQ(archive_comment(archive), "from b");

    select_rows({3});
    command(CM_USE_FILE_COMMENT);
    EXPECT_EQ(archive_comment(archive), "bin") << "the bytes before the first zero";
    EXPECT_EQ(box_text(), "bin");
    EXPECT_TRUE(prompts.empty());
}

// size bytes of text in lines, as a comment would have them (one line of
// tens of thousands of characters takes the edit control seconds to lay out).
std::string lines_of(std::size_t size) {
    std::string text;
    while (text.size() < size)
        text += text.size() % 80 == 78 ? '\r' : text.size() % 80 == 79 ? '\n' : 'y';
    return text;
}

TEST_F(CommentTest, UseSelectedFileTooLargeSaysSoAndKeepsTheComment) {
    std::string archive = open("old comment", {text_member("big.txt", std::string(65536, 'x')),
                                               text_member("fits.txt", lines_of(65535))});
    Bytes before = archive_bytes();
    select_rows({0});
    command(CM_USE_FILE_COMMENT);
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].text, "File to large");
    EXPECT_EQ(prompts[0].caption, "Error");
    EXPECT_EQ(box_text(), "old comment");
    EXPECT_EQ(archive_bytes(), before);

    select_rows({1});
    command(CM_USE_FILE_COMMENT);
    EXPECT_EQ(prompts.size(), 1u) << "65535 bytes fit";
    EXPECT_TRUE(archive_comment(archive) == lines_of(65535));
}

TEST_F(CommentTest, ACommentOf65535BytesIsEditedAndSavedWhole) {
    const std::string long_comment = lines_of(65535);
    std::string archive = open(long_comment);
    EXPECT_EQ(box_text().size(), long_comment.size()); // the main window's box shows it whole
    edit_comment([](ui::Dialog& d) { d.click(IDOK); });
    EXPECT_EQ(shown_text.size(), long_comment.size());
    std::string saved = archive_comment(archive);
    EXPECT_EQ(saved.size(), long_comment.size());
    EXPECT_TRUE(saved == long_comment);
    EXPECT_TRUE(prompts.empty());
}

TEST_F(CommentTest, CommentThatCannotBeWrittenIsReportedAndTheBoxShowsTheFile) {
    std::string archive = open("old comment");
    ASSERT_TRUE(platform::set_attributes(archive.c_str(), platform::kAttrReadOnly));
    edit_comment([](ui::Dialog& d) {
        d.set_text(IDC_COMMENT_EDIT, "new comment");
        d.click(IDOK);
    });
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].text, "Can't open file");
    EXPECT_EQ(archive_comment(archive), "old comment");
    EXPECT_EQ(box_text(), "old comment");
    platform::set_attributes(archive.c_str(), 0);
}

TEST_F(CommentTest, CommentBoxPopUpOffersEditComment) {
    std::string archive = open("old comment");
    ASSERT_TRUE(IsWindowEnabled(win().comment_box()));
    popup_choice = CM_SELECT_COMMENT;
    on_dialog = [](ui::Dialog& d) {
        d.set_text(IDC_COMMENT_EDIT, "from the pop-up");
        d.click(IDOK);
    };
    SendMessageA(win().comment_box(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
    pump();
    ASSERT_EQ(popups.size(), 1u);
    EXPECT_EQ(popups[0], (std::vector<std::pair<std::string, bool>>{{"Edit Comment", true}}));
    EXPECT_EQ(dialogs, std::vector<std::string>{"ZCOM_DLG"});
    EXPECT_EQ(archive_comment(archive), "from the pop-up");
}

TEST_F(CommentTest, EditNeedsAFixedOrNetworkDriveUseNeedsASelection) {
    open("old comment", {text_member("a.txt", "a")});
    const struct {
        std::uint32_t drive;
        bool box, edit;
    } cases[] = {
        {kDriveTypeFixed, true, true},
        {kDriveTypeNetwork, false, true},
        {kDriveTypeRemovable, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.drive);
        app().engine.drive_type = c.drive;
        win().refreshList();
        EXPECT_EQ(IsWindowEnabled(win().comment_box()) != 0, c.box);
        EXPECT_EQ(menu_item_enabled(CM_SELECT_COMMENT), c.edit);
    }
    EXPECT_FALSE(menu_item_enabled(CM_USE_FILE_COMMENT));
    select_rows({0});
    EXPECT_TRUE(menu_item_enabled(CM_USE_FILE_COMMENT));
}

} // namespace
} // namespace test
