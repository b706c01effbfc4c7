// Catalog operations: marking, removal by mark, sorting and name lookup.
#include "zip/zlist.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Folds A to Z only; inline, since sorting a large archive spends its time here.
inline int fold_case(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

} // namespace

int compare_names(const char* a, const char* b) {
    for (;; ++a, ++b) {
        int ca = fold_case(static_cast<unsigned char>(*a));
        int cb = fold_case(static_cast<unsigned char>(*b));
        if (ca != cb || ca == 0) return ca - cb;
    }
}

std::uint32_t compression_ratio(std::uint64_t u, std::uint64_t c) {
    // Scale large sizes down so that the product below fits in 32 bits;
    // members past 4 GB are brought into 32 bits before.
    while (u > 0xFFFFFFFFu) {
        u = (u + 128) / 256;
        c = (c + 128) / 256;
    }
    if (u > 16777215u) {
        u = (u + 128) / 256;
        c = (c + 128) / 256;
    }
    if (u == 0 || u <= c) return 0;
    return static_cast<std::uint32_t>(((u - c) * 200 / u + 1) / 2);
}

void zlist::clear() {
    entries.clear();
    sorted.clear();
    sorted.shrink_to_fit();
    marked = 0;
    comment.clear();
    comment_length = 0;
    offset_adjust = 0;
}

zentry* zlist::append(std::unique_ptr<zentry> entry) {
    entries.push_back(std::move(entry));
    return entries.back().get();
}

void zlist::mark(zentry* e) {
    if (e->mark != 1) {
        e->mark = 1;
        ++marked;
    }
}

void zlist::unmark(zentry* e) {
    if (e->mark == 1) {
        e->mark = 0;
        --marked;
    }
}

void zlist::mark_all(std::uint16_t value) {
    for (auto& e : entries) e->mark = value;
    marked = value ? count() : 0;
}

void zlist::remove_marked(std::uint16_t value) {
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const std::unique_ptr<zentry>& e) {
                                     if (e->mark != value) return false;
                                     if (e->mark == 1 && marked) --marked;
                                     return true;
                                 }),
                  entries.end());
    if (entries.empty()) {
        sorted.clear();
        marked = 0;
    }
}

namespace {

using Less = bool (*)(const zentry*, const zentry*);

bool name_up(const zentry* a, const zentry* b) { return compare_names(a->name.c_str(), b->name.c_str()) < 0; }
bool name_down(const zentry* a, const zentry* b) { return compare_names(a->name.c_str(), b->name.c_str()) > 0; }
bool date_up(const zentry* a, const zentry* b) { return a->date_time() < b->date_time(); }
bool date_down(const zentry* a, const zentry* b) { return a->date_time() > b->date_time(); }
bool size_up(const zentry* a, const zentry* b) { return a->uncompressed_size < b->uncompressed_size; }
bool size_down(const zentry* a, const zentry* b) { return a->uncompressed_size > b->uncompressed_size; }
bool packed_up(const zentry* a, const zentry* b) { return a->compressed_size < b->compressed_size; }
bool packed_down(const zentry* a, const zentry* b) { return a->compressed_size > b->compressed_size; }
std::uint32_t ratio_of(const zentry* e) { return compression_ratio(e->uncompressed_size, e->compressed_size); }
bool ratio_up(const zentry* a, const zentry* b) { return ratio_of(a) < ratio_of(b); }
bool ratio_down(const zentry* a, const zentry* b) { return ratio_of(a) > ratio_of(b); }

const Less kOrders[10] = {name_up, name_down, date_up,   date_down,   size_up,
                          size_down, packed_up, packed_down, ratio_up, ratio_down};

} // namespace

int zlist::zlist_sort() {
    sorted.clear();
    sorted.shrink_to_fit();
    if (entries.empty()) return 0;
    try {
        sorted.reserve(entries.size());
    } catch (const std::bad_alloc&) {
        return 1;
    }
    for (auto& e : entries) sorted.push_back(e.get());
    if (sorted.size() > 1 && sort_mode <= 9) std::sort(sorted.begin(), sorted.end(), kOrders[sort_mode]);
    return 0;
}

void zlist::sort_for_lookup() {
    saved_sort_mode = sort_mode;
    if (sort_mode != kSortNameUp && sort_mode != kSortNameDown) {
        sort_mode = kSortNameUp;
        zlist_sort();
    }
}

void zlist::restore_sort() {
    sort_mode = saved_sort_mode;
    zlist_sort();
}

zentry* zlist::zlist_find(const char* name) const {
    if (sorted.empty() || sorted.size() != entries.size()) return nullptr;
    if (sort_mode != kSortNameUp && sort_mode != kSortNameDown) return nullptr;
    const bool down = sort_mode == kSortNameDown;
    std::size_t lo = 0, hi = sorted.size();
    while (lo < hi) {
        std::size_t mid = lo + (hi - lo) / 2;
        int c = compare_names(name, sorted[mid]->name.c_str());
        if (down) c = -c;
        if (c == 0) return sorted[mid];
        if (c < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    return nullptr;
}

std::uint32_t zlist::test_has_folders() {
    has_folders = 0;
    for (auto& e : entries)
        if (e->mark == 1 && std::strchr(e->name.c_str(), '/')) {
            has_folders = 1;
            break;
        }
    return has_folders;
}
