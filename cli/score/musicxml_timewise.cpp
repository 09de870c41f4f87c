#include "musicxml_timewise.hpp"

#include <algorithm>
#include <cstring>

namespace qzcli {

std::vector<std::string> timewise_part_ids(const pugi::xml_node &timewise)
{
    std::vector<std::string> ids;
    auto add = [&ids](const char *id) {
        if (std::find(ids.begin(), ids.end(), id) == ids.end())
            ids.emplace_back(id);
    };
    for (const pugi::xml_node m : timewise.children("measure"))
        for (const pugi::xml_node p : m.children("part"))
            add(p.attribute("id").value());
    return ids;
}

void partwise_from_timewise(const pugi::xml_node &timewise, pugi::xml_document &partwise)
{
    partwise.reset();
    pugi::xml_node root = partwise.append_child("score-partwise");
    for (const pugi::xml_attribute a : timewise.attributes())
        root.append_copy(a);
    for (const pugi::xml_node c : timewise.children())
        if (std::strcmp(c.name(), "measure") != 0)
            root.append_copy(c);
    for (const std::string &id : timewise_part_ids(timewise)) {
        pugi::xml_node part = root.append_child("part");
        part.append_attribute("id") = id.c_str();
        for (const pugi::xml_node m : timewise.children("measure")) {
            pugi::xml_node pm = part.append_child("measure");
            for (const pugi::xml_attribute a : m.attributes())
                pm.append_copy(a);
            const pugi::xml_node src = m.find_child_by_attribute("part", "id", id.c_str());
            for (const pugi::xml_node c : src.children())
                pm.append_copy(c);
        }
    }
}

} // namespace qzcli
