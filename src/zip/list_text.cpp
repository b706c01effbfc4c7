#include "zip/list_text.h"

#include <cstdio>

#include "platform/platform.h"
#include "zip/input.h"
#include "zip/zlist.h"

namespace {

std::string date_text(const platform::DosFields& f) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%2d/%2d/%2d", f.month, f.day, f.year);
    return buf;
}

std::string time_text(const platform::DosFields& f) {
    char buf[64];
    if (f.hour < 12)
        std::snprintf(buf, sizeof buf, "%.2d:%.2d am", f.hour == 0 ? 12 : f.hour, f.minute);
    else
        std::snprintf(buf, sizeof buf, "%.2d:%.2d pm", f.hour == 12 ? 12 : f.hour - 12, f.minute);
    return buf;
}

const char kFolderTime[] = "00:00";

} // namespace

platform::DosTime member_shown_time(const zentry& e) {
    // In this machine's zone, so that the list agrees with what extraction sets.
    std::int64_t mtime = 0;
    if (member_exact_time(e, &mtime)) return platform::local_dos_time_from_unix(mtime);
    return {e.date, e.time};
}

std::string member_date_text(const zentry& e) {
    if (e.is_folder()) return "Folder";
    return date_text(platform::split_dos_time(member_shown_time(e)));
}

std::string member_time_text(const zentry& e) {
    if (e.is_folder()) return kFolderTime;
    return time_text(platform::split_dos_time(member_shown_time(e)));
}

void member_date_time_texts(const zentry& e, std::string* date, std::string* time) {
    if (e.is_folder()) {
        *date = "Folder";
        *time = kFolderTime;
        return;
    }
    const platform::DosFields f = platform::split_dos_time(member_shown_time(e));
    *date = date_text(f);
    *time = time_text(f);
}

std::string member_ratio_text(const zentry& e) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%lu%%",
                  static_cast<unsigned long>(compression_ratio(e.uncompressed_size, e.compressed_size)));
    return buf;
}

std::string totals_text(const zlist& list) {
    // In 64 bits: archives of more than 4 GB are common, members of that size too.
    std::uint64_t size = 0, packed = 0;
    for (const auto& e : list.entries) {
        size += e->uncompressed_size;
        packed += e->compressed_size;
    }
    char buf[128];
    std::snprintf(buf, sizeof buf, "Files: %d    Size: %llu    Pack: %llu    Ratio: %d%%",
                  static_cast<int>(list.count()), static_cast<unsigned long long>(size),
                  static_cast<unsigned long long>(packed), static_cast<int>(compression_ratio(size, packed)));
    return buf;
}
