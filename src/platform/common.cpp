// Parts of the platform layer that need no operating system: bounded copies
// and the DOS date/time arithmetic (both builds use the same conversion so
// that times never depend on the host's time-zone database).
#include "platform/platform.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace platform {

bool copy_bounded(char* dst, std::size_t dst_size, const char* src) {
    if (dst_size == 0) return false;
    std::size_t n = src ? std::strlen(src) : 0;
    bool fits = n < dst_size;
    if (!fits) n = dst_size - 1;
    if (n) std::memcpy(dst, src, n);
    dst[n] = '\0';
    return fits;
}

std::string with_backslash(const std::string& folder) {
    return !folder.empty() && folder.back() == '\\' ? folder : folder + "\\";
}

namespace {

// Days from 1970-01-01 to year/month/day of the proleptic Gregorian calendar.
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civil_from_days(std::int64_t z, int* y, int* m, int* d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (*m <= 2));
}

} // namespace

DosTime dos_time_from_unix(std::int64_t seconds) {
    const std::int64_t lowest = days_from_civil(1980, 1, 1) * 86400;
    const std::int64_t highest = days_from_civil(2107, 12, 31) * 86400 + 86398;
    if (seconds < lowest) seconds = lowest;
    if (seconds > highest) seconds = highest;
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    int y, m, d;
    civil_from_days(days, &y, &m, &d);
    DosTime t;
    t.date = static_cast<std::uint16_t>(((y - 1980) << 9) | (m << 5) | d);
    t.time = static_cast<std::uint16_t>(((rest / 3600) << 11) | (((rest / 60) % 60) << 5) |
                                        ((rest % 60) / 2));
    return t;
}

DosFields split_dos_time(DosTime t) {
    DosFields f;
    f.year = 1980 + (t.date >> 9);
    f.month = (t.date >> 5) & 0x0F;
    f.day = t.date & 0x1F;
    f.hour = t.time >> 11;
    f.minute = (t.time >> 5) & 0x3F;
    f.second = (t.time & 0x1F) * 2;
    return f;
}

std::int64_t unix_from_dos_time(DosTime t) {
    DosFields f = split_dos_time(t);
    // Out-of-range fields roll over, as the Windows conversion would refuse
    // them; days_from_civil copes with month 0 or 13 by normalising first.
    int month = f.month < 1 ? 1 : (f.month > 12 ? 12 : f.month);
    int day = f.day < 1 ? 1 : f.day;
    return days_from_civil(f.year, static_cast<unsigned>(month), 1) * 86400 +
           static_cast<std::int64_t>(day - 1) * 86400 + f.hour * 3600 + f.minute * 60 + f.second;
}

DosTime local_dos_time_from_unix(std::int64_t seconds) {
    return dos_time_from_unix(seconds + zone_offset_at(seconds));
}

std::int64_t unix_from_local_dos_time(DosTime t) {
    // The offsets a day either side of the wall-clock time are the only two
    // it can have; each that maps back onto it gives an instant.
    const std::int64_t wall = unix_from_dos_time(t);
    const std::int64_t before = zone_offset_at(wall - 86400);
    const std::int64_t after = zone_offset_at(wall + 86400);
    const bool before_fits = zone_offset_at(wall - before) == before;
    const bool after_fits = zone_offset_at(wall - after) == after;
    if (before_fits && after_fits) return std::min(wall - before, wall - after);
    if (after_fits) return wall - after;
    return wall - before; // before fits, or a time in the gap
}

namespace {
std::mutex g_prompt_mutex;
PromptResponder g_responder;
} // namespace

PromptResponder set_prompt_responder(PromptResponder responder) {
    std::lock_guard<std::mutex> lock(g_prompt_mutex);
    PromptResponder old = std::move(g_responder);
    g_responder = std::move(responder);
    return old;
}

// Defined by each build: shows the box when no responder is installed.
int show_message_box(const Prompt& prompt);

int message_box(const Prompt& prompt) {
    PromptResponder responder;
    {
        std::lock_guard<std::mutex> lock(g_prompt_mutex);
        responder = g_responder;
    }
    if (responder) return responder(prompt);
    return show_message_box(prompt);
}

namespace {
std::atomic<LoggingDriver*> g_installed_driver{nullptr};
} // namespace

// Defined by each build: the driver it can host, or nullptr.
LoggingDriver* builtin_logging_driver();

LoggingDriver* logging_driver() {
    LoggingDriver* installed = g_installed_driver.load();
    return installed ? installed : builtin_logging_driver();
}

LoggingDriver* set_logging_driver(LoggingDriver* driver) {
    return g_installed_driver.exchange(driver);
}

} // namespace platform
