#include "ui/application.h"

#include <algorithm>
#include <commdlg.h>
#include <shellapi.h>
#include <vector>

#include "ui/dialog.h"
#include "ui/modeless.h"

namespace ui {

namespace {

std::vector<HWND>& modeless_dialogs() {
    static std::vector<HWND> dialogs;
    return dialogs;
}

FileDialogHook& file_dialog_hook() {
    static FileDialogHook hook;
    return hook;
}

ShellHook& shell_hook() {
    static ShellHook hook;
    return hook;
}

PopupMenuHook& popup_menu_hook() {
    static PopupMenuHook hook;
    return hook;
}

bool translate_and_dispatch(MSG& msg, DecoratedFrame* frame) {
    if (dispatch_to_modeless(&msg)) return true;
    if (frame && frame->hwnd() && frame->accelerators() &&
        TranslateAcceleratorA(frame->hwnd(), frame->accelerators(), &msg))
        return true;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return true;
}

} // namespace

void register_modeless(HWND dialog) {
    modeless_dialogs().push_back(dialog);
}

void unregister_modeless(HWND dialog) {
    auto& d = modeless_dialogs();
    d.erase(std::remove(d.begin(), d.end(), dialog), d.end());
}

bool dispatch_to_modeless(MSG* msg) {
    for (HWND d : modeless_dialogs()) {
        if (!IsWindow(d)) continue;
        if (msg->hwnd == d || IsChild(d, msg->hwnd)) {
            Dialog* self = Dialog::from_handle(d);
            if (self && self->pre_translate(*msg)) return true;
        }
        if (IsDialogMessageA(d, msg)) return true;
    }
    return false;
}

int run_message_loop(DecoratedFrame& frame) {
    MSG msg;
    for (;;) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
            translate_and_dispatch(msg, &frame);
        }
        frame.refresh_commands();
        WaitMessage();
    }
}

bool pump_messages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        translate_and_dispatch(msg, nullptr);
    }
    return true;
}

FileDialogHook set_file_dialog_hook(FileDialogHook hook) {
    FileDialogHook previous = std::move(file_dialog_hook());
    file_dialog_hook() = std::move(hook);
    return previous;
}

bool ask_file_name(const FileDialogRequest& request, std::string* path) {
    if (file_dialog_hook()) return file_dialog_hook()(request, path);
    // The filter's "|" separators become the NUL separators the dialog wants.
    std::string filter = request.filter;
    for (char& c : filter)
        if (c == '|') c = '\0';
    filter.push_back('\0');
    filter.push_back('\0');
    char file[MAX_PATH + 1] = {};
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = request.owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = request.initial_dir.empty() ? nullptr : request.initial_dir.c_str();
    ofn.lpstrDefExt = request.default_ext.empty() ? nullptr : request.default_ext.c_str();
    ofn.lpstrTitle = request.title.empty() ? nullptr : request.title.c_str();
    if (request.overwrite_prompt) ofn.Flags |= OFN_OVERWRITEPROMPT;
    if (request.hide_read_only) ofn.Flags |= OFN_HIDEREADONLY;
    BOOL ok = request.save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
    if (!ok) return false;
    *path = file;
    return true;
}

ShellHook set_shell_hook(ShellHook hook) {
    ShellHook previous = std::move(shell_hook());
    shell_hook() = std::move(hook);
    return previous;
}

INT_PTR shell_execute(const ShellRequest& r) {
    if (shell_hook()) return shell_hook()(r);
    HINSTANCE h = ShellExecuteA(r.owner, r.verb.empty() ? nullptr : r.verb.c_str(), r.file.c_str(),
                                r.parameters.empty() ? nullptr : r.parameters.c_str(),
                                r.folder.empty() ? nullptr : r.folder.c_str(), r.show);
    return reinterpret_cast<INT_PTR>(h);
}

PopupMenuHook set_popup_menu_hook(PopupMenuHook hook) {
    PopupMenuHook previous = std::move(popup_menu_hook());
    popup_menu_hook() = std::move(hook);
    return previous;
}

int track_popup_menu(HMENU menu, HWND owner) {
    if (popup_menu_hook()) return popup_menu_hook()(menu);
    POINT at;
    GetCursorPos(&at);
    return static_cast<int>(TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY,
                                           at.x, at.y, 0, owner, nullptr));
}

NamedMutex::NamedMutex(const char* name) {
    handle_ = CreateMutexA(nullptr, FALSE, name);
    existed_ = handle_ != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
}

NamedMutex::~NamedMutex() {
    if (handle_) CloseHandle(handle_);
}

} // namespace ui
