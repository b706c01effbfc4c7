#include "ui/window.h"

#include <set>
#include <vector>

namespace ui {

namespace {

// The object is found through the window's own extra bytes, which a message
// reads without leaving the process; a window property costs a round trip to
// the window server under Wine on every message. The property stays for
// from_handle, which may be asked about any window.
const char kSelfProperty[] = "ui.Window";

} // namespace

Window::~Window() {
    if (hwnd_) {
        // The object goes first: the window must not call into it any more.
        RemovePropA(hwnd_, kSelfProperty);
        SetWindowLongPtrA(hwnd_, 0, 0);
        HWND h = hwnd_;
        hwnd_ = nullptr;
        DestroyWindow(h);
    }
}

Window* Window::from_handle(HWND hwnd) {
    return hwnd ? static_cast<Window*>(GetPropA(hwnd, kSelfProperty)) : nullptr;
}

void Window::register_class(const char* class_name, HICON icon, HBRUSH background, UINT style) {
    static std::set<std::string> registered;
    if (!registered.insert(class_name).second) return;
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = &Window::window_proc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hIcon = icon;
    wc.hIconSm = icon;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = background;
    wc.lpszClassName = class_name;
    RegisterClassExA(&wc);
}

bool Window::create(const char* class_name, const char* title, DWORD style, DWORD ex_style, int x,
                    int y, int w, int h, HWND parent, HMENU menu_or_id) {
    HWND hwnd = CreateWindowExA(ex_style, class_name, title, style, x, y, w, h, parent, menu_or_id,
                                GetModuleHandleA(nullptr), this);
    return hwnd != nullptr && hwnd == hwnd_;
}

LRESULT Window::handle(UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcA(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK Window::window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Window* self = reinterpret_cast<Window*>(GetWindowLongPtrA(hwnd, 0));
    if (!self && msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
        self = static_cast<Window*>(cs->lpCreateParams);
        if (self) {
            self->hwnd_ = hwnd;
            SetWindowLongPtrA(hwnd, 0, reinterpret_cast<LONG_PTR>(self));
            SetPropA(hwnd, kSelfProperty, self);
        }
    }
    if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        LRESULT r = self->handle(msg, wp, lp);
        RemovePropA(hwnd, kSelfProperty);
        SetWindowLongPtrA(hwnd, 0, 0);
        self->hwnd_ = nullptr;
        self->on_destroyed();
        return r;
    }
    return self->handle(msg, wp, lp);
}

std::string window_text(HWND hwnd, std::size_t buffer_size) {
    std::vector<char> buf(buffer_size < 1 ? 1 : buffer_size, '\0');
    GetWindowTextA(hwnd, buf.data(), static_cast<int>(buf.size()));
    return buf.data();
}

} // namespace ui
