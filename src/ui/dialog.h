// Dialogs made from templates in the program's resources, modal or
// modeless, one class per template. The class gets WM_INITDIALOG as
// on_init() and every WM_COMMAND as on_command(); OK and Cancel end a modal
// dialog with their id unless the class says otherwise.
//
// Tests answer modal dialogs through a hook: once a modal dialog has set
// itself up, the hook gets it (its template name and controls) and acts on it
// with messages, e.g. sets a text and clicks OK. A dialog the hook leaves open
// is cancelled so that no test ever waits for a person.
#pragma once

#include <functional>
#include <string>

#include "ui/window.h"

namespace ui {

class Dialog {
  public:
    Dialog(HWND parent, const char* template_name)
        : parent_(parent), template_name_(template_name) {}
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally; returns the id it was ended with (IDOK, IDCANCEL, ...).
    INT_PTR execute();
    // Creates the dialog modeless and shows it; nullptr on failure.
    HWND create_modeless();
    void destroy();
    // Ends a modal dialog (or destroys a modeless one) with result.
    void end(INT_PTR result);

    HWND hwnd() const { return hwnd_; }
    const std::string& template_name() const { return template_name_; }
    bool is_modal() const { return modal_; }
    // True once end() was called (a modal dialog goes when its loop ends).
    bool ended() const { return ended_; }

    // Control helpers, by control id.
    HWND item(int id) const { return GetDlgItem(hwnd_, id); }
    std::string text(int id, std::size_t buffer_size = 260) const;
    void set_text(int id, const char* text) const;
    bool checked(int id) const;
    void set_checked(int id, bool on) const;
    // Clicks a button as the user would (BM_CLICK).
    void click(int id) const;

    // The Dialog object behind a dialog window made by this class, or nullptr.
    static Dialog* from_handle(HWND hwnd);
    // Keyboard input for a modeless dialog or its controls, before the
    // dialog manager sees it; true when the dialog has handled it.
    virtual bool pre_translate(MSG&) { return false; }

  protected:
    virtual bool on_init() { return true; }
    // id and notification code of WM_COMMAND; true when handled.
    virtual bool on_command(int id, int code);
    virtual INT_PTR on_message(UINT msg, WPARAM wp, LPARAM lp);
    HWND parent() const { return parent_; }

  private:
    static INT_PTR CALLBACK dialog_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    HWND parent_;
    std::string template_name_;
    HWND hwnd_ = nullptr;
    bool modal_ = false;
    bool ended_ = false;
};

// The test hook for modal dialogs; returns the previous one.
using DialogHook = std::function<void(Dialog&)>;
DialogHook set_dialog_hook(DialogHook hook);

} // namespace ui
