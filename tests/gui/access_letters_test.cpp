// Access letters of the smaller dialogs: every button and check box the
// user may want without the mouse carries an & letter, no letter serves two
// controls of one dialog, and the words shown stay as they were. OK and
// Cancel are left without: Return and Escape serve them.
#include <cctype>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

namespace test {
namespace {

INT_PTR CALLBACK passive_proc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

struct Control {
    int id;
    std::string text;
    bool button; // push button, check box or radio button; not a group box
};

std::vector<Control> controls_of(HWND dialog) {
    std::vector<Control> out;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char cls[32] = {}, text[256] = {};
        GetClassNameA(c, cls, sizeof cls);
        GetWindowTextA(c, text, sizeof text);
        LONG type = GetWindowLongA(c, GWL_STYLE) & BS_TYPEMASK;
        bool button = lstrcmpiA(cls, "Button") == 0 && type != BS_GROUPBOX;
        out.push_back({GetDlgCtrlID(c), text, button});
    }
    return out;
}

// The access letter of a control text (upper case), 0 for none; "&&" is a
// plain ampersand.
char letter_of(const std::string& text) {
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        return static_cast<char>(std::toupper(static_cast<unsigned char>(text[i + 1])));
    }
    return 0;
}

std::string without_letters(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

TEST(AccessLetters, EveryButtonOfTheSmallDialogsHasItsOwnLetter) {
    const struct {
        const char* dialog;
        std::vector<std::string> buttons; // as shown, OK and Cancel included
    } cases[] = {
        {"SELECTNAME_DLG", {"Case Sensitive", "Keep Previous Selections", "OK", "Cancel"}},
        {"SETINI_DLG", {"Pause when finished", "OK", "Cancel"}},
        {"INSTALLER_DLG", {"OK", "Cancel"}},
        {"SETUP_DLG", {"No uninstall will be needed.", "OK", "Cancel", "Help"}},
        {"ZCOM_DLG", {"Add CR's", "Erase Comment", "Done", "Cancel"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dialog);
        HWND d = CreateDialogParamA(GetModuleHandleA(nullptr), c.dialog, nullptr, passive_proc, 0);
        ASSERT_NE(d, nullptr) << "no such template";
        std::vector<std::string> shown;
        std::string letters;
        for (const Control& k : controls_of(d)) {
            char letter = letter_of(k.text);
            if (letter) {
                EXPECT_EQ(letters.find(letter), std::string::npos)
                    << "'" << letter << "' of \"" << k.text << "\" is already taken";
                letters += letter;
            }
            if (!k.button) continue;
            shown.push_back(without_letters(k.text));
            if (k.id == IDOK || k.id == IDCANCEL) continue;
            EXPECT_NE(letter, 0) << '"' << k.text << "\" has no access letter";
        }
        EXPECT_EQ(shown, c.buttons);
        DestroyWindow(d);
    }
}

} // namespace
} // namespace test
