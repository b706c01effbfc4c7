// zarvo-shots: pictures of zarvo's job dialogs, for scripts/run. It runs the
// archive manager's own windows in this process on an archive, extracts the
// whole archive through the Extract command and takes the progress dialog
// mid-job, then opens the Add Files dialog of the Add command and takes it.
// The dialogs are answered by the same hooks the GUI tests use.
//
//   zarvo-shots.exe OUT_FOLDER ARCHIVE
//
// Writes OUT_FOLDER\progress.png and OUT_FOLDER\add-files.png; exit 1 when a
// picture could not be made.
#include <cstdio>
#include <string>

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

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: zarvo-shots OUT_FOLDER ARCHIVE\n");
        return 2;
    }
    std::string out = argv[1];
    char program[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    StartupOutcome start = start_program({argv[2]}, program);
    if (!start.run) return 1;
    std::string destination = std::string(app().settings.workDir) + "shots-extract";
    bool progress_taken = false, add_taken = false;

    // The Extract command: a destination in the work folder, replace all.
    ui::set_dialog_hook([&](ui::Dialog& d) {
        if (d.template_name() == "DIRSELECT_DLG") {
            d.set_text(IDC_DESTINATION, destination.c_str());
            d.click(IDC_OK_BUTTON);
        } else if (d.template_name() == "OVERWRITE_DLG") {
            d.click(IDC_YES_TO_ALL);
        } else if (d.template_name() == "ADDFILES_DLG") {
            add_taken = save_picture(d.hwnd(), out + "\\add-files.png");
            d.click(IDCANCEL);
        } else {
            d.click(IDCANCEL);
        }
    });
    int files = 0;
    ProgressDlg::set_observer([&](ProgressDlg& d, const char* op) {
        std::string o = op;
        if (o == "SetFile" && ++files == 6 && !progress_taken)
            progress_taken = save_picture(d.hwnd(), out + "\\progress.png");
        if (o == "Waiting") d.click(IDC_PROGRESS_BUTTON);
    });
    {
        Zarvo95App application;
        if (application.init_main_window(true)) {
            ui::pump_messages();
            TAppWin& win = *application.window();
            win.cmSelectAll();
            win.execute_command(CM_EXTRACT);
            win.execute_command(CM_ADD);
        }
    }
    ui::set_dialog_hook(nullptr);
    ProgressDlg::set_observer(nullptr);
    end_program(); // empties the work folder, the extracted files with it
    if (!progress_taken) std::fprintf(stderr, "zarvo-shots: no picture of the progress dialog\n");
    if (!add_taken) std::fprintf(stderr, "zarvo-shots: no picture of the Add Files dialog\n");
    return progress_taken && add_taken ? 0 : 1;
}
