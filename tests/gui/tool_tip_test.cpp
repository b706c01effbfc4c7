// The tool bar's tool tips, read from the tool bar's own tool tip control
// as it would show them when the mouse rests on a button.
#include "app/resource.h"
#include "gui_support.h"

namespace test {
namespace {

struct Tip {
    int command;
    const wchar_t* text;
};

// The menu's names of the six commands, without access marks or keys.
const Tip kTips[] = {{CM_NEW, L"New"},         {CM_OPEN, L"Open"},
                     {CM_ADD, L"Add File(s)"}, {CM_EXTRACT, L"Extract File(s)"},
                     {CM_VIEW, L"View File"},  {CM_INSTALL, L"Install"}};

// What the tool tip control shows for a button: it asks the tool bar,
// which asks the frame, by the notification a hovering mouse makes it send.
std::wstring asked_tip(HWND toolbar, HWND tips, int command) {
    NMTTDISPINFOW info = {};
    info.hdr.hwndFrom = tips;
    info.hdr.idFrom = static_cast<UINT_PTR>(command);
    info.hdr.code = TTN_GETDISPINFOW;
    SendMessageW(toolbar, WM_NOTIFY, static_cast<WPARAM>(command), reinterpret_cast<LPARAM>(&info));
    if (info.lpszText && !IS_INTRESOURCE(info.lpszText)) return info.lpszText;
    return info.szText;
}

using ToolTipTest = ZarvoWindowTest;

TEST_F(ToolTipTest, EveryButtonHasItsMenuNameAsTip) {
    ASSERT_TRUE(start());
    HWND toolbar = frame().toolbar();
    auto tips = reinterpret_cast<HWND>(SendMessageW(toolbar, TB_GETTOOLTIPS, 0, 0));
    ASSERT_NE(tips, nullptr) << "the tool bar made no tool tip control";
    EXPECT_EQ(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0), static_cast<LRESULT>(std::size(kTips)));
    for (const Tip& t : kTips) {
        SCOPED_TRACE(t.command);
        TTTOOLINFOW tool = {};
        tool.cbSize = sizeof tool;
        tool.hwnd = toolbar;
        tool.uId = static_cast<UINT_PTR>(t.command);
        EXPECT_TRUE(SendMessageW(tips, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)))
            << "no tool for this button";
        EXPECT_EQ(asked_tip(toolbar, tips, t.command), t.text);
    }
    // Disabled buttons keep their tips: nothing is open, so Add is disabled.
    EXPECT_FALSE(button_enabled(CM_ADD));
    EXPECT_EQ(asked_tip(toolbar, tips, CM_ADD), L"Add File(s)");
}

} // namespace
} // namespace test
