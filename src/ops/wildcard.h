// Name filters: the space-separated wildcard filters of the Select menu, the
// Add Files dialog and the command line, and the DOS-style match they use
// (base and extension matched separately, "*" and "?").
#pragma once

#include <string>
#include <utility>
#include <vector>

// 1 match, 0 no match, 2 abort (a failed inner "*" ends the whole match).
int matchWildcard(const char* text, const char* pattern, int case_sensitive);
// Splits name and pattern at their last "." and matches both parts.
bool matchName(const char* name, const char* pattern, int case_sensitive);

class wlist {
  public:
    explicit wlist(const char* source) : source_(source ? source : "") {}
    // Filters given one by one (command-line arguments): each is kept whole,
    // blanks included, and needs no parse.
    explicit wlist(std::vector<std::string> filters) : items_(std::move(filters)) {}
    // Splits the source at spaces into filters (kept whole); an
    // empty text or trailing spaces give one empty filter, which matches nothing.
    int parse();
    bool matchAny(const char* name, int case_sensitive) const;
    const std::vector<std::string>& filters() const { return items_; }

  private:
    std::string source_;
    std::vector<std::string> items_;
};
