// The fixture corpus manifest (tests/data/zip/MANIFEST.tsv): one row per
// archive with its notes, then one row per member in central-directory order.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace test {

struct ManifestRow {
    std::string name; // escaped as the manifest writes it
    std::string method, flags, compressed_size, uncompressed_size, crc32, sha256, notes;
};

struct ManifestArchive {
    std::string path; // below tests/data/zip
    std::string notes;
    std::vector<ManifestRow> members;
};

inline void PrintTo(const ManifestArchive& a, std::ostream* os) { *os << a.path; }

std::vector<ManifestArchive> load_manifest();
// The archive's path as a test name (letters and digits, the rest '_').
std::string test_name_of(const ManifestArchive& a);
// The first group of the first match of pattern in text, or "".
std::string find_in(const std::string& text, const std::string& pattern);
// Name with \xNN and \\ escapes undone.
std::string unescape_name(const std::string& escaped);

} // namespace test
