// The progress dialog: its fields, gauges and lists as the engine feeds
// them, the scrolling of its lists, when it closes by itself and when it
// waits, and Cancel reaching a running job.
#include "app/resource.h"
#include "gui_support.h"
#include "ops/drives.h"
#include "ops/extract.h"
#include "zip/errors.h"

namespace test {
namespace {

int gauge(HWND dialog, int id) {
    return static_cast<int>(SendMessageA(GetDlgItem(dialog, id), PBM_GETPOS, 0, 0));
}

std::vector<std::string> lines(HWND dialog, int id) {
    HWND list = GetDlgItem(dialog, id);
    std::vector<std::string> out;
    for (LRESULT i = 0; i < SendMessageA(list, LB_GETCOUNT, 0, 0); ++i) {
        char text[600] = {};
        SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        out.push_back(text);
    }
    return out;
}

int top_line(HWND dialog, int id) {
    return static_cast<int>(SendMessageA(GetDlgItem(dialog, id), LB_GETTOPINDEX, 0, 0));
}

int visible_rows(HWND dialog, int id) {
    HWND list = GetDlgItem(dialog, id);
    RECT rc;
    GetClientRect(list, &rc);
    return static_cast<int>(rc.bottom / SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
}

std::string field(HWND dialog, int id) {
    return ui::window_text(GetDlgItem(dialog, id));
}

// Width in pixels of a control's text drawn in the control's own font.
int text_width(HWND control) {
    std::string text = ui::window_text(control);
    HDC dc = GetDC(control);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
    SIZE size = {};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size.cx;
}

int client_width(HWND control) {
    RECT rc;
    GetClientRect(control, &rc);
    return rc.right - rc.left;
}

// A key pressed on the control that has the focus, delivered through the
// program's own message handling as the keyboard would deliver it.
void press_key(WPARAM key) {
    HWND target = GetFocus();
    PostMessageA(target, WM_KEYDOWN, key, 1);
    PostMessageA(target, WM_KEYUP, key, 0xC0000001);
    ui::pump_messages();
}

class ProgressTest : public ZarvoWindowTest {
  protected:
    void SetUp() override {
        ZarvoWindowTest::SetUp();
        write_ini_with_work();
        ASSERT_TRUE(start());
    }
    std::int32_t error = 0;
    std::uint32_t warnings = 0;
};

TEST(ProgressPercent, PartLeftAndPercentageSaved) {
    const struct {
        std::uint32_t u, c;
        int percent;
    } cases[] = {{0, 0, 0},  {1000, 250, 75}, {100, 0, 100}, {10, 12, 0},
                 {3, 1, 67}, {3, 2, 33},      {3, 3, 0},     {0xFFFFFFFFu, 0x80000000u, 50},
                 {7, 1, 86}};
    for (const auto& c : cases)
        EXPECT_EQ(progressPercent(c.u, c.c), c.percent) << c.u << " " << c.c;
}

TEST_F(ProgressTest, FieldsGaugesAndLinesFollowTheJob) {
    ProgressDlg dialog(win().hwnd(), &error, &warnings);
    ASSERT_TRUE(dialog.open());
    HWND d = dialog.hwnd();
    EXPECT_FALSE(IsWindowEnabled(frame().hwnd())) << "no second command while a job runs";
    EXPECT_EQ(field(d, IDC_WARNINGS), "Warnings: 0");
    EXPECT_EQ(field(d, IDC_PROGRESS_BUTTON), "Cancel");

    dialog.SetCaption("Adding files");
    dialog.StartJob("C:\\zips\\some.zip", 3);
    EXPECT_EQ(ui::window_text(d), "Adding files");
    EXPECT_EQ(field(d, IDC_ARCHIVE_FIELD), "some.zip");
    const struct {
        const char* name;
        const char* shown;
        const char* number;
        int job_gauge;
    } files[] = {{"docs/readme.txt", "readme.txt", " 1  of  3 ", 33},
                 {"C:\\dir\\a.txt", "a.txt", " 2  of  3 ", 67},
                 {"plain", "plain", " 3  of  3 ", 100}};
    for (const auto& f : files) {
        dialog.SetFile(f.name);
        EXPECT_EQ(field(d, IDC_FILE_FIELD), f.shown);
        EXPECT_EQ(field(d, IDC_FILE_NUMBER), f.number);
        EXPECT_EQ(gauge(d, IDC_FILE_GAUGE), 0) << "each file starts its gauge again";
        dialog.FileProgress(1000, 250);
        EXPECT_EQ(gauge(d, IDC_FILE_GAUGE), 25);
        dialog.Step();
        EXPECT_EQ(gauge(d, IDC_JOB_GAUGE), f.job_gauge);
    }
    dialog.LogAdded("Add", "C:\\src\\shrank.txt", 1000, 250);
    dialog.LogAdded("Add", "C:\\src\\grew.bin", 10, 12);
    dialog.LogLine("Store Dir", "C:\\src\\empty\\");
    dialog.LogResult("Copy", "docs\\kept.txt", 0);
    dialog.LogResult("Add", "C:\\src\\locked.txt", 1);
    warnings = 1; // the engine counts before it reports
    dialog.AddWarning("Warning: something to see");
    EXPECT_EQ(lines(d, IDC_RESULT_LIST),
              (std::vector<std::string>{"Add:  shrank.txt  [75%]", "Add:  grew.bin  [0%]",
                                        "Store Dir:  C:\\src\\empty\\", "Copy:  kept.txt"}));
    EXPECT_EQ(lines(d, IDC_PROBLEM_LIST),
              (std::vector<std::string>{"Add:  locked.txt  [FAIL]", "Warning: something to see"}));
    EXPECT_EQ(field(d, IDC_WARNINGS), "Warnings: 1");
    std::string long_name(300, 'n'); // lines are never cut
    dialog.LogLine("Extract", long_name.c_str());
    EXPECT_EQ(lines(d, IDC_RESULT_LIST).back(), "Extract:  " + long_name);

    dialog.FinishJob();
    EXPECT_EQ(gauge(d, IDC_JOB_GAUGE), 100);
    EXPECT_EQ(field(d, IDC_PROGRESS_BUTTON), "Done");
    dialog.close(); // a warning: waits until "Done" is pressed (the fixture presses it)
    EXPECT_EQ(progress_ops.back(), "Waiting");
    EXPECT_TRUE(dialog.done());
    EXPECT_TRUE(IsWindowEnabled(frame().hwnd()));
    EXPECT_FALSE(IsWindow(d));
}

TEST_F(ProgressTest, ListsScrollOneLineForEveryLineOnceFull) {
    ProgressDlg dialog(win().hwnd(), &error, &warnings);
    ASSERT_TRUE(dialog.open());
    HWND d = dialog.hwnd();
    ASSERT_EQ(visible_rows(d, IDC_RESULT_LIST), 7);
    ASSERT_EQ(visible_rows(d, IDC_PROBLEM_LIST), 3);
    for (int i = 1; i <= 7; ++i)
        dialog.AddLine(("result " + std::to_string(i)).c_str(), 0);
    EXPECT_EQ(top_line(d, IDC_RESULT_LIST), 0);
    for (int i = 8; i <= 10; ++i) {
        dialog.AddLine(("result " + std::to_string(i)).c_str(), 0);
        EXPECT_EQ(top_line(d, IDC_RESULT_LIST), i - 7) << "the newest line stays in view";
    }
    for (int i = 1; i <= 5; ++i)
        dialog.AddLine(("problem " + std::to_string(i)).c_str(), 1);
    EXPECT_EQ(top_line(d, IDC_PROBLEM_LIST), 2);
    EXPECT_EQ(top_line(d, IDC_RESULT_LIST), 3) << "the lists scroll on their own";
    dialog.FinishJob();
    dialog.close();
}

TEST_F(ProgressTest, ClosesByItselfUnlessPauseOrAProblem) {
    const struct {
        int pause;
        std::int32_t error;
        bool waits;
    } cases[] = {{0, 0, false}, {1, 0, true}, {0, 8, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "pause " << c.pause << " error " << c.error);
        app().settings.pauseWhenDone = c.pause;
        error = c.error;
        progress_ops.clear();
        std::string button_while_waiting;
        on_progress = [&](ProgressDlg& d, const char* op) {
            if (std::string(op) == "Waiting")
                button_while_waiting = field(d.hwnd(), IDC_PROGRESS_BUTTON);
        };
        ProgressDlg dialog(win().hwnd(), &error, &warnings);
        ASSERT_TRUE(dialog.open());
        dialog.StartJob("a.zip", 1);
        dialog.FinishJob();
        dialog.close();
        EXPECT_EQ(!progress_ops.empty() && progress_ops.back() == "Waiting", c.waits);
        if (c.waits) EXPECT_EQ(button_while_waiting, "Done");
        EXPECT_TRUE(IsWindowEnabled(frame().hwnd()));
    }
}

TEST_F(ProgressTest, CancelStopsARunningExtractionAndWaits) {
    std::vector<ZipMember> members;
    for (int i = 0; i < 6; ++i)
        members.push_back({"file" + std::to_string(i) + ".txt", Bytes(5000, 'a' + i)});
    std::string archive = write_zip("six.zip", members);
    file_answer = archive;
    command(CM_OPEN);
    ASSERT_EQ(rows(), 6);
    for (int pressed : {IDC_PROGRESS_BUTTON, IDCANCEL}) { // the button, and Escape or the close box
        SCOPED_TRACE(pressed);
        int files_seen = 0;
        std::vector<std::string> problems;
        on_progress = [&](ProgressDlg& d, const char* op) {
            std::string o = op;
            if (o == "SetFile" && ++files_seen == 2)
                SendMessageA(d.hwnd(), WM_COMMAND, MAKEWPARAM(pressed, BN_CLICKED),
                             reinterpret_cast<LPARAM>(d.item(pressed)));
            if (o == "Waiting") problems = lines(d.hwnd(), IDC_PROBLEM_LIST);
        };
        win().cmSelectAll();
        win().markSelected(0);
        std::string out = dir.dos(pressed == IDCANCEL ? "out-escape" : "out-button");
        int r = extract_files(app().engine, app().catalog, win().hwnd(), archive.c_str(),
                              out.c_str(), 0, 8);
        EXPECT_EQ(r, 8);
        ASSERT_FALSE(problems.empty()) << "the dialog waited for Done";
        EXPECT_EQ(problems.back(), "User canceled");
        EXPECT_EQ(platform::get_attributes((out + "\\file5.txt").c_str()),
                  platform::kInvalidAttributes)
            << "the job stopped";
        EXPECT_TRUE(IsWindowEnabled(frame().hwnd()));
    }
}

TEST_F(ProgressTest, ReturnIsDoneOnlyOnceTheJobHasEndedEscapeAsBefore) {
    const struct {
        WPARAM key;
        int focus; // the control that has the focus when the key comes
        bool ended;
        std::int32_t error_after; // the job's error once the key was handled
        bool done;
    } cases[] = {
        {VK_RETURN, IDC_PROGRESS_BUTTON, false, 0, false}, // never cancels a running job
        {VK_RETURN, IDC_RESULT_LIST, false, 0, false},
        {VK_ESCAPE, IDC_PROGRESS_BUTTON, false, 8, false}, // cancels, the job winds down
        {VK_RETURN, IDC_PROGRESS_BUTTON, true, 0, true},
        {VK_RETURN, IDC_RESULT_LIST, true, 0, true},
        {VK_ESCAPE, IDC_RESULT_LIST, true, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "key " << c.key << " focus " << c.focus << " ended " << c.ended);
        error = 0;
        warnings = 0;
        app().settings.pauseWhenDone = 1;
        ProgressDlg dialog(win().hwnd(), &error, &warnings);
        ASSERT_TRUE(dialog.open());
        HWND d = dialog.hwnd();
        dialog.StartJob("a.zip", 2);
        dialog.SetFile("one.txt");
        if (c.ended) {
            dialog.SetFile("two.txt");
            dialog.FinishJob();
            EXPECT_EQ(SendMessageA(d, DM_GETDEFID, 0, 0),
                      MAKELONG(IDC_PROGRESS_BUTTON, DC_HASDEFID));
        }
        // As Tab moves it: a focused push button becomes the default one.
        SendMessageA(d, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(dialog.item(c.focus)), TRUE);
        ASSERT_EQ(GetFocus(), dialog.item(c.focus));
        press_key(c.key);
        EXPECT_EQ(error, c.error_after);
        EXPECT_EQ(dialog.done(), c.done);
        EXPECT_TRUE(IsWindow(d));
        if (!c.ended) {
            EXPECT_EQ(field(d, IDC_PROGRESS_BUTTON), c.error_after ? "Done" : "Cancel");
            // Cancelled or not, the job runs on to its end; Return still
            // waits for that.
            press_key(VK_RETURN);
            EXPECT_FALSE(dialog.done());
            dialog.FinishJob();
            press_key(VK_RETURN);
            EXPECT_TRUE(dialog.done());
        }
        progress_ops.clear();
        dialog.close();
        EXPECT_TRUE(progress_ops.empty() || progress_ops.back() != "Waiting")
            << "the key had answered Done already";
        EXPECT_FALSE(IsWindow(d));
    }
}

TEST_F(ProgressTest, DoneHasTheFocusWhenTheJobEnds) {
    ProgressDlg dialog(win().hwnd(), &error, &warnings);
    ASSERT_TRUE(dialog.open());
    dialog.StartJob("a.zip", 1);
    SetFocus(dialog.item(IDC_RESULT_LIST));
    ASSERT_EQ(GetActiveWindow(), dialog.hwnd());
    dialog.FinishJob();
    EXPECT_EQ(GetFocus(), dialog.item(IDC_PROGRESS_BUTTON));
    dialog.close();
}

TEST_F(ProgressTest, CancelAtADiskPromptIsUserCanceledInTheDialog) {
    // A job that needs another disk of a set asks for it; Cancel there ends
    // the job with error 8, which the dialog shows as its problem line.
    zip& z = app().engine;
    z.error = 0;
    z.warnings = 0;
    z.current_disk = 0;
    platform::copy_bounded(z.archive_path, sizeof z.archive_path,
                           write_zip("set.zip", {{"a", {'a'}}}).c_str());
    ProgressDlg dialog(win().hwnd(), &z.error, &z.warnings);
    ASSERT_TRUE(dialog.open());
    z.progress = &dialog;
    answer = [](const platform::Prompt&) { return int(platform::kIdCancel); };
    ask_for_disk(z, 2);
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].text, "Insert disk # 3 ");
    EXPECT_EQ(prompts[0].caption, "Paused");
    EXPECT_EQ(prompts[0].style, platform::kMbOkCancel | platform::kMbIconStop);
    EXPECT_EQ(z.error, 8);
    zip_error(z, z.error); // the job's report at its end
    EXPECT_EQ(lines(dialog.hwnd(), IDC_PROBLEM_LIST), std::vector<std::string>{"User canceled"});
    z.progress = nullptr;
    dialog.FinishJob();
    dialog.close();
    EXPECT_EQ(progress_ops.back(), "Waiting") << "an error keeps the dialog up until Done";
    z.error = 0;
}

// The file number of a large job is shown whole: the field beside "File #:"
// holds the widest text of the job uncut.
TEST_F(ProgressTest, FileNumberOfLargeJobsFitsItsField) {
    for (int total : {20000, 1000000, 99999999}) {
        ProgressDlg dialog(win().hwnd(), &error, &warnings);
        ASSERT_TRUE(dialog.open());
        HWND d = dialog.hwnd();
        dialog.StartJob("C:\\zips\\big.zip", total);
        dialog.SetFile("a.txt");
        HWND number = GetDlgItem(d, IDC_FILE_NUMBER);
        std::string first = " 1  of  " + std::to_string(total) + " ";
        EXPECT_EQ(ui::window_text(number), first);
        EXPECT_LE(text_width(number), client_width(number)) << first;
        // The last file's text, the widest of the job, in the same field.
        std::string last = " " + std::to_string(total) + "  of  " + std::to_string(total) + " ";
        SetWindowTextA(number, last.c_str());
        EXPECT_LE(text_width(number), client_width(number)) << last;
        // The wider field does not run into the file name beside it.
        RECT field, name;
        GetWindowRect(number, &field);
        GetWindowRect(GetDlgItem(d, IDC_FILE_FIELD), &name);
        EXPECT_LE(name.right, field.left);
        dialog.FinishJob();
        dialog.close();
    }
}

} // namespace
} // namespace test
