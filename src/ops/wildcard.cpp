#include "ops/wildcard.h"

#include <cstring>

namespace {

// Only the letters a to z fold onto A to Z; other bytes compare exactly.
char fold(char c, int case_sensitive) {
    if (!case_sensitive && c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
    return c;
}

} // namespace

int matchWildcard(const char* text, const char* pattern, int case_sensitive) {
    for (; *pattern; ++pattern, ++text) {
        if (*pattern == '?') {
            if (!*text) return 0;
        } else if (*pattern == '*') {
            if (pattern[1] == '\0') return 1;
            // Try the rest from here and every later position, never the empty end.
            for (; *text; ++text) {
                int r = matchWildcard(text, pattern + 1, case_sensitive);
                if (r != 0) return r;
            }
            return 2;
        } else if (fold(*pattern, case_sensitive) != fold(*text, case_sensitive)) {
            return 0;
        }
    }
    return *text ? 0 : 1;
}

bool matchName(const char* name, const char* pattern, int case_sensitive) {
    std::string n = name, p = pattern;
    std::size_t nd = n.rfind('.'), pd = p.rfind('.');
    std::string nbase = nd == std::string::npos ? n : n.substr(0, nd);
    std::string next = nd == std::string::npos ? std::string() : n.substr(nd + 1);
    std::string pbase = pd == std::string::npos ? p : p.substr(0, pd);
    std::string pext = pd == std::string::npos ? std::string() : p.substr(pd + 1);
    return matchWildcard(next.c_str(), pext.c_str(), case_sensitive) == 1 &&
           matchWildcard(nbase.c_str(), pbase.c_str(), case_sensitive) == 1;
}

int wlist::parse() {
    items_.clear();
    const char* p = source_.c_str();
    for (;;) {
        while (*p == ' ') ++p;
        const char* start = p;
        while (*p && *p != ' ') ++p;
        // Kept whole however long: a filter cut at 12 characters would
        // select the wrong members of archives with long file names.
        items_.emplace_back(start, static_cast<std::size_t>(p - start));
        if (!*p) break;
    }
    return static_cast<int>(items_.size());
}

bool wlist::matchAny(const char* name, int case_sensitive) const {
    for (const auto& f : items_)
        if (!f.empty() && matchName(name, f.c_str(), case_sensitive)) return true;
    return false;
}
