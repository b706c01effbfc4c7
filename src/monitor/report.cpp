#include "monitor/report.h"

#include <cstring>
#include <new>
#include <strings.h>

#include "monitor/file_changes.h"
#include "monitor/run_state.h"

namespace monitor {

namespace {

std::string hex(const std::uint8_t* data, std::int32_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (std::int32_t i = 0; i < size; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 15];
    }
    return out;
}

// Text of at most size bytes, up to the first NUL.
std::string text(const std::uint8_t* data, std::int32_t size) {
    const char* begin = reinterpret_cast<const char*>(data);
    const void* nul = std::memchr(begin, 0, static_cast<std::size_t>(size));
    return std::string(begin, nul ? static_cast<const char*>(nul) : begin + size);
}

std::string rootName(std::int32_t root) {
    return root == static_cast<std::int32_t>(platform::kHkeyCurrentUser) ? "HKEY_CURRENT_USER"
                                                                         : "HKEY_LOCAL_MACHINE";
}

void appendRegistryEntry(std::string& out, const RegChange& r) {
    out += r.kind == KeyNew     ? "NEW KEY\r\n"
           : r.kind == ValueNew ? "NEW DATA\r\n"
                                : "DATA CHANGED\r\n";
    out += "  Key > " + rootName(r.root);
    if (!r.keyPath.empty()) out += "\\" + r.keyPath;
    out += "\r\n";
    if (r.kind == KeyNew) return;
    out +=
        "  Data Name > " + (r.valueName.empty() ? std::string("[Default]") : r.valueName) + "\r\n";
    if (r.kind == ValueChanged) {
        if (r.hasPrevious && r.previousSize > 0) {
            out += "  Previous Data > " +
                   formatValueData(r.previousData.data(), r.previousType, r.previousSize) + "\r\n";
            out += std::string("  Previous Type > ") + typeLabel(r.previousType) + "\r\n";
        } else {
            out += "No Previous Data\r\n";
        }
        if (r.hasCurrent && r.currentSize > 0)
            out += "  Current Data > " +
                   formatValueData(r.currentData.data(), r.currentType, r.currentSize) + "\r\n";
        else
            out += "No Current Data\r\n";
    }
}

} // namespace

std::string formatValueData(const std::uint8_t* data, std::int32_t type, std::int32_t size) {
    if (!data || size <= 0) return std::string();
    switch (type) {
    case platform::kRegSz:
    case platform::kRegExpandSz:
        return text(data, size);
    case platform::kRegMultiSz: {
        // The strings one after another, their separators shown.
        std::string out;
        std::int32_t at = 0;
        while (at < size && data[at] != 0) {
            std::string one = text(data + at, size - at);
            if (!out.empty()) out += "\\0";
            out += one;
            at += static_cast<std::int32_t>(one.size()) + 1;
        }
        return out;
    }
    case platform::kRegDword:
        if (size >= 4) {
            std::int32_t value = static_cast<std::int32_t>(
                std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8 |
                std::uint32_t(data[2]) << 16 | std::uint32_t(data[3]) << 24);
            return std::to_string(value);
        }
        return hex(data, size); // too short for a number
    default:
        return hex(data, size);
    }
}

const char* typeLabel(std::int32_t type) {
    switch (type) {
    case platform::kRegSz:
    case platform::kRegMultiSz:
        return "STRING";
    case platform::kRegBinary:
        return "BINARY";
    case platform::kRegDword:
        return "DWORD";
    default:
        return "UNKNOWN";
    }
}

std::string reportText() {
    std::string out = "Kestril Report\r\n\r\n\r\nFile System\r\n-----------\r\n";
    for (const FileChange* f : filechanges.index()) {
        if (f->kind == FileNew && !f->gone) out += std::string("NEW > ") + f->path + "\r\n";
        if (f->kind == FileReplaced) out += std::string("REPLACED > ") + f->path + "\r\n";
    }
    out += "\r\n\r\nWindows Registry\r\n----------------\r\n";
    try {
        for (const RegChange* r : regchanges.index) {
            if (runError != 0) break;
            if (!r->gone) appendRegistryEntry(out, *r);
        }
    } catch (const std::bad_alloc&) {
        runError = 1;
    }
    return out;
}

bool writeReportFile(const char* path) {
    platform::ScopedFile file(platform::create_file(path));
    if (!file.valid()) return false;
    std::string report = reportText();
    std::uint32_t written = 0;
    return platform::write_file(file.get(), report.data(),
                                static_cast<std::uint32_t>(report.size()), &written);
}

const RegChange* findUninstallKey() {
    for (const auto& r : regchanges.records) {
        std::string lower = r->keyPath;
        if (!lower.empty()) platform::lower_case(&lower[0]);
        if (lower.find("uninstall") != std::string::npos) return r.get();
    }
    return nullptr;
}

namespace {

// The key's UninstallString into uninstallCommand; 1 when there is one.
int uninstallStringOf(platform::RegKey key) {
    platform::RegKeyInfo info;
    if (platform::reg_query_info(key, &info) != platform::kRegOk) return 0;
    std::string name(info.longest_value_name + 1, '\0');
    std::string data(info.longest_value_data + 1, '\0');
    for (std::uint32_t i = 0; i < info.values; ++i) {
        std::uint32_t name_size = static_cast<std::uint32_t>(name.size());
        std::uint32_t data_size = static_cast<std::uint32_t>(data.size()), type = 0;
        if (platform::reg_enum_value(key, i, &name[0], &name_size, &type,
                                     reinterpret_cast<std::uint8_t*>(&data[0]),
                                     &data_size) != platform::kRegOk ||
            name_size == 0)
            continue;
        if (strcasecmp(name.c_str(), "uninstallstring") != 0) continue;
        if (type != platform::kRegSz && type != platform::kRegExpandSz) continue;
        std::string command = text(reinterpret_cast<const std::uint8_t*>(data.data()),
                                   static_cast<std::int32_t>(data_size));
        if (command.empty()) continue;
        if (platform::copy_bounded(uninstallCommand, sizeof uninstallCommand, command.c_str()))
            return 1;
        uninstallCommand[0] = '\0';
        return 0;
    }
    return 0;
}

} // namespace

int readUninstallString(std::int32_t root, const std::string& keyPath) {
    uninstallCommand[0] = '\0';
    const platform::RegKey base = static_cast<platform::RegKey>(root);
    platform::RegKey key;
    if (platform::reg_open(base, keyPath.c_str(), &key) != platform::kRegOk) return 0;
    int found = uninstallStringOf(key);
    // The first program registered in a view makes the Uninstall key itself:
    // the new key found is then the parent of the application's own.
    char sub[256];
    for (std::uint32_t i = 0;
         !found && platform::reg_enum_key(key, i, sub, sizeof sub) == platform::kRegOk; ++i) {
        platform::RegKey child;
        if (platform::reg_open(base, (keyPath + "\\" + sub).c_str(), &child) != platform::kRegOk)
            continue;
        found = uninstallStringOf(child);
        platform::reg_close(child);
    }
    platform::reg_close(key);
    return found;
}

} // namespace monitor
