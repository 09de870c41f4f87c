// Symbols: text interned per host, so that equal texts give the same pointer.
#include "internal.hpp"

namespace qzhost {

t_symbol *Host::Impl::intern(std::string_view text)
{
    if (auto it = symtab.find(text); it != symtab.end())
        return it->second;
    auto [it, inserted] = symtab.emplace(std::string(text), nullptr);
    (void)inserted;
    t_symbol &s = symbols.emplace_back();
    // Node-based map: the key does not move. The host's t_symbol holds a
    // `char *`; nothing writes through it.
    s.s_name = const_cast<char *>(it->first.c_str());
    s.s_thing = nullptr;
    it->second = &s;
    return &s;
}

} // namespace qzhost

using qzhost::detail::current_or_complain;

extern "C" {

t_symbol *gensym(const char *s)
{
    auto *h = current_or_complain("gensym");
    if (!h)
        return nullptr;
    return h->intern(s ? std::string_view(s) : std::string_view());
}

// No translation table: the localisable text is its own translation.
t_symbol *gensym_tr(const char *s)
{
    auto *h = current_or_complain("gensym_tr");
    if (!h)
        return nullptr;
    return h->intern(s ? std::string_view(s) : std::string_view());
}

} // extern "C"
