#include "ui/dpi.h"

namespace ui {

namespace {

using DpiForWindow = UINT(WINAPI*)(HWND);
using DpiForSystem = UINT(WINAPI*)();

// Looked up at run time: older systems' user32 has neither function.
template <class F> F user32_function(const char* name) {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    return user32 ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(user32, name)))
                  : nullptr;
}

} // namespace

int dpi_of(HWND window) {
    static const DpiForWindow for_window = user32_function<DpiForWindow>("GetDpiForWindow");
    static const DpiForSystem for_system = user32_function<DpiForSystem>("GetDpiForSystem");
    UINT dpi = 0;
    if (window && for_window) dpi = for_window(window);
    if (!dpi && !window && for_system) dpi = for_system();
    if (!dpi) {
        HDC dc = GetDC(window);
        dpi = dc ? static_cast<UINT>(GetDeviceCaps(dc, LOGPIXELSX)) : 0;
        if (dc) ReleaseDC(window, dc);
    }
    return dpi > 0 ? static_cast<int>(dpi) : kBaseDpi;
}

int scale_px(int pixels_at_96, int dpi) {
    return dpi == kBaseDpi ? pixels_at_96 : MulDiv(pixels_at_96, dpi, kBaseDpi);
}

HBITMAP stretch_bitmap(HBITMAP source, int width, int height) {
    BITMAP info = {};
    if (!source || !GetObjectA(source, sizeof info, &info) || width <= 0 || height <= 0)
        return nullptr;
    HDC screen = GetDC(nullptr);
    HDC from = CreateCompatibleDC(screen);
    HDC to = CreateCompatibleDC(screen);
    HBITMAP stretched = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    if (stretched) {
        HGDIOBJ old_from = SelectObject(from, source);
        HGDIOBJ old_to = SelectObject(to, stretched);
        SetStretchBltMode(to, COLORONCOLOR);
        StretchBlt(to, 0, 0, width, height, from, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
        SelectObject(from, old_from);
        SelectObject(to, old_to);
    }
    DeleteDC(from);
    DeleteDC(to);
    return stretched;
}

} // namespace ui
