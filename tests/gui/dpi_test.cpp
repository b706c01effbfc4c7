// Sizes at the display's DPI: the main window's pixel sizes scaled from
// their 96-DPI values, a DPI change while the window is open, and every
// dialog template's texts whole in their controls. The Wine suite runs these
// at 96 DPI; zarvo_gui_tests_144dpi runs them again in a prefix set to 144.
#include <algorithm>
#include <cctype>
#include <sstream>

#include "app/resource.h"
#include "dialog_texts.h"
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

// Wine 8 lets every program draw at the display's DPI, manifest or not, so
// what Windows reads is checked where it reads it: the manifest resource
// linked into the program (and this test program) asks for per-monitor
// awareness in its windowsSettings, next to the UTF-8 code page.
TEST(DpiScaling, TheLinkedManifestAsksForPerMonitorAwareness) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found =
        FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24) /* RT_MANIFEST */);
    ASSERT_TRUE(found);
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
    ASSERT_TRUE(bytes);
    std::string manifest(bytes, SizeofResource(module, found));
    std::size_t open = manifest.find("<windowsSettings>");
    std::size_t close = manifest.find("</windowsSettings>");
    ASSERT_NE(open, std::string::npos);
    ASSERT_NE(close, std::string::npos);
    std::string settings = manifest.substr(open, close - open);
    for (const char* wanted : {">true/pm</dpiAware>", ">PerMonitorV2, PerMonitor</dpiAwareness>",
                               ">UTF-8</activeCodePage>"})
        EXPECT_NE(settings.find(wanted), std::string::npos) << wanted << " in\n" << settings;
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

TEST(DialogTexts, EveryTemplateTextFitsItsControl) {
    std::vector<std::string> names;
    std::string report = cut_template_texts(GetModuleHandleA(nullptr), &names);
    // The main dialogs, at least: a failed enumeration must not pass.
    for (const char* expected : {"ADDFILES_DLG", "DIRSELECT_DLG", "OVERWRITE_DLG"})
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    EXPECT_EQ(report, "") << "at " << screen_dpi() << " DPI";
}

} // namespace
} // namespace test
