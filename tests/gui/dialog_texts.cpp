#include "dialog_texts.h"

#include <cctype>
#include <sstream>

#include "ui/dpi.h"

namespace test {
namespace {

// The text a dialog control shows, measured in its own font, against the
// room the control gives it.
struct Cut {
    std::string dialog, text;
    int needed, room;
};

std::string dialog_name(LPCSTR name) {
    if (IS_INTRESOURCE(name)) return "#" + std::to_string(reinterpret_cast<UINT_PTR>(name));
    return name;
}

INT_PTR CALLBACK inert_dialog(HWND, UINT msg, WPARAM, LPARAM) {
    return msg == WM_INITDIALOG;
}

BOOL CALLBACK collect_name(HMODULE, LPCSTR, LPSTR name, LONG_PTR out) {
    auto* names = reinterpret_cast<std::vector<std::string>*>(out);
    names->push_back(IS_INTRESOURCE(name) ? dialog_name(name) : std::string(name));
    return TRUE;
}

// Pixels the control's text may use, or -1 for a control that shows no
// text line (icons, frames, owner-drawn); wraps is set for controls that
// break lines.
int text_room(HWND control, const RECT& client, int dpi, bool* wraps) {
    char cls[32] = {};
    GetClassNameA(control, cls, sizeof cls);
    for (char& c : cls)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    LONG style = GetWindowLongA(control, GWL_STYLE);
    *wraps = false;
    int width = client.right - client.left;
    if (std::string(cls) == "static") {
        switch (style & SS_TYPEMASK) {
        case SS_LEFT:
        case SS_CENTER:
        case SS_RIGHT:
            *wraps = true;
            return width;
        case SS_LEFTNOWORDWRAP:
        case SS_SIMPLE:
            return width;
        }
        return -1;
    }
    if (std::string(cls) != "button") return -1;
    switch (style & BS_TYPEMASK) {
    case BS_PUSHBUTTON:
    case BS_DEFPUSHBUTTON:
        return width - 2 * ui::scale_px(3, dpi);
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
        // The box or circle and the gap after it.
        *wraps = (style & BS_MULTILINE) != 0;
        return width - ui::scale_px(13 + 4, dpi);
    case BS_GROUPBOX:
        return width - ui::scale_px(16, dpi);
    }
    return -1;
}

std::vector<Cut> cut_texts(const std::string& name, HWND dialog) {
    std::vector<Cut> cuts;
    int dpi = ui::dpi_of(dialog);
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char text[512] = {};
        GetWindowTextA(c, text, sizeof text);
        if (!text[0]) continue;
        RECT client;
        GetClientRect(c, &client);
        bool wraps = false;
        int room = text_room(c, client, dpi, &wraps);
        if (room < 0) continue;
        HDC dc = GetDC(c);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(c, WM_GETFONT, 0, 0)));
        RECT need = {0, 0, room > 0 ? room : 1, 0};
        DrawTextA(dc, text, -1, &need,
                  DT_CALCRECT | (wraps ? DT_WORDBREAK : DT_SINGLELINE) | DT_EXPANDTABS);
        SelectObject(dc, old);
        ReleaseDC(c, dc);
        if (need.right > room) cuts.push_back({name, text, need.right, room});
        // Wrapped lines must all fit the control's height.
        else if (wraps && need.bottom > client.bottom)
            cuts.push_back({name, text + std::string(" (lines)"), need.bottom, client.bottom});
    }
    return cuts;
}

} // namespace

std::string cut_template_texts(HMODULE module, std::vector<std::string>* names) {
    names->clear();
    EnumResourceNamesA(module, MAKEINTRESOURCEA(5) /* RT_DIALOG */, collect_name,
                       reinterpret_cast<LONG_PTR>(names));
    std::ostringstream report;
    for (const std::string& name : *names) {
        LPCSTR id = name[0] == '#' ? MAKEINTRESOURCEA(std::stoi(name.substr(1))) : name.c_str();
        HWND dialog = CreateDialogParamA(module, id, nullptr, inert_dialog, 0);
        if (!dialog) {
            report << name << ": could not be made\n";
            continue;
        }
        for (const Cut& c : cut_texts(name, dialog))
            report << c.dialog << ": \"" << c.text << "\" needs " << c.needed << " px, has "
                   << c.room << "\n";
        DestroyWindow(dialog);
    }
    return report.str();
}

} // namespace test
