#include "ui/drive_list.h"

#include <cctype>
#include <cstring>

namespace ui {

namespace {

char upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

} // namespace

void fill_drive_list(HWND combo, const char* folder) {
    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    std::uint32_t drives = platform::logical_drives();
    for (int i = 0; i < 26; ++i) {
        if (!(drives & (1u << i))) continue;
        char entry[] = "[-a-]";
        entry[2] = static_cast<char>('a' + i);
        LRESULT at = SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
        if (at >= 0 && upper(entry[2]) == upper(folder[0]))
            SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
    }
}

bool chosen_drive_root(HWND combo, char (&folder)[platform::kMaxPath]) {
    LRESULT at = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    if (at < 0 || SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(at), 0) >= 32)
        return false;
    char entry[32] = {};
    SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(entry));
    if (std::strlen(entry) < 3) return false;
    const char root[] = {upper(entry[2]), ':', '\\', '\0'};
    return platform::copy_bounded(folder, sizeof folder, root);
}

} // namespace ui
