// The results of a monitored run as the user reads them: the report file's
// text, the text of registry data, and the application's own uninstaller
// found among the registry changes.
#pragma once

#include <cstdint>
#include <string>

#include "monitor/registry_snapshot.h"

namespace monitor {

// The text of registry data of the given type: strings up to their first
// NUL, binary data as lowercase hex, a DWORD as a signed number. Lists of
// strings show their separators as "\0"; other types are shown as hex.
std::string formatValueData(const std::uint8_t* data, std::int32_t type, std::int32_t size);
// "STRING", "BINARY", "DWORD" or "UNKNOWN".
const char* typeLabel(std::int32_t type);

// The whole report: the file changes, then the registry changes, by their
// indexes, without what is gone since. Lines end with CR LF, as a Windows
// text file's do.
std::string reportText();
// Writes reportText() into a new file at path; false when it cannot be created
// or written.
bool writeReportFile(const char* path);

// The first registry change, in the order found, whose key path holds
// "uninstall" in any letter case; nullptr when there is none.
const RegChange* findUninstallKey();
// Looks for the value "UninstallString" (any letter case) with a text in
// root\keyPath, or else in the first of its subkeys that has one, and puts
// it into uninstallCommand; 1 when found. A command
// longer than the field is not taken: a cut command would start something
// else.
int readUninstallString(std::int32_t root, const std::string& keyPath);

} // namespace monitor
