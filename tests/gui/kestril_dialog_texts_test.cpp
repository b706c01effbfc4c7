// The install monitor's dialog templates: every text whole in its control
// at the display's DPI (kestril_gui_tests_144dpi runs this at 144).
#include <gtest/gtest.h>

#include <algorithm>

#include "dialog_texts.h"

namespace test {
namespace {

TEST(KestrilDialogTexts, EveryTemplateTextFitsItsControl) {
    std::vector<std::string> names;
    std::string report = cut_template_texts(GetModuleHandleA(nullptr), &names);
    for (const char* expected : {"RESULTS_DLG", "PICKAPP_DLG", "WAIT_DLG", "EXIT_DLG"})
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    HDC dc = GetDC(nullptr);
    int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(nullptr, dc);
    EXPECT_EQ(report, "") << "at " << dpi << " DPI";
}

} // namespace
} // namespace test
