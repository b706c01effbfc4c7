#include "ops/paths.h"

#include <cstring>
#include <vector>

#include "zip/errors.h"

void stripFileName(char* path) {
    char* slash = std::strrchr(path, '\\');
    if (!slash) return;
    if (slash > path && slash[-1] == ':')
        slash[1] = '\0';
    else
        *slash = '\0';
}

int createDirPath(const char* path) {
    std::size_t n = std::strlen(path);
    std::string part;
    for (std::size_t i = 0; i < n; ++i) {
        if (path[i] == '\\' && i > 0 && path[i - 1] != ':') {
            part.assign(path, i);
            if (platform::get_attributes(part.c_str()) == platform::kInvalidAttributes &&
                !platform::create_directory(part.c_str())) {
                platform::message_box({"Could not create directory", part,
                                       platform::kMbOk | platform::kMbIconExclamation, nullptr});
                return 1;
            }
        }
    }
    return 0;
}

void getFileDosTime(const char* path, std::uint32_t* size, std::uint16_t* date, std::uint16_t* time) {
    platform::ScopedFile f(platform::open_read(path));
    if (!f.valid()) return;
    std::uint32_t s = 0;
    if (size && platform::file_size(f.get(), &s)) *size = s;
    platform::DosTime t;
    if (platform::get_file_time(f.get(), &t)) {
        if (date) *date = t.date;
        if (time) *time = t.time;
    }
}

bool getFileUnixTime(const char* path, std::int64_t* seconds) {
    platform::ScopedFile f(platform::open_read(path));
    return f.valid() && platform::get_file_unix_time(f.get(), seconds);
}

void deleteFilesBelow(const char* folder) {
    std::string base = platform::with_backslash(folder);
    std::vector<platform::FindData> found;
    if (!platform::find_files((base + "*.*").c_str(), &found)) return;
    for (const platform::FindData& f : found) {
        std::string path = base + f.name;
        if (f.attributes & platform::kAttrDirectory) {
            deleteFilesBelow(path.c_str());
            continue;
        }
        if (f.attributes & platform::kAttrReadOnly)
            platform::set_attributes(path.c_str(),
                                     f.attributes & ~std::uint32_t(platform::kAttrReadOnly));
        if (!platform::delete_file(path.c_str()))
            platform::message_box({"Could not remove file", path,
                                   platform::kMbOk | platform::kMbIconExclamation, nullptr});
    }
}

void removeEmptyFolders(const char* folder) {
    std::string base = platform::with_backslash(folder);
    std::vector<platform::FindData> found;
    if (platform::find_files((base + "*.*").c_str(), &found)) {
        for (const platform::FindData& f : found)
            if (f.attributes & platform::kAttrDirectory)
                removeEmptyFolders((base + f.name).c_str());
    }
    std::string self = folder;
    if (self.size() > 3 && self.back() == '\\') self.pop_back();
    platform::remove_directory(self.c_str());
}

namespace {

// A part made only of dots and blanks with two or more dots names the parent
// (Windows drops trailing dots and blanks, so ".. " and "..." count too).
bool is_parent_reference(const std::string& part) {
    int dots = 0;
    for (char c : part) {
        if (c == '.')
            ++dots;
        else if (c != ' ')
            return false;
    }
    return dots >= 2;
}

bool has_forbidden_character(const std::string& part) {
    for (char c : part) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 32 || std::strchr("<>\"|?*", c)) return true;
    }
    return false;
}

bool same_letters(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != b[i]) return false;
    }
    return true;
}

// Windows opens the device whatever extension follows a reserved name, and
// ignores blanks before that extension: "nul .txt" is NUL. The digits of
// COM and LPT include the superscripts 1 to 3: in UTF-8, as member names
// are, and in Windows-1252, for a name met in a system code page.
bool is_device_name(const std::string& part) {
    std::string base = part.substr(0, part.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* d : kDevices)
        if (same_letters(base, d)) return true;
    if (base.size() < 4) return false;
    std::string stem = base.substr(0, 3);
    if (!same_letters(stem, "COM") && !same_letters(stem, "LPT")) return false;
    std::string digit = base.substr(3);
    if (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') return true;
    return digit == "\xB9" || digit == "\xB2" || digit == "\xB3" || digit == "\xC2\xB9" ||
           digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

} // namespace

int memberTargetPath(const std::string& destination, const std::string& stored_name,
                     bool use_folder_names, char (&target)[platform::kMaxPath]) {
    std::string name = stored_name.c_str(); // as the NUL-terminated copy reads
    if (name.empty()) return ZWARN_UNSAFE;  // it would name the destination itself
    for (char& c : name)
        if (c == '/') c = '\\';
    if (!use_folder_names) {
        std::size_t cut = name.rfind('\\');
        if (cut != std::string::npos) name.erase(0, cut + 1);
    }
    if (!name.empty() && name[0] == '\\') return ZWARN_UNSAFE;
    // Any colon names a drive ("C:x") or a stream of another file ("a.txt:x").
    if (name.find(':') != std::string::npos) return ZWARN_UNSAFE;
    int refused = 0;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('\\', start);
        if (end == std::string::npos) end = name.size();
        std::string part = name.substr(start, end - start);
        if (is_parent_reference(part)) return ZWARN_UNSAFE;
        if (refused == 0 && has_forbidden_character(part)) refused = ZWARN_BAD_NAME;
        if (refused == 0 && is_device_name(part)) refused = ZWARN_DEVICE;
        start = end + 1;
    }
    if (refused) return refused;
    if (!platform::copy_bounded(target, sizeof target, (destination + name).c_str()))
        return ZWARN_TOO_LONG;
    return 0;
}

bool linkTargetStaysInside(const std::string& link_path, const std::string& target) {
    if (target.empty() || target.size() > kMaxLinkTarget || target.find('\0') != std::string::npos)
        return false;
    // A backslash separates too: stricter on Unix, where it is a name's character.
    if (target[0] == '/' || target[0] == '\\') return false;
    std::size_t depth = 0; // folders between the destination and the link
    for (std::size_t i = link_path.find('\\'); i != std::string::npos;
         i = link_path.find('\\', i + 1))
        if (i > 0 && link_path[i - 1] != '\\') ++depth;
    bool named = false;
    std::size_t start = 0;
    while (start <= target.size()) {
        std::size_t end = target.find_first_of("/\\", start);
        if (end == std::string::npos) end = target.size();
        const std::string part = target.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        if (part != "..") {
            named = true;
            continue;
        }
        if (named || depth == 0) return false;
        --depth;
    }
    return true;
}
