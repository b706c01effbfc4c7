// What the user waits for from typing `zarvo.exe ARCHIVE` until the window is
// on the screen with the list filled and drawn: zarvo.exe is started as its
// own process, and the time runs until its list holds every row, the status
// bar its totals and no part of the window waits to be painted. The window
// is then closed and the next run starts.
//
//   window_start_bench.exe ZARVO_EXE ARCHIVE ROWS [RUNS]
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const int kListId = 5000; // the member list of the main window

double now_ms() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

struct Search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK find_list(HWND hwnd, LPARAM lp) {
    if (GetDlgCtrlID(hwnd) != kListId) return TRUE;
    *reinterpret_cast<HWND*>(lp) = hwnd;
    return FALSE;
}

BOOL CALLBACK find_main(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<Search*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid || !IsWindowVisible(hwnd)) return TRUE;
    HWND list = nullptr;
    EnumChildWindows(hwnd, find_list, reinterpret_cast<LPARAM>(&list));
    if (!list) return TRUE;
    s->found = list;
    return FALSE;
}

// The list's window when it holds `rows` rows and nothing of the main
// window waits to be painted; nullptr until then.
HWND drawn_list(DWORD pid, int rows) {
    Search s{pid, nullptr};
    EnumWindows(find_main, reinterpret_cast<LPARAM>(&s));
    if (!s.found) return nullptr;
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutA(s.found, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count) ||
        static_cast<int>(count) != rows)
        return nullptr;
    HWND top = GetAncestor(s.found, GA_ROOT);
    // A round trip through its queue, then no invalid region left anywhere.
    DWORD_PTR ignored;
    SendMessageTimeoutA(top, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    if (GetUpdateRect(top, nullptr, FALSE) || GetUpdateRect(s.found, nullptr, FALSE))
        return nullptr;
    return s.found;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: window_start_bench ZARVO_EXE ARCHIVE ROWS [RUNS]\n");
        return 2;
    }
    int rows = std::atoi(argv[3]);
    int runs = argc > 4 ? std::atoi(argv[4]) : 5;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        std::string command = std::string("\"") + argv[1] + "\" \"" + argv[2] + "\"";
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        double t0 = now_ms();
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                            &pi)) {
            std::fprintf(stderr, "cannot start %s\n", argv[1]);
            return 1;
        }
        HWND list = nullptr;
        while (!(list = drawn_list(pi.dwProcessId, rows))) {
            if (WaitForSingleObject(pi.hProcess, 1) == WAIT_OBJECT_0) {
                std::fprintf(stderr, "zarvo.exe ended before its window was drawn\n");
                return 1;
            }
            if (now_ms() - t0 > 120000) {
                std::fprintf(stderr, "no drawn window with %d rows within 120 s\n", rows);
                TerminateProcess(pi.hProcess, 1);
                return 1;
            }
        }
        times.push_back(now_ms() - t0);
        PostMessageA(GetAncestor(list, GA_ROOT), WM_CLOSE, 0, 0);
        if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) {
            std::fprintf(stderr, "zarvo.exe did not end after WM_CLOSE\n");
            TerminateProcess(pi.hProcess, 1);
            return 1;
        }
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    std::sort(times.begin(), times.end());
    std::printf("start to a drawn window with %d rows: best %.0f ms, median %.0f ms, worst %.0f "
                "ms (%d runs)\n",
                rows, times.front(), times[times.size() / 2], times.back(), runs);
    return 0;
}
