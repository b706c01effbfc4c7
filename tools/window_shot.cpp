// window-shot: waits for a top-level window by its exact title, captures it
// as a PNG and optionally closes it. Used by scripts/run to take a picture of
// zarvo under Wine and a virtual display, where nobody can look at the screen.
//
//   window-shot.exe TITLE OUT.png [--close] [--timeout SECONDS] [--method screen|print]
//
// --timeout is how long to wait for the window (30 s). --method screen (the
// default) copies the window's rectangle from the screen; it is the one that
// works under Wine, where PrintWindow from another process gives a black
// picture. --method print asks the window to draw itself (PrintWindow), which
// on Windows also works for a covered window.
//
// Exit status 0 on success, 1 with a message on stderr otherwise.
#include <windows.h>

#include "window_image.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Args {
    std::string title;
    std::string out;
    bool close = false;
    double timeout_s = 30.0;
    std::string method = "screen";
};

int fail(const char* fmt, const char* detail = "") {
    std::fprintf(stderr, "window-shot: ");
    std::fprintf(stderr, fmt, detail);
    std::fprintf(stderr, "\n");
    return 1;
}

bool parse_args(int argc, char** argv, Args& a) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string s = argv[i];
        if (s == "--close") {
            a.close = true;
        } else if (s == "--timeout" && i + 1 < argc) {
            char* end = nullptr;
            a.timeout_s = std::strtod(argv[++i], &end);
            if (!end || *end || a.timeout_s <= 0 || a.timeout_s > 86400) return false;
        } else if (s == "--method" && i + 1 < argc) {
            a.method = argv[++i];
            if (a.method != "screen" && a.method != "print") return false;
        } else if (s.size() > 2 && s.compare(0, 2, "--") == 0) {
            return false;
        } else {
            positional.push_back(s);
        }
    }
    if (positional.size() != 2) return false;
    a.title = positional[0];
    a.out = positional[1];
    return true;
}

// ---- finding the window -----------------------------------------------------

struct Search {
    const std::string* title;
    HWND found;
};

BOOL CALLBACK match_window(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<Search*>(param);
    if (!IsWindowVisible(hwnd)) return TRUE;
    char text[512];
    int n = GetWindowTextA(hwnd, text, sizeof text);
    if (n < 0 || static_cast<std::size_t>(n) != s->title->size()) return TRUE;
    if (std::memcmp(text, s->title->data(), static_cast<std::size_t>(n)) != 0) return TRUE;
    s->found = hwnd;
    return FALSE;
}

HWND find_window(const std::string& title) {
    Search s{&title, nullptr};
    EnumWindows(match_window, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// Returns once the window's thread takes messages again, i.e. is not busy
// loading or computing; its pending paints come when its queue runs empty,
// hence the pauses around the calls.
bool wait_idle(HWND hwnd) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

void bring_to_front(HWND hwnd) {
    if (IsIconic(hwnd)) ShowWindow(hwnd, SW_RESTORE);
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    // Under Wine without a window manager the window can stay the foreground
    // window with its caption drawn inactive, and setting it again changes
    // nothing; handing the foreground to the desktop first makes the
    // activation, and the caption's repaint, happen anew.
    if (GetForegroundWindow() == hwnd) SetForegroundWindow(GetDesktopWindow());
    SetForegroundWindow(hwnd);
}

} // namespace

int main(int argc, char** argv) {
    Args args;
    if (!parse_args(argc, argv, args)) {
        std::fprintf(stderr, "usage: window-shot.exe TITLE OUT.png [--close] [--timeout SECONDS] "
                             "[--method screen|print]\n");
        return 1;
    }
    // Physical pixels on scaled displays, so the rectangle matches the screen.
    SetProcessDPIAware();

    DWORD deadline = GetTickCount() + static_cast<DWORD>(args.timeout_s * 1000);
    HWND hwnd = nullptr;
    while (!(hwnd = find_window(args.title))) {
        if (static_cast<LONG>(GetTickCount() - deadline) >= 0)
            return fail("no visible window titled \"%s\" appeared", args.title.c_str());
        Sleep(200);
    }

    // The window is shown before its children finish painting and before
    // the program may have loaded what it displays; give it time, and wait
    // until it is not busy.
    Sleep(1500);
    if (!IsWindow(hwnd)) return fail("the window \"%s\" went away", args.title.c_str());
    wait_idle(hwnd);
    bring_to_front(hwnd);
    // Coming to the front repaints what was covered.
    Sleep(300);
    wait_idle(hwnd);

    window_image::Image img;
    std::string error;
    if (!window_image::capture(hwnd, args.method, img, error)) return fail("%s", error.c_str());
    if (!window_image::write_file(args.out, window_image::encode_png(img)))
        return fail("cannot write %s", args.out.c_str());
    std::printf("window-shot: %dx%d %s\n", img.width, img.height, args.out.c_str());
    std::fflush(stdout);

    if (args.close) {
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
        DWORD close_deadline = GetTickCount() + 10000;
        while (IsWindow(hwnd)) {
            if (static_cast<LONG>(GetTickCount() - close_deadline) >= 0)
                return fail("the window \"%s\" did not close", args.title.c_str());
            Sleep(100);
        }
    }
    return 0;
}
