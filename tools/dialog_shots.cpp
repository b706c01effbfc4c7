// zarvo-shots: pictures of zarvo's menus and job dialogs, for scripts/run.
// It runs the archive manager's own windows in this process on ARCHIVE:
// opens the Select menu's "Sort by" submenu with keys and takes the window
// with the menus, opens the Add Files dialog of the Add command and takes
// it; then opens LARGE_ARCHIVE (one of many members), extracts all of it
// through the Extract command and takes the progress dialog mid-job (after
// 216 files), and cancels the job. The dialogs are answered by the same
// hooks the GUI tests use.
//
//   zarvo-shots.exe OUT_FOLDER ARCHIVE LARGE_ARCHIVE [SUFFIX]
//
// Writes sort-menu, add-files and progress .png into OUT_FOLDER, each name
// followed by SUFFIX (e.g. "-144"); exit 1 when a picture could not be made.
#include <cstdio>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/progress_dlg.h"
#include "app/resource.h"
#include "app/zarvo_app.h"
#include "ops/paths.h"
#include "ui/application.h"
#include "ui/dialog.h"
#include "window_image.h"

namespace {

// Lets the window be drawn on the virtual display, then saves it.
bool save_picture(HWND window, const std::string& path) {
    ShowWindow(window, SW_SHOW);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    for (int i = 0; i < 10; ++i) {
        ui::pump_messages();
        Sleep(50);
    }
    window_image::Image image;
    std::string error;
    if (!window_image::capture(window, "screen", image, error) ||
        !window_image::write_file(path, window_image::encode_png(image))) {
        std::fprintf(stderr, "zarvo-shots: %s: %s\n", path.c_str(),
                     error.empty() ? "cannot write" : error.c_str());
        return false;
    }
    std::printf("zarvo-shots: %dx%d %s\n", image.width, image.height, path.c_str());
    return true;
}

bool write_picture(const window_image::Image& image, const std::string& path) {
    if (!window_image::write_file(path, window_image::encode_png(image))) {
        std::fprintf(stderr, "zarvo-shots: %s: cannot write\n", path.c_str());
        return false;
    }
    std::printf("zarvo-shots: %dx%d %s\n", image.width, image.height, path.c_str());
    return true;
}

BOOL CALLBACK add_menu_rect(HWND w, LPARAM out) {
    char cls[16] = {};
    GetClassNameA(w, cls, sizeof cls);
    RECT r;
    if (std::string(cls) == "#32768" && IsWindowVisible(w) && GetWindowRect(w, &r))
        UnionRect(reinterpret_cast<RECT*>(out), reinterpret_cast<RECT*>(out), &r);
    return TRUE;
}

// The steps of the menu picture, run by a thread timer inside the menu's
// own message loop.
struct MenuShot {
    HWND frame = nullptr;
    std::string path;
    int step = 0;
    bool taken = false;
} g_menu;

void CALLBACK menu_step(HWND, UINT, UINT_PTR timer, DWORD) {
    switch (g_menu.step++) {
    case 0: // the Select menu is open: its letter opens "Sort by"
        PostMessageA(g_menu.frame, WM_CHAR, 'S', 0);
        break;
    case 1: { // both menus are drawn
        RECT r;
        GetWindowRect(g_menu.frame, &r);
        EnumWindows(add_menu_rect, reinterpret_cast<LPARAM>(&r));
        window_image::Image image;
        std::string error;
        if (window_image::capture_rect(r, nullptr, image, error))
            g_menu.taken = write_picture(image, g_menu.path);
        else
            std::fprintf(stderr, "zarvo-shots: %s: %s\n", g_menu.path.c_str(), error.c_str());
        break;
    }
    default:
        KillTimer(nullptr, timer);
        EndMenu();
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: zarvo-shots OUT_FOLDER ARCHIVE LARGE_ARCHIVE [SUFFIX]\n");
        return 2;
    }
    std::string out = argv[1];
    std::string large = argv[3];
    std::string suffix = argc == 5 ? argv[4] : "";
    char program[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    StartupOutcome start = start_program({argv[2]}, program);
    if (!start.run) return 1;
    std::string destination = std::string(app().settings.workDir) + "shots-extract";
    bool progress_taken = false, add_taken = false;
    // A cancelled job's message must not wait for a user.
    platform::set_prompt_responder([](const platform::Prompt& p) {
        std::fprintf(stderr, "zarvo-shots: answered \"%s\"\n", p.text.c_str());
        return int(platform::kIdOk);
    });

    // The Extract command: a destination in the work folder, replace all.
    ui::set_dialog_hook([&](ui::Dialog& d) {
        if (d.template_name() == "DIRSELECT_DLG") {
            d.set_text(IDC_DESTINATION, destination.c_str());
            d.click(IDC_OK_BUTTON);
        } else if (d.template_name() == "OVERWRITE_DLG") {
            d.click(IDC_YES_TO_ALL);
        } else if (d.template_name() == "ADDFILES_DLG") {
            add_taken = save_picture(d.hwnd(), out + "\\add-files" + suffix + ".png");
            d.click(IDCANCEL);
        } else {
            d.click(IDCANCEL);
        }
    });
    int files = 0;
    ProgressDlg::set_observer([&](ProgressDlg& d, const char* op) {
        std::string o = op;
        if (o == "SetFile" && ++files == 216 && !progress_taken) {
            progress_taken = save_picture(d.hwnd(), out + "\\progress" + suffix + ".png");
            d.click(IDC_PROGRESS_BUTTON); // the picture is all the job was for
        }
        if (o == "Waiting") d.click(IDC_PROGRESS_BUTTON);
    });
    {
        Zarvo95App application;
        if (application.init_main_window(true)) {
            ui::pump_messages();
            TAppWin& win = *application.window();
            g_menu.frame = application.frame()->hwnd();
            g_menu.path = out + "\\sort-menu" + suffix + ".png";
            SetForegroundWindow(g_menu.frame);
            SetTimer(nullptr, 0, 400, menu_step);
            // Alt+S as the keyboard opens the Select menu; the menu's loop
            // runs the timer's steps and ends with EndMenu.
            SendMessageA(g_menu.frame, WM_SYSCOMMAND, SC_KEYMENU, 's');
            ui::pump_messages();
            win.execute_command(CM_ADD);
            platform::copy_bounded(app().archivePath, sizeof app().archivePath, large.c_str());
            win.openArchiveView();
            ui::pump_messages();
            win.cmSelectAll();
            win.execute_command(CM_EXTRACT);
        }
    }
    ui::set_dialog_hook(nullptr);
    ProgressDlg::set_observer(nullptr);
    end_program(); // empties the work folder, the extracted files with it
    if (!g_menu.taken) std::fprintf(stderr, "zarvo-shots: no picture of the Sort by menu\n");
    if (!progress_taken) std::fprintf(stderr, "zarvo-shots: no picture of the progress dialog\n");
    if (!add_taken) std::fprintf(stderr, "zarvo-shots: no picture of the Add Files dialog\n");
    return g_menu.taken && progress_taken && add_taken ? 0 : 1;
}
