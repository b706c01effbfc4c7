#include "manifest.h"

#include <cctype>
#include <regex>
#include <sstream>

#include "test_support.h"

namespace test {

namespace {

std::vector<std::string> split_tabs(const std::string& s) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        std::size_t tab = s.find('\t', start);
        out.push_back(s.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return out;
}

} // namespace

std::vector<ManifestArchive> load_manifest() {
    Bytes raw = read_host_file(data_host_path("zip/MANIFEST.tsv"));
    std::istringstream in(std::string(raw.begin(), raw.end()));
    std::string line;
    std::getline(in, line); // header
    std::vector<ManifestArchive> out;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        auto c = split_tabs(line);
        if (c.size() < 9) continue;
        if (c[1] == "(archive)")
            out.push_back({c[0], c[8], {}});
        else if (!out.empty())
            out.back().members.push_back({c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8]});
    }
    return out;
}

std::string test_name_of(const ManifestArchive& a) {
    std::string n = a.path;
    for (char& c : n)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
}

std::string find_in(const std::string& text, const std::string& pattern) {
    std::smatch m;
    if (std::regex_search(text, m, std::regex(pattern))) return m[1];
    return "";
}

std::string unescape_name(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
            out += static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

} // namespace test
