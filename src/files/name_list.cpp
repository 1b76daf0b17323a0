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

void NameList::push_back(std::string_view name) {
    Data& d = own();
    // Starts are 32 bits: 4 GB of names is far beyond any folder.
    if (d.bytes.size() + name.size() >= UINT32_MAX)
        throw std::length_error("too many file names");
    d.starts.push_back(static_cast<std::uint32_t>(d.bytes.size()));
    d.bytes.insert(d.bytes.end(), name.begin(), name.end());
    d.bytes.push_back('\0');
}

void NameList::erase(std::size_t i) {
    // The name's bytes stay behind, unreached: only a few names are ever taken out.
    Data& d = own();
    d.starts.erase(d.starts.begin() + static_cast<std::ptrdiff_t>(i));
}

void NameList::reserve(std::size_t names, std::size_t bytes) {
    Data& d = own();
    d.starts.reserve(names);
    d.bytes.reserve(bytes + names);
}

bool NameList::operator==(const NameList& o) const {
    if (size() != o.size())
        return false;
    if (empty() || m_d == o.m_d)
        return true;
    for (std::size_t i = 0; i < size(); ++i)
        if ((*this)[i] != o[i])
            return false;
    return true;
}

} // namespace kvx
