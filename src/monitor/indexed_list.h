// The monitor's lists: nodes chained in the order found, plus an array index
// sorted for display, lookup and ordered processing. Counts are 16-bit, so a
// list refuses its 65,536th entry and remembers that it did (`overflowed`),
// for the results to tell the user once; a count never wraps.
#pragma once

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

namespace monitor {

template <typename Node> class IndexedList {
  public:
    static constexpr std::uint16_t kMaxEntries = 65535;

    IndexedList() = default;
    IndexedList(const IndexedList&) = delete;
    IndexedList& operator=(const IndexedList&) = delete;
    ~IndexedList() { clear(); }

    Node* head() const { return head_; }
    std::uint16_t count() const { return count_; }
    bool full() const { return count_ == kMaxEntries; }
    bool overflowed() const { return overflowed_; }
    const std::vector<Node*>& index() const { return index_; }

    // A zeroed node at the end of the chain; nullptr when the list is full
    // (full() tells) or memory ran out.
    Node* append() {
        if (full()) {
            overflowed_ = true;
            return nullptr;
        }
        Node* node = new (std::nothrow) Node();
        if (!node) return nullptr;
        (tail_ ? tail_->next : head_) = node;
        tail_ = node;
        ++count_;
        return node;
    }

    // Sorts the index by `before`; 0, or 1 when memory ran out (the index is
    // empty then).
    template <typename Less> int rebuildIndex(Less before) {
        index_.clear();
        try {
            index_.reserve(count_);
        } catch (const std::bad_alloc&) {
            return 1;
        }
        for (Node* n = head_; n; n = n->next) index_.push_back(n);
        std::stable_sort(index_.begin(), index_.end(),
                         [&](const Node* a, const Node* b) { return before(*a, *b); });
        return 0;
    }

    // Binary search of the index; `order` compares a node with the key as
    // the index was sorted (negative: the node comes first).
    template <typename Key, typename Order> Node* find(const Key& key, Order order) const {
        auto it = std::lower_bound(index_.begin(), index_.end(), key,
                                   [&](const Node* n, const Key& k) { return order(*n, k) < 0; });
        return it != index_.end() && order(**it, key) == 0 ? *it : nullptr;
    }

    void clear() {
        while (head_) {
            Node* next = head_->next;
            delete head_;
            head_ = next;
        }
        tail_ = nullptr;
        count_ = 0;
        overflowed_ = false;
        index_.clear();
        index_.shrink_to_fit();
    }

  private:
    Node* head_ = nullptr;
    Node* tail_ = nullptr;
    std::uint16_t count_ = 0;
    bool overflowed_ = false;
    std::vector<Node*> index_;
};

} // namespace monitor
