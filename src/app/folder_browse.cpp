#include "app/folder_browse.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

bool is_drive_root(const char* folder) {
    return std::strlen(folder) == 3 && folder[1] == ':' && folder[2] == '\\';
}

} // namespace

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
