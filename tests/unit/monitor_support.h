// Helpers shared by the install monitor's tests: the run's path fields and
// log records as the driver writes them.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "monitor/log_ring.h"
#include "platform/platform.h"
#include "test_support.h"

namespace test {

inline void setPath(char (&field)[platform::kMaxPath], const std::string& value) {
    platform::copy_bounded(field, sizeof field, value.c_str());
}

// One record: the path NUL-padded to the record size.
inline Bytes logRecord(const std::string& path) {
    Bytes record(monitor::kLogRecordSize, 0);
    std::copy(path.begin(), path.begin() + std::min(path.size(), record.size()), record.begin());
    return record;
}

inline Bytes logOf(const std::vector<std::string>& paths) {
    Bytes log;
    for (const std::string& path : paths) {
        Bytes record = logRecord(path);
        log.insert(log.end(), record.begin(), record.end());
    }
    return log;
}

// The paths of a log file's whole records.
inline std::vector<std::string> logRecords(const std::string& host_path) {
    const Bytes log = read_host_file(host_path);
    std::vector<std::string> paths;
    for (std::size_t at = 0; at + monitor::kLogRecordSize <= log.size();
         at += monitor::kLogRecordSize)
        paths.emplace_back(
            reinterpret_cast<const char*>(&log[at]),
            strnlen(reinterpret_cast<const char*>(&log[at]), monitor::kLogRecordSize));
    return paths;
}

} // namespace test
