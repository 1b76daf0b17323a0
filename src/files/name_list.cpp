#include "files/name_list.h"

#include <stdexcept>

namespace kvx {

NameList::NameList(const std::vector<std::string>& names) {
    std::size_t bytes = 0;
    for (const std::string& n : names)
        bytes += n.size();
    reserve(names.size(), bytes);
    for (const std::string& n : names)
        push_back(n);
}

NameList::NameList(std::initializer_list<std::string_view> names) {
    for (const std::string_view n : names)
        push_back(n);
}

void NameList::push_back(std::string_view name) {
    // Offsets are 32 bits: 4 GB of names is far beyond any folder.
    if (m_bytes.size() + name.size() > UINT32_MAX)
        throw std::length_error("too many file names");
    m_bytes.append(name);
    m_ends.push_back(static_cast<std::uint32_t>(m_bytes.size()));
}

void NameList::erase(std::size_t i) {
    const std::uint32_t begin = i == 0 ? 0 : m_ends[i - 1], length = m_ends[i] - begin;
    m_bytes.erase(begin, length);
    m_ends.erase(m_ends.begin() + static_cast<std::ptrdiff_t>(i));
    for (std::size_t k = i; k < m_ends.size(); ++k)
        m_ends[k] -= length;
}

void NameList::clear() {
    m_bytes.clear();
    m_ends.clear();
}

void NameList::reserve(std::size_t names, std::size_t bytes) {
    m_ends.reserve(names);
    m_bytes.reserve(bytes);
}

void NameList::shrink_to_fit() {
    m_bytes.shrink_to_fit();
    m_ends.shrink_to_fit();
}

} // namespace kvx
