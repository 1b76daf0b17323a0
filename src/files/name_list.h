#pragma once
// File names packed end to end in one buffer: a folder of 100,000 drawings costs its names'
// bytes and four bytes each, where a std::string apiece costs ten times that. Copies share the
// buffer until one of them changes, so that a list handed on is not held twice. No Qt.

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

    std::size_t size() const { return m_d ? m_d->ends.size() : 0; }
    bool empty() const { return size() == 0; }
    std::string_view operator[](std::size_t i) const {
        const std::uint32_t begin = i == 0 ? 0 : m_d->ends[i - 1];
        return std::string_view(m_d->bytes).substr(begin, m_d->ends[i] - begin);
    }

    void push_back(std::string_view name);
    void erase(std::size_t i);
    void clear() { m_d.reset(); }
    void reserve(std::size_t names, std::size_t bytes);

    // The same names in the order `less` puts them.
    template <class Less> NameList sorted(Less less) const;

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
        std::string bytes;
        std::vector<std::uint32_t> ends; // where each name ends in `bytes`
    };
    // The buffer this list alone holds, copied first when another list shares it.
    Data& own();
    static std::uint32_t offset(std::size_t bytes);

    std::shared_ptr<Data> m_d;
};

} // namespace kvx

#include <algorithm>
#include <numeric>

template <class Less> kvx::NameList kvx::NameList::sorted(Less less) const {
    // Sorting places rather than strings; the names are copied once, in order, and the places
    // read become their ends.
    std::vector<std::uint32_t> order(size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return less((*this)[a], (*this)[b]); });
    NameList out;
    if (order.empty())
        return out;
    Data& d = out.own();
    d.bytes.reserve(m_d->bytes.size());
    for (std::uint32_t& slot : order) {
        d.bytes.append((*this)[slot]);
        slot = static_cast<std::uint32_t>(d.bytes.size());
    }
    d.ends = std::move(order);
    return out;
}
