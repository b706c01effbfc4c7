#include "zip/list_text.h"

#include <cstdio>

#include "platform/platform.h"
#include "zip/zlist.h"

std::string member_date_text(const zentry& e) {
    if (e.is_folder()) return "Folder";
    platform::DosFields f = platform::local_fields_from_dos_time({e.date, e.time});
    char buf[64];
    std::snprintf(buf, sizeof buf, "%2d/%2d/%2d", f.month, f.day, f.year);
    return buf;
}

std::string member_time_text(const zentry& e) {
    char buf[64];
    if (e.is_folder()) {
        std::snprintf(buf, sizeof buf, "%.2d:%.2d", 0, 0);
        return buf;
    }
    platform::DosFields f = platform::local_fields_from_dos_time({e.date, e.time});
    if (f.hour < 12)
        std::snprintf(buf, sizeof buf, "%.2d:%.2d am", f.hour == 0 ? 12 : f.hour, f.minute);
    else
        std::snprintf(buf, sizeof buf, "%.2d:%.2d pm", f.hour == 12 ? 12 : f.hour - 12, f.minute);
    return buf;
}

std::string member_ratio_text(const zentry& e) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%lu%%",
                  static_cast<unsigned long>(compression_ratio(e.uncompressed_size, e.compressed_size)));
    return buf;
}

std::string totals_text(const zlist& list) {
    std::uint32_t size = 0, packed = 0;
    for (const auto& e : list.entries) {
        size += e->uncompressed_size;
        packed += e->compressed_size;
    }
    char buf[128];
    std::snprintf(buf, sizeof buf, "Files: %d    Size: %lu    Pack: %lu    Ratio: %d%%",
                  static_cast<int>(list.count()), static_cast<unsigned long>(size),
                  static_cast<unsigned long>(packed), static_cast<int>(compression_ratio(size, packed)));
    return buf;
}
