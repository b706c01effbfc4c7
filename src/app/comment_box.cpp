#include "app/comment_box.h"

#include "app/resource.h"

void TShowZipComment::create(HWND parent, HFONT font) {
    hwnd_ = CreateWindowExA(
        WS_EX_CLIENTEDGE, "EDIT", "",
        WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0, 0,
        0, parent, reinterpret_cast<HMENU>(IDC_COMMENT), GetModuleHandleA(nullptr), nullptr);
    SendMessageA(hwnd_, EM_LIMITTEXT, 32767, 0);
    SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    EnableWindow(hwnd_, FALSE);
}
