#include "ui/frame.h"

#include <commctrl.h>

#include "ui/dpi.h"

namespace ui {

namespace {

const char kFrameClass[] = "ui.DecoratedFrame";

std::string hint_of(int command_id) {
    char buf[260] = {};
    if (command_id <= 0 ||
        !LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(command_id), buf, sizeof buf))
        return std::string();
    return buf;
}

// A menu item's text as a tool tip: the access marks, the accelerator after
// the tab and a trailing "..." go.
std::wstring tip_from_menu(HMENU menu, int command_id) {
    wchar_t item[128] = {};
    if (!menu || GetMenuStringW(menu, static_cast<UINT>(command_id), item, 128, MF_BYCOMMAND) <= 0)
        return std::wstring();
    std::wstring tip;
    for (const wchar_t* c = item; *c && *c != L'\t'; ++c) {
        if (*c == L'&') {
            if (c[1] != L'&') continue;
            ++c;
        }
        tip += *c;
    }
    while (!tip.empty() && tip.back() == L' ')
        tip.pop_back();
    if (tip.size() >= 3 && tip.compare(tip.size() - 3, 3, L"...") == 0) tip.resize(tip.size() - 3);
    while (!tip.empty() && tip.back() == L' ')
        tip.pop_back();
    return tip;
}

// The tool bar image of a BITMAP resource at size x size pixels, its grey
// background made the button face as the tool bar does for its own loads.
HBITMAP scaled_button_image(HINSTANCE inst, int bitmap_id, int size) {
    HBITMAP source = CreateMappedBitmap(inst, bitmap_id, 0, nullptr, 0);
    HBITMAP scaled = stretch_bitmap(source, size, size);
    if (source) DeleteObject(source);
    return scaled;
}

} // namespace

DecoratedFrame::DecoratedFrame(FrameSetup setup) : setup_(std::move(setup)) {}

DecoratedFrame::~DecoratedFrame() {
    drop_toolbar();
}

void DecoratedFrame::drop_toolbar() {
    // The tool bar draws from its bitmaps until it is gone.
    if (toolbar_ && IsWindow(toolbar_)) DestroyWindow(toolbar_);
    toolbar_ = nullptr;
    for (HBITMAP b : button_images_)
        DeleteObject(b);
    button_images_.clear();
    if (toolbar_font_) DeleteObject(toolbar_font_);
    toolbar_font_ = nullptr;
}

bool DecoratedFrame::create_frame(int x, int y, int w, int h) {
    static bool controls_ready = false;
    if (!controls_ready) {
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES |
                                                    ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS |
                                                    ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&icc);
        controls_ready = true;
    }
    HINSTANCE inst = GetModuleHandleA(nullptr);
    HICON icon = setup_.icon_id ? LoadIconA(inst, MAKEINTRESOURCEA(setup_.icon_id)) : nullptr;
    register_class(kFrameClass, icon, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    HMENU menu = setup_.menu_name ? LoadMenuA(inst, setup_.menu_name) : nullptr;
    if (setup_.accelerators_name) accelerators_ = LoadAcceleratorsA(inst, setup_.accelerators_name);
    if (!create(kFrameClass, setup_.title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, x, y, w, h,
                nullptr, menu))
        return false;
    create_decorations();
    return true;
}

void DecoratedFrame::create_decorations() {
    dpi_ = dpi_of(hwnd());
    create_toolbar();
    status_ = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0,
                              0, 0, hwnd(), nullptr, GetModuleHandleA(nullptr), nullptr);
    set_status_parts();
    layout();
}

void DecoratedFrame::create_toolbar() {
    HINSTANCE inst = GetModuleHandleA(nullptr);
    toolbar_ = CreateWindowExA(0, TOOLBARCLASSNAMEA, "",
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP, 0,
                               0, 0, 0, hwnd(), nullptr, inst, nullptr);
    SendMessageA(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    int size = scale_px(setup_.button_size, dpi_);
    SendMessageA(toolbar_, TB_SETBITMAPSIZE, 0, MAKELPARAM(size, size));
    int height = -MulDiv(setup_.toolbar_font_points, dpi_, 72);
    toolbar_font_ = CreateFontA(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                                "MS Sans Serif");
    SendMessageA(toolbar_, WM_SETFONT, reinterpret_cast<WPARAM>(toolbar_font_), FALSE);
    for (const ToolButton& b : setup_.buttons) {
        TBADDBITMAP bitmap = {inst, static_cast<UINT_PTR>(b.bitmap_id)};
        if (size != setup_.button_size) {
            HBITMAP scaled = scaled_button_image(inst, b.bitmap_id, size);
            if (scaled) {
                button_images_.push_back(scaled);
                bitmap = {nullptr, reinterpret_cast<UINT_PTR>(scaled)};
            }
        }
        LRESULT image = SendMessageA(toolbar_, TB_ADDBITMAP, 1, reinterpret_cast<LPARAM>(&bitmap));
        TBBUTTON button = {};
        button.iBitmap = static_cast<int>(image);
        button.idCommand = b.command_id;
        button.fsState = TBSTATE_ENABLED;
        button.fsStyle = BTNS_BUTTON;
        SendMessageA(toolbar_, TB_ADDBUTTONSA, 1, reinterpret_cast<LPARAM>(&button));
    }
    SendMessageA(toolbar_, TB_AUTOSIZE, 0, 0);
    // Wide notifications, so a tip in any script reaches the control whole.
    SendMessageW(toolbar_, CCM_SETUNICODEFORMAT, TRUE, 0);
    tips_.clear();
    narrow_tips_.clear();
    for (const ToolButton& b : setup_.buttons) {
        tips_.push_back(tip_from_menu(GetMenu(hwnd()), b.command_id));
        char narrow[128] = {};
        WideCharToMultiByte(CP_ACP, 0, tips_.back().c_str(), -1, narrow, sizeof narrow, nullptr,
                            nullptr);
        narrow[sizeof narrow - 1] = '\0';
        narrow_tips_.push_back(narrow);
    }
}

void DecoratedFrame::set_status_parts() {
    // Field widths follow the status bar's own font so the texts fit.
    HDC dc = GetDC(status_);
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(status_, WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    TEXTMETRICA tm = {};
    GetTextMetricsA(dc, &tm);
    if (old) SelectObject(dc, old);
    ReleaseDC(status_, dc);
    int char_width = tm.tmAveCharWidth > 0 ? tm.tmAveCharWidth : scale_px(7, dpi_);
    std::vector<int> edges;
    int edge = 0;
    for (int chars : setup_.status_field_chars) {
        edge += chars * char_width + scale_px(8, dpi_);
        edges.push_back(edge);
    }
    // The last field is at least its width and takes whatever is left, so a
    // long totals line is not cut while the window has room.
    if (!edges.empty()) edges.back() = -1;
    if (!edges.empty())
        SendMessageA(status_, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
}

void DecoratedFrame::dpi_changed(int dpi, const RECT* suggested) {
    if (dpi == dpi_) return;
    dpi_ = dpi;
    drop_toolbar();
    create_toolbar();
    refresh_commands();
    set_status_parts();
    if (suggested)
        SetWindowPos(hwnd(), nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    if (client_ && client_->hwnd())
        SendMessageA(client_->hwnd(), WM_DPICHANGED_AFTERPARENT, static_cast<WPARAM>(dpi), 0);
    layout();
}

void DecoratedFrame::set_client(Window* client) {
    client_ = client;
    layout();
    refresh_commands();
}

void DecoratedFrame::set_status_text(int field, const char* text) {
    if (status_)
        SendMessageA(status_, SB_SETTEXTA, static_cast<WPARAM>(field),
                     reinterpret_cast<LPARAM>(text));
}

std::string DecoratedFrame::status_text(int field) const {
    if (!status_) return std::string();
    LRESULT info = SendMessageA(status_, SB_GETTEXTLENGTHA, static_cast<WPARAM>(field), 0);
    std::string text(LOWORD(info) + 1, '\0');
    SendMessageA(status_, SB_GETTEXTA, static_cast<WPARAM>(field),
                 reinterpret_cast<LPARAM>(&text[0]));
    text.resize(LOWORD(info));
    return text;
}

std::string DecoratedFrame::hint_text() const {
    return showing_hint_ ? hint_ : std::string();
}

std::string DecoratedFrame::tool_tip(int command_id) const {
    for (std::size_t i = 0; i < setup_.buttons.size() && i < tips_.size(); ++i) {
        if (setup_.buttons[i].command_id != command_id) continue;
        const std::wstring& w = tips_[i];
        int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
        if (n <= 1) return std::string();
        std::string s(static_cast<std::size_t>(n), '\0');
        WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
        s.resize(static_cast<std::size_t>(n - 1));
        return s;
    }
    return std::string();
}

// The tool bar asks for a button's tip by the button's command id.
bool DecoratedFrame::fill_tool_tip(NMHDR* hdr) {
    if (hdr->code != TTN_GETDISPINFOW && hdr->code != TTN_GETDISPINFOA) return false;
    for (std::size_t i = 0; i < setup_.buttons.size() && i < tips_.size(); ++i) {
        if (static_cast<UINT_PTR>(setup_.buttons[i].command_id) != hdr->idFrom) continue;
        if (hdr->code == TTN_GETDISPINFOW) {
            auto* info = reinterpret_cast<NMTTDISPINFOW*>(hdr);
            info->hinst = nullptr;
            info->lpszText = const_cast<wchar_t*>(tips_[i].c_str());
        } else {
            auto* info = reinterpret_cast<NMTTDISPINFOA*>(hdr);
            info->hinst = nullptr;
            info->lpszText = const_cast<char*>(narrow_tips_[i].c_str());
        }
        return true;
    }
    return false;
}

void DecoratedFrame::show_hint(int command_id) {
    hint_ = hint_of(command_id);
    showing_hint_ = true;
    SendMessageA(status_, SB_SIMPLE, TRUE, 0);
    SendMessageA(status_, SB_SETTEXTA, SB_SIMPLEID, reinterpret_cast<LPARAM>(hint_.c_str()));
}

void DecoratedFrame::end_hint() {
    if (!showing_hint_) return;
    showing_hint_ = false;
    hint_.clear();
    SendMessageA(status_, SB_SIMPLE, FALSE, 0);
}

void DecoratedFrame::refresh_commands() {
    if (!toolbar_ || !client_) return;
    for (const ToolButton& b : setup_.buttons) {
        bool on = client_->command_state(b.command_id) != CommandState::Disabled;
        SendMessageA(toolbar_, TB_ENABLEBUTTON, static_cast<WPARAM>(b.command_id),
                     MAKELPARAM(on ? TRUE : FALSE, 0));
    }
}

void DecoratedFrame::enable_menu_items(HMENU menu) {
    if (!client_) return;
    int n = GetMenuItemCount(menu);
    for (int i = 0; i < n; ++i) {
        UINT id = GetMenuItemID(menu, i);
        if (id == static_cast<UINT>(-1) || id == 0) continue; // a submenu or a separator
        CommandState state = client_->command_state(static_cast<int>(id));
        if (state == CommandState::Unknown) continue;
        EnableMenuItem(menu, id,
                       MF_BYCOMMAND | (state == CommandState::Enabled ? MF_ENABLED : MF_GRAYED));
    }
}

void DecoratedFrame::layout() {
    if (!toolbar_ || !status_) return;
    SendMessageA(toolbar_, TB_AUTOSIZE, 0, 0);
    SendMessageA(status_, WM_SIZE, 0, 0);
    RECT rc, tb, sb;
    GetClientRect(hwnd(), &rc);
    GetWindowRect(toolbar_, &tb);
    GetWindowRect(status_, &sb);
    int top = tb.bottom - tb.top;
    int bottom = rc.bottom - (sb.bottom - sb.top);
    if (client_ && client_->hwnd())
        MoveWindow(client_->hwnd(), 0, top, rc.right, bottom > top ? bottom - top : 0, TRUE);
}

LRESULT DecoratedFrame::handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SIZE:
        layout();
        return 0;
    case WM_DPICHANGED:
        dpi_changed(HIWORD(wp), reinterpret_cast<const RECT*>(lp));
        return 0;
    case WM_SETFOCUS:
        if (client_ && client_->hwnd()) SetFocus(client_->hwnd());
        return 0;
    case WM_COMMAND:
        if (client_) {
            client_->execute_command(LOWORD(wp));
            refresh_commands();
        }
        return 0;
    case WM_DROPFILES:
        // The client decides what a drop means and releases it.
        if (client_ && client_->hwnd()) return SendMessageA(client_->hwnd(), msg, wp, lp);
        break;
    case WM_INITMENUPOPUP:
        enable_menu_items(reinterpret_cast<HMENU>(wp));
        return 0;
    case WM_MENUSELECT: {
        UINT flags = HIWORD(wp);
        if (flags == 0xFFFF && lp == 0) {
            end_hint();
        } else if (flags & (MF_POPUP | MF_SEPARATOR)) {
            show_hint(0);
        } else {
            show_hint(LOWORD(wp));
        }
        return 0;
    }
    case WM_EXITMENULOOP:
        end_hint();
        return 0;
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lp);
        if (hdr->hwndFrom == toolbar_ && hdr->code == TBN_HOTITEMCHANGE) {
            auto* hot = reinterpret_cast<NMTBHOTITEM*>(lp);
            if (hot->dwFlags & HICF_LEAVING)
                end_hint();
            else
                show_hint(hot->idNew);
            return 0;
        }
        if (fill_tool_tip(hdr)) return 0;
        break;
    }
    case WM_CLOSE:
        DestroyWindow(hwnd());
        return 0;
    case WM_DESTROY:
        if (quit_on_destroy_) PostQuitMessage(0);
        return 0;
    }
    return Window::handle(msg, wp, lp);
}

} // namespace ui
