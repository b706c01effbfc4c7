// Sizes at the display's DPI: the main window's pixel sizes scaled from
// their 96-DPI values, a DPI change while the window is open, and every
// dialog template's texts whole in their controls. The Wine suite runs these
// at 96 DPI; zarvo_gui_tests_144dpi runs them again in a prefix set to 144.
#include <algorithm>
#include <cctype>
#include <sstream>

#include "app/resource.h"
#include "gui_support.h"
#include "ui/dpi.h"

#include <commctrl.h>

namespace test {
namespace {

TEST(DpiScaling, PixelsAt96AreScaledToTheDpiAndRounded) {
    struct Case {
        int pixels, dpi, expected;
    };
    const Case cases[] = {
        {175, 96, 175}, {40, 96, 40},    {175, 144, 263}, {65, 144, 98}, {40, 144, 60}, {3, 144, 5},
        {24, 144, 36},  {175, 192, 350}, {65, 192, 130},  {12, 192, 24}, {7, 120, 9},   {0, 144, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ui::scale_px(c.pixels, c.dpi), c.expected) << c.pixels << " px at " << c.dpi;
}

int screen_dpi() {
    HDC dc = GetDC(nullptr);
    int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(nullptr, dc);
    return dpi;
}

// What the main window measures at one DPI.
struct MainSizes {
    int dpi;
    std::vector<int> columns;
    int button_image;
    int comment_font_height;
    SIZE frame;
};

const MainSizes kAt96 = {96, {175, 75, 65, 70, 70, 40, 100}, 24, -12, {680, 460}};
const MainSizes kAt144 = {144, {263, 113, 98, 105, 105, 60, 150}, 36, -18, {1020, 690}};
// Never a start DPI here: its frame size is whatever the system suggests.
const MainSizes kAt192 = {192, {350, 150, 130, 140, 140, 80, 200}, 48, -24, {0, 0}};

const MainSizes* sizes_at(int dpi) {
    for (const MainSizes* s : {&kAt96, &kAt144})
        if (s->dpi == dpi) return s;
    return nullptr;
}

class DpiWindowTest : public ZarvoWindowTest {
  protected:
    std::vector<int> column_widths() {
        std::vector<int> widths;
        for (int i = 0; i < 7; ++i)
            widths.push_back(ListView_GetColumnWidth(list(), i));
        return widths;
    }
    int button_image_size() {
        HIMAGELIST images =
            reinterpret_cast<HIMAGELIST>(SendMessageA(frame().toolbar(), TB_GETIMAGELIST, 0, 0));
        int cx = 0, cy = 0;
        if (!images || !ImageList_GetIconSize(images, &cx, &cy)) return 0;
        EXPECT_EQ(cx, cy);
        return cx;
    }
    int font_height(HWND control) {
        HFONT font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
        LOGFONTA lf = {};
        if (!font || !GetObjectA(font, sizeof lf, &lf)) return 0;
        return lf.lfHeight;
    }
    void expect_sizes(const MainSizes& s, const char* when) {
        SCOPED_TRACE(when);
        EXPECT_EQ(column_widths(), s.columns);
        EXPECT_EQ(button_image_size(), s.button_image);
        LRESULT button = SendMessageA(frame().toolbar(), TB_GETBUTTONSIZE, 0, 0);
        EXPECT_GT(LOWORD(button), s.button_image);
        EXPECT_GT(HIWORD(button), s.button_image);
        EXPECT_EQ(font_height(win().comment_box()), s.comment_font_height);
        EXPECT_EQ(font_height(win().comment_caption()), s.comment_font_height);
        // Three comment lines and the caption's line fit their windows.
        RECT box, caption;
        GetClientRect(win().comment_box(), &box);
        GetClientRect(win().comment_caption(), &caption);
        EXPECT_GE(box.bottom, 3 * -s.comment_font_height);
        EXPECT_GE(caption.bottom, -s.comment_font_height);
    }
};

TEST_F(DpiWindowTest, MainWindowSizesFollowTheDisplayDpi) {
    int dpi = screen_dpi();
    const MainSizes* expected = sizes_at(dpi);
    ASSERT_TRUE(expected) << "the display is at " << dpi << " DPI; these tests know 96 and 144";
    ASSERT_TRUE(start());
    EXPECT_EQ(win().dpi(), dpi);
    EXPECT_EQ(frame().dpi(), dpi);
    RECT rc;
    GetWindowRect(frame().hwnd(), &rc);
    EXPECT_EQ(rc.right - rc.left, expected->frame.cx);
    EXPECT_EQ(rc.bottom - rc.top, expected->frame.cy);
    expect_sizes(*expected, "at start");
}

TEST_F(DpiWindowTest, DpiChangeMovesTheFrameAndRescalesAndBack) {
    int dpi = screen_dpi();
    const MainSizes* start_sizes = sizes_at(dpi);
    ASSERT_TRUE(start_sizes) << "the display is at " << dpi << " DPI";
    ASSERT_TRUE(start());
    // Within the virtual screen, which Wine does not let a frame outgrow.
    RECT suggested = {20, 10, 20 + 820, 10 + 610};
    SendMessageA(frame().hwnd(), WM_DPICHANGED, MAKEWPARAM(192, 192),
                 reinterpret_cast<LPARAM>(&suggested));
    pump();
    RECT rc;
    GetWindowRect(frame().hwnd(), &rc);
    EXPECT_EQ(rc.left, suggested.left);
    EXPECT_EQ(rc.top, suggested.top);
    EXPECT_EQ(rc.right, suggested.right);
    EXPECT_EQ(rc.bottom, suggested.bottom);
    expect_sizes(kAt192, "at 192 DPI");
    // The new tool bar still follows the enabling rules: no archive is open.
    EXPECT_FALSE(button_enabled(CM_EXTRACT));
    EXPECT_TRUE(button_enabled(CM_OPEN));
    // The list, caption and comment still fill the client between the bars.
    RECT list_rc, comment_rc, client_rc;
    GetWindowRect(list(), &list_rc);
    GetWindowRect(win().comment_box(), &comment_rc);
    GetWindowRect(win().hwnd(), &client_rc);
    EXPECT_EQ(list_rc.top, client_rc.top);
    EXPECT_EQ(comment_rc.bottom, client_rc.bottom);

    SendMessageA(frame().hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), 0);
    pump();
    expect_sizes(*start_sizes, "back at the display's DPI");
}

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

TEST(DialogTexts, EveryTemplateTextFitsItsControl) {
    std::vector<std::string> names;
    HMODULE module = GetModuleHandleA(nullptr);
    EnumResourceNamesA(module, MAKEINTRESOURCEA(5) /* RT_DIALOG */, collect_name,
                       reinterpret_cast<LONG_PTR>(&names));
    // The main dialogs, at least: a failed enumeration must not pass.
    for (const char* expected : {"ADDFILES_DLG", "DIRSELECT_DLG", "OVERWRITE_DLG"})
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    std::vector<Cut> cuts;
    for (const std::string& name : names) {
        LPCSTR id = name[0] == '#' ? MAKEINTRESOURCEA(std::stoi(name.substr(1))) : name.c_str();
        HWND dialog = CreateDialogParamA(module, id, nullptr, inert_dialog, 0);
        if (!dialog) {
            ADD_FAILURE() << name << " could not be made";
            continue;
        }
        for (const Cut& c : cut_texts(name, dialog))
            cuts.push_back(c);
        DestroyWindow(dialog);
    }
    std::ostringstream report;
    for (const Cut& c : cuts)
        report << c.dialog << ": \"" << c.text << "\" needs " << c.needed << " px, has " << c.room
               << "\n";
    EXPECT_TRUE(cuts.empty()) << "at " << screen_dpi() << " DPI:\n" << report.str();
}

} // namespace
} // namespace test
