// The decorated main frame: menu, accelerators, a tool bar of bitmap
// buttons, a status bar of fixed-width text fields, and one client window
// that fills the rest and owns the commands. While a menu item is
// highlighted or the mouse rests on a tool bar button, the status bar shows
// that command's hint (the string-table entry with the command's id) in
// place of its fields. Each tool bar button's tool tip is its command as
// the menu names it.
#pragma once

#include <string>
#include <vector>

#include "ui/dpi.h"
#include "ui/window.h"

#ifndef WM_DPICHANGED_AFTERPARENT
#define WM_DPICHANGED_AFTERPARENT 0x02E3
#endif

namespace ui {

struct ToolButton {
    int command_id;
    int bitmap_id; // a BITMAP resource of button_size
};

struct FrameSetup {
    const char* title = "";
    int icon_id = 0;
    const char* menu_name = nullptr;
    const char* accelerators_name = nullptr;
    std::vector<ToolButton> buttons;
    int button_size = 24; // pixels at 96 DPI
    int toolbar_font_points = 10;
    std::vector<int> status_field_chars; // widths of the status fields, in characters
};

class DecoratedFrame : public Window {
  public:
    explicit DecoratedFrame(FrameSetup setup);
    ~DecoratedFrame() override;

    bool create_frame(int x = CW_USEDEFAULT, int y = CW_USEDEFAULT, int w = 640, int h = 480);
    // The client must be created as a child of this frame; the frame lays it
    // out and sends it the commands of the menu, accelerators and tool bar.
    void set_client(Window* client);
    Window* client() const { return client_; }
    HACCEL accelerators() const { return accelerators_; }
    HWND toolbar() const { return toolbar_; }
    HWND status_bar() const { return status_; }

    void set_status_text(int field, const char* text);
    std::string status_text(int field) const;
    // The hint showing in the status bar, or "" when the fields show.
    bool showing_hint() const { return showing_hint_; }
    std::string hint_text() const;
    // The tool tip of a tool bar button, "" for an id that has none.
    std::string tool_tip(int command_id) const;

    // Enables the tool bar buttons by the client's rules; run when the
    // message queue goes idle and after every command.
    void refresh_commands();
    // The program's main frame ends the message loop when it goes; a frame
    // made by a test must not.
    void set_quit_on_destroy(bool quit) { quit_on_destroy_ = quit; }
    // The DPI the frame is drawn for.
    int dpi() const { return dpi_; }
    // Redraws the decorations for a new DPI, moves the frame to the
    // suggested rectangle (when given) and sends the client
    // WM_DPICHANGED_AFTERPARENT with the DPI in wParam; what WM_DPICHANGED does.
    void dpi_changed(int dpi, const RECT* suggested);

  protected:
    LRESULT handle(UINT msg, WPARAM wp, LPARAM lp) override;

  private:
    void create_decorations();
    void create_toolbar();
    void drop_toolbar();
    void set_status_parts();
    void layout();
    void show_hint(int command_id);
    void end_hint();
    void enable_menu_items(HMENU menu);
    bool fill_tool_tip(NMHDR* hdr);

    FrameSetup setup_;
    Window* client_ = nullptr;
    HACCEL accelerators_ = nullptr;
    HWND toolbar_ = nullptr;
    HWND status_ = nullptr;
    HFONT toolbar_font_ = nullptr;
    std::vector<HBITMAP> button_images_; // scaled images, kept while the tool bar shows them
    int dpi_ = kBaseDpi;
    bool showing_hint_ = false;
    bool quit_on_destroy_ = false;
    std::string hint_;
    // Built once from the menu; the tool tip control reads the text after
    // the notification returns, so it must outlive it.
    std::vector<std::wstring> tips_;
    std::vector<std::string> narrow_tips_; // for a control that asks in ANSI
};

} // namespace ui
