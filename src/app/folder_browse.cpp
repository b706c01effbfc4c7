#include "app/folder_browse.h"

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool is_drive_root(const char* folder) {
    return std::strlen(folder) == 3 && folder[1] == ':' && folder[2] == '\\';
}

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

void fill_folder_lists(HWND folders, HWND files, const char* folder) {
    SendMessageA(folders, LB_RESETCONTENT, 0, 0);
    if (files) SendMessageA(files, LB_RESETCONTENT, 0, 0);
    std::string pattern = folder;
    if (pattern.empty() || pattern.back() != '\\') pattern += '\\';
    pattern += "*.*";
    std::vector<platform::FindData> found;
    if (!platform::find_files(pattern.c_str(), &found)) return;
    // The listing leaves "." and ".." out; the parent is offered below a root
    // as the file system itself would list it.
    if (!is_drive_root(folder))
        SendMessageA(folders, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("[..]"));
    for (const platform::FindData& f : found) {
        if (f.attributes & platform::kAttrDirectory) {
            std::string entry = "[" + f.name + "]";
            SendMessageA(folders, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
        } else if (files) {
            SendMessageA(files, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(f.name.c_str()));
        }
    }
}

bool enter_folder(char (&folder)[platform::kMaxPath], const char* entry) {
    std::string path = folder;
    if (std::strcmp(entry, "[..]") == 0) {
        if (path.size() > 3 && path.back() == '\\') path.pop_back();
        std::size_t cut = path.find_last_of('\\');
        if (cut == std::string::npos) return true;
        path.erase(cut > 0 && path[cut - 1] == ':' ? cut + 1 : cut);
    } else {
        std::string name = entry;
        if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
            name = name.substr(1, name.size() - 2);
        if (!path.empty() && path.back() != '\\') path += '\\';
        path += name;
    }
    if (path.size() >= sizeof folder) return false;
    return platform::copy_bounded(folder, sizeof folder, path.c_str());
}
