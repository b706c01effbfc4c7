// Case-insensitive order of names and paths, by the lowercase rules of the
// system code page, as the monitor's indexes sort and search them.
#pragma once

namespace monitor {

// Negative, zero or positive as a comes before, equals or follows b.
int compareNoCase(const char* a, const char* b);

} // namespace monitor
