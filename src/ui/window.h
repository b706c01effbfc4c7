// A thin layer over Win32 windows: a base class that owns an HWND and gets
// its messages as a virtual call, and command tables that tie command ids to
// a handler and an enabling rule. The rule is asked both when menus and the
// tool bar are refreshed and again before the handler runs, so an
// accelerator can never start a command that its menu item shows disabled.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>
#include <string>

namespace ui {

// What a window says about a command id.
enum class CommandState { Unknown, Disabled, Enabled };

class Window {
  public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND hwnd() const { return hwnd_; }

    // Runs the command when this window knows it and its rule allows it.
    // Returns true when the id is this window's (run or refused).
    virtual bool execute_command(int id) { return id < 0; }
    virtual CommandState command_state(int) { return CommandState::Unknown; }

    // The Window object behind an HWND created by this class, or nullptr.
    static Window* from_handle(HWND hwnd);

  protected:
    // Registers (once) a window class whose procedure dispatches to handle().
    static void register_class(const char* class_name, HICON icon, HBRUSH background,
                               UINT style = 0);
    bool create(const char* class_name, const char* title, DWORD style, DWORD ex_style, int x,
                int y, int w, int h, HWND parent, HMENU menu_or_id);

    virtual LRESULT handle(UINT msg, WPARAM wp, LPARAM lp);
    // Called by WM_DESTROY, after which the HWND is gone.
    virtual void on_destroyed() {}

  private:
    static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    HWND hwnd_ = nullptr;
};

// One row of a window's command table: the id, the member that runs it
// (nullptr while the command has no handler yet) and the member that says
// whether it may run (nullptr: always).
template <class W> struct Command {
    int id;
    void (W::*run)();
    bool (W::*enabled)() const;
};

template <class W, std::size_t N>
CommandState command_state_of(const W& w, const Command<W> (&table)[N], int id) {
    for (const Command<W>& c : table)
        if (c.id == id)
            return !c.enabled || (w.*c.enabled)() ? CommandState::Enabled : CommandState::Disabled;
    return CommandState::Unknown;
}

template <class W, std::size_t N> bool execute_from(W& w, const Command<W> (&table)[N], int id) {
    for (const Command<W>& c : table) {
        if (c.id != id) continue;
        if (c.run && (!c.enabled || (w.*c.enabled)())) (w.*c.run)();
        return true;
    }
    return false;
}

// Window text of a control or window as a buffer of buffer_size bytes
// would hold it (so at most buffer_size - 1 characters).
std::string window_text(HWND hwnd, std::size_t buffer_size = 260);

} // namespace ui
