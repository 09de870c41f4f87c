#include "boxes.hpp"

namespace qzcli {

void BoxNames::bind(const std::string &name, qzhost::BoxId box)
{
    boxes_[name] = box;
    names_[box] = name;
}

qzhost::BoxId BoxNames::find(const std::string &name) const
{
    const auto it = boxes_.find(name);
    return it != boxes_.end() && host_.alive(it->second) ? it->second : -1;
}

void BoxNames::forget(const std::string &name)
{
    boxes_.erase(name);
}

std::string BoxNames::name_of(qzhost::BoxId box) const
{
    const auto it = names_.find(box);
    if (it != names_.end())
        return it->second;
    if (box < 0)
        return "-";
    std::string name = "#"; // built in two steps: GCC 12 warns on "#" + to_string
    name += std::to_string(box);
    return name;
}

void BoxNames::write_outlet(std::ostream &out, const qzhost::OutletEvent &e) const
{
    out << qzhost::format_number(e.time) << ' ' << name_of(e.box) << ' ' << e.outlet << ' '
        << qzhost::format_number(e.value) << '\n';
}

void BoxNames::write_console(std::ostream &out, const qzhost::ConsoleLine &line) const
{
    out << qzhost::format_number(line.time) << ' ' << name_of(line.box) << ' '
        << (line.error ? "error " : "post ");
    if (!line.cls.empty())
        out << line.cls << ": ";
    out << line.text << '\n';
}

} // namespace qzcli
