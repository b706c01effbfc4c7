#include "monitor/no_case.h"

#include "platform/platform.h"

namespace monitor {

namespace {

// The system lowercases byte by byte in the code pages the monitor runs
// with, so one table built from it gives the same answers much cheaper than
// lowercasing copies of both strings on every comparison.
struct LowerTable {
    unsigned char lower[256];
    LowerTable() {
        lower[0] = 0;
        for (int c = 1; c < 256; ++c) {
            char one[2] = {static_cast<char>(c), '\0'};
            platform::lower_case(one);
            lower[c] = static_cast<unsigned char>(one[0]);
        }
    }
};

} // namespace

int compareNoCase(const char* a, const char* b) {
    static const LowerTable table;
    const auto* x = reinterpret_cast<const unsigned char*>(a);
    const auto* y = reinterpret_cast<const unsigned char*>(b);
    for (;; ++x, ++y) {
        int d = table.lower[*x] - table.lower[*y];
        if (d != 0 || *x == 0) return d;
    }
}

} // namespace monitor
