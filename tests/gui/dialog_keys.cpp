#include "dialog_keys.h"

#include <cctype>

#include <gtest/gtest.h>

namespace test {

namespace {

INT_PTR CALLBACK passive_proc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

std::string class_of(HWND c) {
    char cls[32] = {};
    GetClassNameA(c, cls, sizeof cls);
    return cls;
}

std::string text_of(HWND c) {
    char text[256] = {};
    GetWindowTextA(c, text, sizeof text);
    return text;
}

HWND key_target(HWND dialog) {
    HWND focus = GetFocus();
    return focus && IsChild(dialog, focus) ? focus : dialog;
}

} // namespace

void pump_dialog(HWND dialog) {
    for (int round = 0; round < 3; ++round) {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (IsWindow(dialog) && IsDialogMessageA(dialog, &m)) continue;
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }
}

void press(HWND dialog, WPARAM vk) {
    HWND target = key_target(dialog);
    LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(static_cast<UINT>(vk), 0)) << 16;
    PostMessageA(target, WM_KEYDOWN, vk, scan | 1);
    PostMessageA(target, WM_KEYUP, vk, scan | 1 | (3 << 30));
    pump_dialog(dialog);
}

void press_alt(HWND dialog, char letter) {
    PostMessageA(key_target(dialog), WM_SYSCHAR,
                 static_cast<WPARAM>(std::tolower(static_cast<unsigned char>(letter))),
                 (1 << 29) | 1);
    pump_dialog(dialog);
}

int focused_id(HWND dialog) {
    HWND f = GetFocus();
    while (f && GetParent(f) != dialog)
        f = GetParent(f);
    return f ? GetDlgCtrlID(f) : 0;
}

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

std::string shown_letters(HWND dialog) {
    std::string out;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char cls[32] = {}, text[256] = {};
        GetClassNameA(c, cls, sizeof cls);
        bool label = lstrcmpiA(cls, "Static") == 0 && !(GetWindowLongA(c, GWL_STYLE) & SS_NOPREFIX);
        if (!label && lstrcmpiA(cls, "Button") != 0) continue;
        GetWindowTextA(c, text, sizeof text);
        if (char l = letter_of(text)) out += l;
    }
    return out;
}

void expect_own_letters(const char* dialog, const std::vector<std::string>& buttons) {
    SCOPED_TRACE(dialog);
    HWND d = CreateDialogParamA(GetModuleHandleA(nullptr), dialog, nullptr, passive_proc, 0);
    ASSERT_NE(d, nullptr) << "no such template";
    std::vector<std::string> shown;
    std::string letters;
    for (HWND c = GetWindow(d, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        const std::string cls = class_of(c), text = text_of(c);
        LONG style = GetWindowLongA(c, GWL_STYLE);
        bool button = lstrcmpiA(cls.c_str(), "Button") == 0 && (style & BS_TYPEMASK) != BS_GROUPBOX;
        bool label = lstrcmpiA(cls.c_str(), "Static") == 0 && !(style & SS_NOPREFIX);
        char letter = (button || label) ? letter_of(text) : 0;
        if (letter) {
            EXPECT_EQ(letters.find(letter), std::string::npos)
                << "'" << letter << "' of \"" << text << "\" is already taken";
            letters += letter;
        }
        if (label && letter) {
            // The dialog manager gives the focus to the next control that
            // takes it; another label there would swallow the letter.
            HWND next = GetWindow(c, GW_HWNDNEXT);
            EXPECT_TRUE(next && lstrcmpiA(class_of(next).c_str(), "Static") != 0 &&
                        (GetWindowLongA(next, GWL_STYLE) & WS_TABSTOP))
                << "\"" << text << "\" is not followed by a control its letter reaches";
        }
        if (!button) continue;
        shown.push_back(without_letters(text));
        int id = GetDlgCtrlID(c);
        if (id == IDOK || id == IDCANCEL) continue;
        EXPECT_NE(letter, 0) << '"' << text << "\" has no access letter";
    }
    EXPECT_EQ(shown, buttons);
    DestroyWindow(d);
}

} // namespace test
