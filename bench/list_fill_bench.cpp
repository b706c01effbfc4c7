// What the user waits for when an archive of many members is opened in the
// window: open_archive, then the list filled with one row per member and the
// status bar totals. Runs the real main window (hidden) under Wine.
//
//   list_fill_bench.exe ARCHIVE [RUNS]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app.h"
#include "app/zarvo_app.h"
#include "ui/application.h"
#include "zip/open_archive.h"

#include <commctrl.h>

namespace {

double now_ms() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: list_fill_bench ARCHIVE [RUNS]\n");
        return 2;
    }
    int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    AppState& a = app();
    platform::copy_bounded(a.archivePath, sizeof a.archivePath, argv[1]);
    Zarvo95App application;
    if (!application.init_main_window(false)) {
        std::fprintf(stderr, "no window\n");
        return 1;
    }
    TAppWin& win = *application.window();
    double best_open = 1e30, best_view = 1e30;
    for (int i = 0; i < runs; ++i) {
        double t0 = now_ms();
        int r = open_archive(a.engine, a.catalog, a.archivePath);
        double t1 = now_ms();
        if (r != 0) {
            std::fprintf(stderr, "open_archive: error %d\n", r);
            return 1;
        }
        win.openArchiveView();
        ui::pump_messages();
        double t2 = now_ms();
        if (t1 - t0 < best_open) best_open = t1 - t0;
        if (t2 - t1 < best_view) best_view = t2 - t1;
    }
    std::printf("members: %d\n", ListView_GetItemCount(win.list()));
    std::printf("status: %s | %s\n", application.frame()->status_text(0).c_str(),
                application.frame()->status_text(1).c_str());
    std::printf("open_archive alone: %.1f ms (best of %d)\n", best_open, runs);
    std::printf(
        "open the archive in the window (open_archive + list + status): %.1f ms (best of %d)\n",
        best_view, runs);
    return 0;
}
