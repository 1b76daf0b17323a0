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

NameList::Data& NameList::own() {
    if (!m_d)
        m_d = std::make_shared<Data>();
    else if (m_d.use_count() > 1)
        m_d = std::make_shared<Data>(*m_d);
    return *m_d;
}

std::uint32_t NameList::offset(std::size_t bytes) {
    // Ends are 32 bits: 4 GB of names is far beyond any folder.
    if (bytes > UINT32_MAX)
        throw std::length_error("too many file names");
    return static_cast<std::uint32_t>(bytes);
}

void NameList::push_back(std::string_view name) {
    Data& d = own();
    const std::uint32_t end = offset(d.bytes.size() + name.size());
    d.bytes.append(name);
    d.ends.push_back(end);
}

void NameList::erase(std::size_t i) {
    Data& d = own();
    const std::uint32_t begin = i == 0 ? 0 : d.ends[i - 1], length = d.ends[i] - begin;
    d.bytes.erase(begin, length);
    d.ends.erase(d.ends.begin() + static_cast<std::ptrdiff_t>(i));
    for (std::size_t k = i; k < d.ends.size(); ++k)
        d.ends[k] -= length;
}

void NameList::reserve(std::size_t names, std::size_t bytes) {
    Data& d = own();
    d.ends.reserve(names);
    d.bytes.reserve(bytes);
}

bool NameList::operator==(const NameList& o) const {
    if (size() != o.size())
        return false;
    return empty() || m_d == o.m_d || (m_d->bytes == o.m_d->bytes && m_d->ends == o.m_d->ends);
}

} // namespace kvx
