#include "app/comment_box.h"

#include <commctrl.h>

#include "app/resource.h"
#include "ui/application.h"

void TShowZipComment::create(HWND parent, HFONT font) {
    hwnd_ = CreateWindowExA(
        WS_EX_CLIENTEDGE, "EDIT", "",
        WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0, 0,
        0, parent, reinterpret_cast<HMENU>(IDC_COMMENT), GetModuleHandleA(nullptr), nullptr);
    // The whole comment the format can hold: the box never shows it cut.
    SendMessageA(hwnd_, EM_LIMITTEXT, 65535, 0);
    SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SetWindowSubclass(hwnd_, &TShowZipComment::boxProc, 1, reinterpret_cast<DWORD_PTR>(this));
    EnableWindow(hwnd_, FALSE);
}

void TShowZipComment::popupMenu() {
    HWND owner = GetParent(hwnd_);
    ui::Window* window = ui::Window::from_handle(owner);
    bool on = window && window->command_state(CM_SELECT_COMMENT) != ui::CommandState::Disabled;
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING | (on ? MF_ENABLED : MF_GRAYED), CM_SELECT_COMMENT, "Edit Comment");
    int chosen = ui::track_popup_menu(menu, hwnd_);
    DestroyMenu(menu);
    if (chosen) SendMessageA(owner, WM_COMMAND, MAKEWPARAM(chosen, 0), 0);
}

LRESULT CALLBACK TShowZipComment::boxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                          DWORD_PTR self) {
    switch (msg) {
    case WM_RBUTTONDOWN:
        reinterpret_cast<TShowZipComment*>(self)->popupMenu();
        return 0;
    case WM_CONTEXTMENU:
        return 0; // the pop-up above is the box's only menu
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, &TShowZipComment::boxProc, id);
        break;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}
