// The program's message loop and the few system services the windows need
// beside it: common file dialogs, the shell, a single-instance mutex. The
// file dialogs and the shell can be answered by test hooks, as message boxes
// are by the platform's prompt responder.
#pragma once

#include <functional>
#include <string>

#include "ui/frame.h"

namespace ui {

// Runs the message loop of frame until WM_QUIT; returns its exit code.
// Accelerators go to the frame, keyboard input of modeless dialogs to them,
// and the tool bar is refreshed whenever the queue runs empty.
int run_message_loop(DecoratedFrame& frame);
// Handles the messages waiting in the queue without blocking. Returns false
// when WM_QUIT was seen (it is posted again for the outer loop).
bool pump_messages();

struct FileDialogRequest {
    HWND owner = nullptr;
    bool save = false;
    bool overwrite_prompt = false;
    bool hide_read_only = false; // no "Open as read-only" box
    std::string filter; // description and pattern pairs separated by "|"
    std::string initial_dir;
    std::string default_ext;
    std::string title;
};
// Shows the open or save dialog; true with *path set on OK.
bool ask_file_name(const FileDialogRequest& request, std::string* path);
using FileDialogHook = std::function<bool(const FileDialogRequest&, std::string*)>;
FileDialogHook set_file_dialog_hook(FileDialogHook hook);

struct ShellRequest {
    HWND owner = nullptr;
    std::string verb, file, parameters, folder;
    int show = SW_SHOWNORMAL;
};
// ShellExecuteA; returns its result (above 32 on success).
INT_PTR shell_execute(const ShellRequest& request);
using ShellHook = std::function<INT_PTR(const ShellRequest&)>;
ShellHook set_shell_hook(ShellHook hook);

// Shows a pop-up menu at the mouse position, tracked with the right button,
// and returns the chosen command id (0 when none was chosen).
int track_popup_menu(HMENU menu, HWND owner);
using PopupMenuHook = std::function<int(HMENU)>;
PopupMenuHook set_popup_menu_hook(PopupMenuHook hook);

// A named mutex held while the object lives.
class NamedMutex {
  public:
    explicit NamedMutex(const char* name);
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;
    bool existed_before() const { return existed_; }

  private:
    HANDLE handle_ = nullptr;
    bool existed_ = false;
};

} // namespace ui
