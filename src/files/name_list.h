#pragma once
// File names packed end to end in one buffer, each ended by a NUL (which no file name holds):
// a folder of 100,000 drawings costs its names' bytes and five bytes each, where a std::string
// apiece costs ten times that. The list is an array of where each name starts, so that sorting
// moves only those. Copies share the buffer until one of them changes, so that a list handed
// on is not held twice. No Qt.

#include "files/page_allocator.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kvx {

class NameList {
public:
    NameList() = default;
    // For callers that already hold the names one by one.
    NameList(const std::vector<std::string>& names); // NOLINT: converts on purpose
    NameList(std::initializer_list<std::string_view> names);

    std::size_t size() const { return m_d ? m_d->starts.size() : 0; }
    bool empty() const { return size() == 0; }
    std::string_view operator[](std::size_t i) const {
        return std::string_view(m_d->bytes.data() + m_d->starts[i]);
    }

    // `name` must hold no NUL byte.
    void push_back(std::string_view name);
    void erase(std::size_t i);
    void clear() { m_d.reset(); }
    void reserve(std::size_t names, std::size_t bytes);

    // Puts the names in the order `less` gives, in place.
    template <class Less> void sort(Less less);

    bool operator==(const NameList& o) const;

    class const_iterator {
    public:
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        const_iterator(const NameList* list, std::size_t i) : m_list(list), m_i(i) {}
        std::string_view operator*() const { return (*m_list)[m_i]; }
        const_iterator& operator++() {
            ++m_i;
            return *this;
        }
        bool operator!=(const const_iterator& o) const { return m_i != o.m_i; }
        bool operator==(const const_iterator& o) const { return m_i == o.m_i; }

    private:
        const NameList* m_list;
        std::size_t m_i;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

private:
    struct Data {
        // The names, each followed by a NUL.
        std::vector<char, PageAllocator<char>> bytes;
        // Where each name of the list starts in `bytes`.
        std::vector<std::uint32_t, PageAllocator<std::uint32_t>> starts;
    };
    // The buffer this list alone holds, copied first when another list shares it.
    Data& own();

    std::shared_ptr<Data> m_d;
};

} // namespace kvx

#include <algorithm>

template <class Less> void kvx::NameList::sort(Less less) {
    if (empty())
        return;
    Data& d = own();
    const char* bytes = d.bytes.data();
    std::sort(d.starts.begin(), d.starts.end(), [&](std::uint32_t a, std::uint32_t b) {
        return less(std::string_view(bytes + a), std::string_view(bytes + b));
    });
}
