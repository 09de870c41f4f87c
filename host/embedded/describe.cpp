// Host::describe: a class's registration as plain values.
#include "internal.hpp"

namespace qzhost {

bool Host::describe(std::string_view classname, ClassInfo &out) const
{
    out = ClassInfo{};
    const _class *c = impl_->find_class(classname);
    if (!c)
        return false;
    out.name = c->name;
    out.ctor_types = c->ctor_types;
    for (const auto &m : c->methods)
        out.methods.push_back({m.name->s_name, m.types});
    for (const detail::AttrRec *a : c->attrs) {
        AttrInfo info{a->name->s_name,
                      a->type->s_name,
                      a->flags,
                      a->clip_min,
                      a->clip_max,
                      a->min,
                      a->max,
                      a->getter != nullptr,
                      a->setter != nullptr,
                      {}};
        for (const auto &aa : a->attrattrs) {
            AttrAttrInfo item{aa.name->s_name, aa.type ? aa.type->s_name : "", {}};
            for (const t_atom &at : aa.atoms)
                item.values.push_back(format_atom(at));
            info.attrs.push_back(std::move(item));
        }
        out.attributes.push_back(std::move(info));
    }
    return true;
}

} // namespace qzhost
