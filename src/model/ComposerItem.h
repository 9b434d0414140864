#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

namespace korvex {

// Where an item was last drawn in the composer view; used for hit testing
// and never stored in files.
struct ComposerBox {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const ComposerBox&) const = default;
};

struct ComposerItem;

// The children of a composer node, shared between copies until one of them
// is changed: copying a node copies a reference to its children, and the
// first writing call (the non-const element access and the members that
// change the list) on a list that is shared gives that node a list of its
// own first. Only that one level is copied; the children's own children
// stay shared. So a state copied for an edit shares every formula the edit
// leaves alone, and an edit of one node copies only the nodes on its path.
// Reading goes through the const members (iteration is read-only), so it
// never copies. A shared list is never written, which makes shared lists
// safe to read from several threads at once.
class ComposerChildren {
public:
    using List = std::vector<ComposerItem>;
    using const_iterator = List::const_iterator;

    ComposerChildren() = default;
    ComposerChildren(std::initializer_list<ComposerItem> items);
    ComposerChildren& operator=(std::initializer_list<ComposerItem> items);

    size_t size() const { return items ? items->size() : 0; }
    bool empty() const { return size() == 0; }
    const ComposerItem& operator[](size_t i) const { return (*items)[i]; }
    ComposerItem& operator[](size_t i) { return Own()[i]; }
    const_iterator begin() const;
    const_iterator end() const;

    void clear() { items.reset(); }
    void reserve(size_t n) { Own().reserve(n); }
    void resize(size_t n) { Own().resize(n); }
    void assign(size_t n, const ComposerItem& item);
    void push_back(ComposerItem item);
    template <typename... Args> ComposerItem& emplace_back(Args&&... args);

    // True when both name one list (copies not changed since).
    bool SharesWith(const ComposerChildren& other) const { return items && items == other.items; }

private:
    // The list, made this node's own unless it already holds the only
    // reference to it.
    List& Own();
    static const List& NoItems();
    std::shared_ptr<List> items;
};

// One node of an output expression tree. The kinds, their texts and the
// editing operations live in the composer module; the model only owns the
// lists. Copying an item is cheap: the copy shares the subtree until one
// side changes it (see ComposerChildren).
struct ComposerItem {
    enum Kind : uint32_t {
        Zero = 0,
        One = 1,
        InputA = 2,
        InputB = 3,
        LabelY = 4,
        And = 5,
        Or = 6,
        Assign = 7,
        LabelZ = 8,
        InputC = 9,
        InputD = 10,
        Empty = 11,
        Xor = 12,
        LabelCard = 13,
        InputE = 14,
        InputF = 15,
        InputG = 16,
        InputH = 17,
        Blur = 18,
        Blank = 19,
    };

    uint32_t kind = One;
    int32_t number = 0;
    ComposerChildren children;
    ComposerBox box;

    ComposerItem() = default;
    explicit ComposerItem(uint32_t kind, int32_t number = 0) : kind(kind), number(number) {}

    // Equal content; the drawing box does not count.
    bool SameContent(const ComposerItem& other) const;
};

inline ComposerChildren::ComposerChildren(std::initializer_list<ComposerItem> list)
    : items(std::make_shared<List>(list)) {}

inline ComposerChildren& ComposerChildren::operator=(std::initializer_list<ComposerItem> list) {
    items = std::make_shared<List>(list);
    return *this;
}

inline ComposerChildren::const_iterator ComposerChildren::begin() const {
    return items ? items->cbegin() : NoItems().cbegin();
}

inline ComposerChildren::const_iterator ComposerChildren::end() const {
    return items ? items->cend() : NoItems().cend();
}

inline void ComposerChildren::assign(size_t n, const ComposerItem& item) {
    items = std::make_shared<List>(n, item);
}

inline void ComposerChildren::push_back(ComposerItem item) {
    Own().push_back(std::move(item));
}

template <typename... Args> ComposerItem& ComposerChildren::emplace_back(Args&&... args) {
    return Own().emplace_back(std::forward<Args>(args)...);
}

} // namespace korvex
