#include "ui/dialog.h"

#include "ui/modeless.h"

namespace ui {

namespace {

// Posted to a modal dialog after WM_INITDIALOG so that the hook runs inside
// the dialog's own message loop, as a user's input would.
const UINT kRunHookMessage = WM_APP + 0x3F1;

DialogHook& dialog_hook() {
    static DialogHook hook;
    return hook;
}

} // namespace

DialogHook set_dialog_hook(DialogHook hook) {
    DialogHook previous = std::move(dialog_hook());
    dialog_hook() = std::move(hook);
    return previous;
}

Dialog::~Dialog() {
    destroy();
}

INT_PTR Dialog::execute() {
    modal_ = true;
    ended_ = false;
    return DialogBoxParamA(GetModuleHandleA(nullptr), template_name_.c_str(), parent_,
                           &Dialog::dialog_proc, reinterpret_cast<LPARAM>(this));
}

HWND Dialog::create_modeless() {
    modal_ = false;
    ended_ = false;
    HWND h = CreateDialogParamA(GetModuleHandleA(nullptr), template_name_.c_str(), parent_,
                                &Dialog::dialog_proc, reinterpret_cast<LPARAM>(this));
    if (h) {
        register_modeless(h);
        ShowWindow(h, SW_SHOW);
    }
    return h;
}

void Dialog::destroy() {
    if (hwnd_ && !modal_) {
        HWND h = hwnd_;
        unregister_modeless(h);
        SetWindowLongPtrA(h, DWLP_USER, 0);
        hwnd_ = nullptr;
        DestroyWindow(h);
    }
}

void Dialog::end(INT_PTR result) {
    if (!hwnd_ || ended_) return;
    ended_ = true;
    if (modal_)
        EndDialog(hwnd_, result);
    else
        destroy();
}

std::string Dialog::text(int id, std::size_t buffer_size) const {
    return window_text(item(id), buffer_size);
}

void Dialog::set_text(int id, const char* text) const {
    SetDlgItemTextA(hwnd_, id, text);
}

bool Dialog::checked(int id) const {
    return IsDlgButtonChecked(hwnd_, id) == BST_CHECKED;
}

void Dialog::set_checked(int id, bool on) const {
    CheckDlgButton(hwnd_, id, on ? BST_CHECKED : BST_UNCHECKED);
}

void Dialog::click(int id) const {
    SendMessageA(item(id), BM_CLICK, 0, 0);
}

// DWLP_USER rather than a window property: the message loop asks for every
// message, and a property is a round trip to the window server under Wine.
Dialog* Dialog::from_handle(HWND hwnd) {
    return reinterpret_cast<Dialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
}

bool Dialog::on_command(int id, int) {
    if (id == IDOK || id == IDCANCEL) {
        end(id);
        return true;
    }
    return false;
}

INT_PTR Dialog::on_message(UINT, WPARAM, LPARAM) {
    return FALSE;
}

INT_PTR CALLBACK Dialog::dialog_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Dialog* self = from_handle(hwnd);
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lp);
        self->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        bool focus_default = self->on_init();
        if (self->modal_ && dialog_hook()) PostMessageA(hwnd, kRunHookMessage, 0, 0);
        return focus_default ? TRUE : FALSE;
    }
    if (!self) return FALSE;
    switch (msg) {
    case kRunHookMessage:
        if (DialogHook hook = dialog_hook()) {
            hook(*self);
            // A hook that forgot to answer must not leave the test waiting.
            if (self->hwnd_ && !self->ended_) self->end(IDCANCEL);
        }
        return TRUE;
    case WM_COMMAND:
        return self->on_command(LOWORD(wp), HIWORD(wp)) ? TRUE : FALSE;
    case WM_NCDESTROY:
        SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        if (!self->modal_) unregister_modeless(hwnd);
        self->hwnd_ = nullptr;
        return FALSE;
    default:
        return self->on_message(msg, wp, lp);
    }
}

} // namespace ui
