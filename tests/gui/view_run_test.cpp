// View, Run and Remove with the real windows: the member put into the work
// folder and opened by a stand-in for the viewer, the watcher's freshen
// question, and removing members.
#include <algorithm>
#include <fstream>

#include "app/resource.h"
#include "app/view_run.h"
#include "gui_support.h"
#include "ops/extract.h"
#include "ui/process.h"
#include "zip/open_archive.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace test {
namespace {

const platform::DosTime kEdited = {0x5A21, 0x7000}; // 2025-01-01 14:00

ZipMember text_member(const std::string& name, const std::string& text) {
    ZipMember m;
    m.name = name;
    m.data = Bytes(text.begin(), text.end());
    return m;
}

// The archive as the engine reads it afresh: member names and one member's data.
std::vector<std::string> archive_names(const std::string& archive) {
    zip z;
    zlist catalog;
    std::vector<std::string> out;
    if (open_archive(z, catalog, archive.c_str()) != 0) return {"<unreadable>"};
    for (const auto& e : catalog.entries)
        out.push_back(e->name);
    return out;
}

std::string member_text(const std::string& archive, const std::string& name) {
    zip z;
    zlist catalog;
    if (open_archive(z, catalog, archive.c_str()) != 0) return "<unreadable>";
    for (const auto& e : catalog.entries)
        if (e->name == name) catalog.mark(e.get());
    if (catalog.marked != 1) return "<missing>";
    std::vector<std::uint8_t> buffer(65537);
    if (extract_to_memory(z, catalog, nullptr, archive.c_str(), buffer.data(), 65536) != 0)
        return "<error>";
    return reinterpret_cast<const char*>(buffer.data());
}

Bytes file_bytes(const std::string& host_path) {
    return read_host_file(host_path);
}

// Writes text into the file and gives it the time t, as an editor's save would.
void save_as_editor(const std::string& path, const std::string& text, platform::DosTime t) {
    platform::ScopedFile f(platform::create_file(path.c_str()));
    ASSERT_TRUE(f.valid()) << path;
    std::uint32_t written = 0;
    ASSERT_TRUE(platform::write_file(f.get(), text.data(), static_cast<std::uint32_t>(text.size()),
                                     &written));
    ASSERT_TRUE(platform::set_file_time(f.get(), t));
}

bool has_dialog(const std::vector<std::string>& dialogs, const std::string& name) {
    return std::find(dialogs.begin(), dialogs.end(), name) != dialogs.end();
}

// Stands in for the viewer and the shell: every start is recorded, and the
// "program" is an event the test signals when the program should have ended.
class ViewRunTest : public ZarvoWindowTest {
  protected:
    void SetUp() override {
        ZarvoWindowTest::SetUp();
        ui::set_start_process_hook(
            [this](const std::string& line, const std::string& folder, HANDLE* thread) {
                starts.push_back({line, folder});
                if (!viewer_starts) return false;
                if (program_edits) program_edits();
                HANDLE ended = CreateEventA(nullptr, TRUE, program_ends_at_once, nullptr);
                programs.push_back(ended);
                DuplicateHandle(GetCurrentProcess(), ended, GetCurrentProcess(), thread, 0, FALSE,
                                DUPLICATE_SAME_ACCESS);
                return true;
            });
        ui::set_association_hook([this](const std::string& file, const std::string& folder) {
            association_requests.push_back({file, folder});
            return association;
        });
    }
    void TearDown() override {
        ZarvoWindowTest::TearDown();
        // Watchers still waiting end now; their window is gone.
        for (HANDLE h : programs)
            SetEvent(h);
        EXPECT_TRUE(watchers_ended());
        for (HANDLE h : programs)
            CloseHandle(h);
        ui::set_start_process_hook(nullptr);
        ui::set_association_hook(nullptr);
    }

    std::string open(const std::vector<ZipMember>& members) {
        write_ini_with_work();
        std::string archive = write_zip("test.zip", members);
        EXPECT_TRUE(start({archive}));
        EXPECT_EQ(win().archiveOpen(), 1);
        EXPECT_EQ(app().engine.drive_type, kDriveTypeFixed);
        return archive;
    }
    std::string in_work(const std::string& name) { return work_dos() + "\\" + name; }
    void double_click() {
        NMITEMACTIVATE nm = {};
        nm.hdr.hwndFrom = list();
        nm.hdr.idFrom = IDC_MEMBER_LIST;
        nm.hdr.code = NM_DBLCLK;
        SendMessageA(win().hwnd(), WM_NOTIFY, IDC_MEMBER_LIST, reinterpret_cast<LPARAM>(&nm));
        pump();
    }
    // View (run false) or Run (run true) of the first row.
    void view_or_run(bool run) {
        select_rows({0});
        if (run)
            double_click();
        else
            command(CM_VIEW);
    }
    // The one message the command showed: an exclamation owned by the main window.
    void expect_warning(const char* text, const char* caption) {
        ASSERT_EQ(prompts.size(), 1u);
        EXPECT_EQ(prompts[0].text, text);
        EXPECT_EQ(prompts[0].caption, caption);
        EXPECT_EQ(prompts[0].style, platform::kMbOk | platform::kMbIconExclamation);
        EXPECT_EQ(prompts[0].owner, win().hwnd());
    }
    // Pumps until every watcher has ended (false after 5 s).
    bool watchers_ended() {
        for (int i = 0; i < 500; ++i) {
            if (application) pump();
            if (viewWatchersRunning() == 0) {
                if (application) pump();
                return true;
            }
            Sleep(10);
        }
        return false;
    }
    // Pumps until the freshen question was asked (false after 5 s).
    bool freshen_asked() {
        for (int i = 0; i < 500; ++i) {
            pump();
            if (has_dialog(dialogs, "FRESHEN_DLG")) return true;
            Sleep(10);
        }
        return false;
    }

    struct Start {
        std::string line, folder;
    };
    std::vector<Start> starts;
    bool viewer_starts = true;
    bool program_ends_at_once = true;
    std::function<void()> program_edits;
    std::vector<HANDLE> programs;
    std::vector<std::pair<std::string, std::string>> association_requests;
    std::string association;
};

TEST_F(ViewRunTest, ViewExtractsTheFirstSelectedMemberAloneAndQuotesItsPathForTheViewer) {
    // A work folder with a blank in its name, and something an earlier View left.
    std::string work = dir.dos("my work");
    write_ini("[Directores]\r\nWork=" + work + "\r\n[Programs]\r\nViewer=NOTEPAD.EXE\r\n");
    ZipMember readme = text_member("docs/readme.txt", "read me");
    readme.external_attributes = platform::kAttrReadOnly;
    std::string archive =
        write_zip("test.zip", {text_member("a.txt", "a"), readme, text_member("z.txt", "z")});
    ASSERT_TRUE(start({archive}));
    save_as_editor(work + "\\left-over.txt", "old", kEdited);

    select_rows({1, 2});
    command(CM_VIEW);

    std::string extracted = work + "\\readme.txt";
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].line, "NOTEPAD.EXE \"" + extracted + "\"");
    EXPECT_TRUE(same_dos_path(starts[0].folder, work));
    EXPECT_EQ(file_bytes(dir.host("my work/readme.txt")),
              Bytes({'r', 'e', 'a', 'd', ' ', 'm', 'e'}));
    EXPECT_EQ(platform::get_attributes(extracted.c_str()) & platform::kAttrReadOnly, 0u)
        << "a read-only member is made editable";
    std::vector<platform::FindData> found;
    ASSERT_TRUE(platform::find_files((work + "\\*.*").c_str(), &found));
    std::vector<std::string> files;
    for (const platform::FindData& f : found)
        files.push_back(f.name);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{kWorkFolderMark, "readme.txt"}))
        << "only the viewed member, beside the work folder's mark";
    EXPECT_TRUE(prompts.empty());
    EXPECT_TRUE(association_requests.empty()) << "View does not ask the shell";
}

TEST_F(ViewRunTest, StoredFolderIsNeitherViewedNorRun) {
    ZipMember folder = text_member("docs/", "");
    folder.external_attributes = platform::kAttrDirectory;
    open({folder, text_member("docs/readme.txt", "x")});
    const struct {
        bool run;
        const char* text;
    } cases[] = {{false, "Can't view a stored directory."},
                 {true, "Can't run a stored directory."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        prompts.clear();
        view_or_run(c.run);
        expect_warning(c.text, "Nothing to do");
    }
    EXPECT_TRUE(starts.empty());
    EXPECT_EQ(platform::get_attributes(in_work("readme.txt").c_str()),
              platform::kInvalidAttributes);
}

TEST_F(ViewRunTest, RunOpensWithTheAssociatedProgramElseWithTheViewer) {
    open({text_member("notes.xyz", "n")});
    const struct {
        std::string association;
        std::string program;
    } cases[] = {
        {"C:\\Program Files\\Editor\\edit.exe", "\"C:\\Program Files\\Editor\\edit.exe\""},
        {"", "NOTEPAD.EXE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.association);
        starts.clear();
        association_requests.clear();
        association = c.association;
        select_rows({0});
        double_click();
        std::string extracted = in_work("notes.xyz");
        ASSERT_EQ(association_requests.size(), 1u);
        EXPECT_EQ(association_requests[0].first, extracted);
        EXPECT_TRUE(same_dos_path(association_requests[0].second, work_dos()));
        ASSERT_EQ(starts.size(), 1u);
        EXPECT_EQ(starts[0].line, c.program + " \"" + extracted + "\"");
    }
    EXPECT_TRUE(prompts.empty());
}

TEST_F(ViewRunTest, ProgramThatCannotStartIsReportedAndNotWatched) {
    open({text_member("notes.xyz", "n")});
    viewer_starts = false;
    const struct {
        bool run;
        const char* text;
    } cases[] = {{false, "Can't start the viewer program"}, {true, "No association for the file"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        prompts.clear();
        view_or_run(c.run);
        expect_warning(c.text, "Warning");
        EXPECT_EQ(viewWatchersRunning(), 0);
    }
}

TEST_F(ViewRunTest, ExtractionErrorStartsNoProgram) {
    std::string archive = open({text_member("readme.txt", "text")});
    // Replaced behind the window's back by a file that is no archive.
    std::ofstream(archive, std::ios::binary | std::ios::trunc) << "no archive";
    select_rows({0});
    command(CM_VIEW);
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].text, "Bad zip structure"); // too short to hold an end record
    EXPECT_TRUE(starts.empty());
}

// No stand-in: a real program is started, its thread handle waited for,
// and the file it changed offered for freshening.
TEST_F(ViewRunTest, RealProgramThatChangesTheFileIsWaitedForAndOffered) {
    ui::set_start_process_hook(nullptr);
    std::string source = dir.write("edited.txt", Bytes{'e', 'd', 'i', 't', 'e', 'd'});
    write_ini("[Directores]\r\nWork=" + work_dos() +
              "\r\n[Programs]\r\nViewer=cmd.exe /c copy /y " + source + "\r\n");
    std::string archive = write_zip("test.zip", {text_member("readme.txt", "old text")});
    ASSERT_TRUE(start({archive}));
    on_dialog = [](ui::Dialog& d) { d.click(IDOK); };
    select_rows({0});
    command(CM_VIEW);
    EXPECT_TRUE(prompts.empty());
    ASSERT_TRUE(freshen_asked());
    EXPECT_EQ(member_text(archive, "readme.txt"), "edited");
}

TEST(ViewProcess, StartsInTheFolderAndHandsBackAThreadThatEnds) {
    TempDir dir;
    HANDLE thread = nullptr;
    ASSERT_TRUE(ui::start_process("cmd.exe /c cd > where.txt", dir.dos(""), &thread));
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 20000), WAIT_OBJECT_0);
    CloseHandle(thread);
    std::string where;
    for (std::uint8_t b : read_host_file(dir.host("where.txt")))
        if (b != '\r' && b != '\n') where += static_cast<char>(b);
    EXPECT_TRUE(same_dos_path(where, dir.dos(""))) << where;

    EXPECT_FALSE(ui::start_process("no-such-program-here.exe x", dir.dos(""), &thread));
    EXPECT_EQ(thread, nullptr);
}

TEST_F(ViewRunTest, EditedFileIsOfferedForFreshenAndYesPutsItIntoTheArchive) {
    for (int answer : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(answer == IDOK ? "Yes" : "No");
        dialogs.clear();
        std::string archive =
            open({text_member("a.txt", "a"), text_member("docs/readme.txt", "old text"),
                  text_member("z.txt", "z")});
        Bytes before = file_bytes(dir.host("test.zip"));
        std::string extracted = in_work("readme.txt");
        program_edits = [&] { save_as_editor(extracted, "new text", kEdited); };
        std::string asked_name, caption;
        on_dialog = [&](ui::Dialog& d) {
            caption = ui::window_text(d.hwnd());
            asked_name = d.text(IDC_FRESHEN_NAME);
            d.click(answer);
        };
        select_rows({1});
        command(CM_VIEW);
        ASSERT_TRUE(freshen_asked());
        EXPECT_EQ(caption, "ZARVO - File has changed");
        EXPECT_EQ(asked_name, "docs/readme.txt");
        if (answer == IDOK) {
            EXPECT_EQ(member_text(archive, "docs/readme.txt"), "new text");
            EXPECT_EQ(member_text(archive, "a.txt"), "a");
            EXPECT_EQ(member_text(archive, "z.txt"), "z");
            EXPECT_EQ(names(), (std::vector<std::string>{"a.txt", "docs/readme.txt", "z.txt"}));
            EXPECT_EQ(cell(1, 1), " 1/ 1/2025") << "the list shows the freshened member";
        } else {
            EXPECT_EQ(file_bytes(dir.host("test.zip")), before);
        }
        EXPECT_TRUE(prompts.empty());
        close_program();
    }
}

TEST_F(ViewRunTest, ArchiveGoneBeforeTheFreshenIsReportedAndTheWindowStaysUsable) {
    // Gone while the program ran: no question. Gone while the question was
    // up: Yes finds it gone. Either way the archive is not re-created.
    enum When { kWhileViewing, kWhileAsking };
    const struct {
        const char* name;
        When when;
        bool moved; // else deleted
    } cases[] = {
        {"deleted while viewing", kWhileViewing, false},
        {"moved while viewing", kWhileViewing, true},
        {"deleted while asking", kWhileAsking, false},
        {"moved while asking", kWhileAsking, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.clear();
        prompts.clear();
        program_ends_at_once = false;
        std::string archive = open({text_member("readme.txt", "old text")});
        std::string moved_to = dir.dos("moved.zip");
        Bytes before = file_bytes(dir.host("test.zip"));
        auto take_away = [&] {
            if (c.moved)
                ASSERT_TRUE(MoveFileA(archive.c_str(), moved_to.c_str()));
            else
                ASSERT_TRUE(DeleteFileA(archive.c_str()));
        };
        on_dialog = [&](ui::Dialog& d) {
            if (c.when == kWhileAsking) take_away();
            d.click(IDOK);
        };
        select_rows({0});
        command(CM_VIEW);
        ASSERT_EQ(viewWatchersRunning(), 1);
        if (c.when == kWhileViewing) take_away();
        save_as_editor(in_work("readme.txt"), "new text", kEdited);
        SetEvent(programs.back());
        ASSERT_TRUE(watchers_ended());
        for (int i = 0; i < 100 && prompts.empty(); ++i) {
            pump();
            Sleep(10);
        }
        EXPECT_EQ(has_dialog(dialogs, "FRESHEN_DLG"), c.when == kWhileAsking);
        ASSERT_EQ(prompts.size(), 1u);
        EXPECT_EQ(prompts[0].text, archive + "\n\nThis archive is no longer there: it was moved or "
                                             "deleted after ZARVO read it.");
        EXPECT_EQ(prompts[0].caption, "ZARVO");
        EXPECT_EQ(prompts[0].style, platform::kMbOk | platform::kMbIconExclamation);
        EXPECT_EQ(prompts[0].owner, win().hwnd());
        EXPECT_EQ(win().archiveOpen(), 0);
        EXPECT_EQ(rows(), 0);
        EXPECT_EQ(GetFileAttributesA(archive.c_str()), INVALID_FILE_ATTRIBUTES);
        if (c.moved) EXPECT_EQ(file_bytes(dir.host("moved.zip")), before);

        // Usable: the moved archive opens from the same window.
        if (c.moved) {
            file_answer = moved_to;
            command(CM_OPEN);
            EXPECT_EQ(win().archiveOpen(), 1);
            EXPECT_EQ(names(), std::vector<std::string>{"readme.txt"});
            DeleteFileA(moved_to.c_str());
            file_answer.clear();
        }
        EXPECT_TRUE(IsWindowEnabled(frame().hwnd()));
        EXPECT_EQ(prompts.size(), 1u);
        close_program();
    }
}

TEST_F(ViewRunTest, NoQuestionForAnUnchangedFileOrOffAFixedDisk) {
    const struct {
        const char* what;
        bool edits;
        std::uint32_t drive;
        int watchers;
    } cases[] = {
        {"closed without saving", false, kDriveTypeFixed, 1},
        {"edited on a network drive", true, kDriveTypeNetwork, 0},
        {"edited on a removable disk", true, kDriveTypeRemovable, 0},
    };
    program_ends_at_once = false;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string archive = open({text_member("readme.txt", "old text")});
        Bytes before = file_bytes(dir.host("test.zip"));
        app().engine.drive_type = c.drive;
        select_rows({0});
        command(CM_VIEW);
        ASSERT_EQ(starts.size(), 1u);
        EXPECT_EQ(viewWatchersRunning(), c.watchers);
        if (c.edits) save_as_editor(in_work("readme.txt"), "new text", kEdited);
        SetEvent(programs.back());
        ASSERT_TRUE(watchers_ended());
        EXPECT_FALSE(has_dialog(dialogs, "FRESHEN_DLG"));
        EXPECT_EQ(file_bytes(dir.host("test.zip")), before);
        close_program();
        starts.clear();
    }
}

TEST_F(ViewRunTest, WatcherWhoseWindowIsGoneOrWhoseArchiveWasClosedAsksNothing) {
    program_ends_at_once = false;
    // The main window ended while the program ran; a new one was opened since.
    std::string archive = open({text_member("readme.txt", "old text")});
    Bytes before = file_bytes(dir.host("test.zip"));
    select_rows({0});
    command(CM_VIEW);
    ASSERT_EQ(viewWatchersRunning(), 1);
    close_program();
    ASSERT_TRUE(start({archive}));
    save_as_editor(in_work("readme.txt"), "new text", kEdited);
    SetEvent(programs.back());
    ASSERT_TRUE(watchers_ended());
    for (int i = 0; i < 10; ++i) {
        pump();
        Sleep(10);
    }
    EXPECT_FALSE(has_dialog(dialogs, "FRESHEN_DLG"));
    EXPECT_EQ(file_bytes(dir.host("test.zip")), before);

    // Another archive with a member of the same name was opened meanwhile.
    select_rows({0});
    command(CM_VIEW);
    std::string other = write_zip("other.zip", {text_member("readme.txt", "other text")});
    Bytes other_before = file_bytes(dir.host("other.zip"));
    file_answer = other;
    command(CM_OPEN);
    ASSERT_EQ(win().archiveOpen(), 1);
    save_as_editor(in_work("readme.txt"), "new text", kEdited);
    SetEvent(programs.back());
    ASSERT_TRUE(watchers_ended());
    EXPECT_FALSE(has_dialog(dialogs, "FRESHEN_DLG"));
    EXPECT_EQ(file_bytes(dir.host("other.zip")), other_before);
    EXPECT_EQ(file_bytes(dir.host("test.zip")), before);
}

TEST_F(ViewRunTest, FreshenWaitsUntilAModalDialogIsClosed) {
    program_ends_at_once = false;
    std::string archive = open({text_member("readme.txt", "old text")});
    select_rows({0});
    command(CM_VIEW);
    save_as_editor(in_work("readme.txt"), "new text", kEdited);
    bool asked_inside = true;
    on_dialog = [&](ui::Dialog& d) {
        if (d.template_name() == "SELECTNAME_DLG") {
            // The program ends while this dialog's own loop runs.
            SetEvent(programs.back());
            watchers_ended();
            for (int i = 0; i < 30; ++i) {
                pump();
                Sleep(10);
            }
            asked_inside = has_dialog(dialogs, "FRESHEN_DLG");
            d.click(IDCANCEL);
        } else {
            d.click(IDOK);
        }
    };
    command(CM_NAME_FILTER);
    EXPECT_FALSE(asked_inside) << "no question while another dialog is up";
    ASSERT_TRUE(freshen_asked());
    EXPECT_EQ(member_text(archive, "readme.txt"), "new text");
}

TEST_F(ViewRunTest, RemoveAllIsRefused) {
    std::string archive = open({text_member("a.txt", "a"), text_member("b.txt", "b")});
    Bytes before = file_bytes(dir.host("test.zip"));
    select_rows({0, 1});
    command(CM_REMOVE);
    expect_warning("Can't remove all files. Delete the file instead", "Warning");
    EXPECT_EQ(file_bytes(dir.host("test.zip")), before);
    EXPECT_EQ(rows(), 2);
}

TEST_F(ViewRunTest, RemoveAsksAndRemovesTheSelectedMembersOnlyOnOk) {
    const struct {
        int answer;
        std::vector<std::string> left;
    } cases[] = {
        {platform::kIdOk, {"a.txt", "c.txt"}},
        {platform::kIdCancel, {"a.txt", "b.txt", "c.txt", "d.txt"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        prompts.clear();
        std::string archive = open({text_member("a.txt", "a"), text_member("b.txt", "b"),
                                    text_member("c.txt", "c"), text_member("d.txt", "d")});
        answer = [&](const platform::Prompt&) { return c.answer; };
        select_rows({1, 3});
        command(CM_REMOVE);
        ASSERT_EQ(prompts.size(), 1u);
        EXPECT_EQ(prompts[0].text, "Select OK to remove the selected files.");
        EXPECT_EQ(prompts[0].caption, "Confirm File Removal");
        EXPECT_EQ(prompts[0].style, platform::kMbOkCancel | platform::kMbIconExclamation);
        EXPECT_EQ(archive_names(archive), c.left);
        EXPECT_EQ(names(), c.left) << "the list is read again after OK and after Cancel";
        EXPECT_TRUE(selected_rows().empty());
        if (c.answer == platform::kIdOk) {
            EXPECT_EQ(member_text(archive, "c.txt"), "c");
        }
        close_program();
    }
}

TEST_F(ViewRunTest, RemoveIsRefusedOffFixedAndNetworkDrives) {
    const struct {
        std::uint32_t drive;
        const char* text;
    } cases[] = {
        {kDriveTypeRemovable, "Can't modify files on removable media"},
        {kDriveTypeCdRom, "Can't write to a CD Rom drive"},
        {kDriveTypeRamDisk, "Can't use a Ram Disk"},
        {kDriveTypeNetwork, "Select OK to remove the selected files."},
    };
    std::string archive = open({text_member("a.txt", "a"), text_member("b.txt", "b")});
    Bytes before = file_bytes(dir.host("test.zip"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        prompts.clear();
        app().engine.drive_type = c.drive;
        select_rows({0});
        command(CM_REMOVE);
        ASSERT_EQ(prompts.size(), 1u);
        EXPECT_EQ(prompts[0].text, c.text);
        EXPECT_EQ(file_bytes(dir.host("test.zip")), before) << "Cancel or refusal";
    }
}

} // namespace
} // namespace test
