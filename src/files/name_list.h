#pragma once
// File names packed end to end in one buffer: a folder of 100,000 drawings costs its names'
// bytes and four bytes each, where a std::string apiece costs ten times that. No Qt.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
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

    std::size_t size() const { return m_ends.size(); }
    bool empty() const { return m_ends.empty(); }
    std::string_view operator[](std::size_t i) const {
        const std::uint32_t begin = i == 0 ? 0 : m_ends[i - 1];
        return std::string_view(m_bytes).substr(begin, m_ends[i] - begin);
    }

    void push_back(std::string_view name);
    void erase(std::size_t i);
    void clear();
    void reserve(std::size_t names, std::size_t bytes);
    // Gives back what growing left unused.
    void shrink_to_fit();

    // The same names in the order `less` puts them.
    template <class Less> NameList sorted(Less less) const;

    bool operator==(const NameList& o) const { return m_bytes == o.m_bytes && m_ends == o.m_ends; }

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
    std::string m_bytes;
    std::vector<std::uint32_t> m_ends; // where each name ends in m_bytes
};

} // namespace kvx

#include <algorithm>
#include <numeric>

template <class Less> kvx::NameList kvx::NameList::sorted(Less less) const {
    // Sorting places rather than strings: the names are not copied until they are in order.
    std::vector<std::uint32_t> order(size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return less((*this)[a], (*this)[b]); });
    NameList out;
    out.reserve(size(), m_bytes.size());
    for (const std::uint32_t i : order)
        out.push_back((*this)[i]);
    return out;
}
