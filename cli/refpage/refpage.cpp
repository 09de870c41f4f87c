#include "refpage.hpp"

#include <nlohmann/json.hpp>

#include <set>
#include <sstream>

namespace qzcli {

namespace {

using nlohmann::json;

std::string xml_escape(std::string_view s)
{
    std::string out;
    for (const char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// The reference page's name for a registered type.
std::string type_name(const std::string &host_type)
{
    if (host_type == "long" || host_type == "atom_long")
        return "int";
    return host_type; // "float32", "float64", "symbol", "atom"
}

std::string arg_type(short code)
{
    switch (code) {
    case A_LONG:
        return "int";
    case A_FLOAT:
        return "float";
    case A_SYM:
        return "symbol";
    default:
        return "list";
    }
}

class Generator {
  public:
    Generator(qzhost::Host &host, const std::string &source, std::vector<std::string> &problems)
        : host_(host), source_(source), problems_(problems)
    {
    }

    bool run(const json &doc, std::string &xml)
    {
        if (!doc.is_object() || !doc.contains("name") || !doc["name"].is_string())
            return fail("no \"name\" naming the class");
        name_ = doc["name"].get<std::string>();
        if (!host_.load(name_) || !host_.describe(name_, info_))
            return fail("class '" + name_ + "' does not load");
        std::ostringstream x;
        x << "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\n"
          << "<c74object name=\"" << xml_escape(name_) << "\" module=\"qz\" category=\"qz\">\n";
        x << "  <digest>" << xml_escape(text(doc, "digest", "the object")) << "</digest>\n"
          << "  <description>" << xml_escape(text(doc, "description", "the object"))
          << "</description>\n";
        metadata(doc, x);
        const qzhost::BoxId box = make_box(doc);
        ports(doc, box, true, x);
        ports(doc, box, false, x);
        argument(doc, x);
        methods(doc, x);
        attributes(doc, x);
        seealso(doc, x);
        x << "</c74object>\n";
        if (box >= 0)
            host_.free_box(box);
        xml = x.str();
        return problems_.empty();
    }

  private:
    bool fail(const std::string &message)
    {
        problems_.push_back(source_ + ": " + message);
        return false;
    }

    // A prose field: a non-empty string, else a problem.
    std::string text(const json &j, const char *key, const std::string &what)
    {
        if (!j.is_object() || !j.contains(key) || !j[key].is_string() ||
            j[key].get<std::string>().empty()) {
            fail(what + " has no \"" + key + "\"");
            return {};
        }
        return j[key].get<std::string>();
    }

    void metadata(const json &doc, std::ostream &x)
    {
        x << "  <metadatalist>\n    <metadata name=\"author\">qz authors</metadata>\n";
        if (doc.contains("tags") && doc["tags"].is_array())
            for (const json &t : doc["tags"])
                if (t.is_string())
                    x << "    <metadata name=\"tag\">" << xml_escape(t.get<std::string>())
                      << "</metadata>\n";
        x << "  </metadatalist>\n";
    }

    // A box made with the documented argument: it must come up without a
    // console error.
    qzhost::BoxId make_box(const json &doc)
    {
        std::string text = name_;
        if (doc.contains("argument") && doc["argument"].is_object() &&
            doc["argument"].contains("example") && doc["argument"]["example"].is_string())
            text += " " + doc["argument"]["example"].get<std::string>();
        const size_t before = host_.console_log().size();
        const qzhost::BoxId box = host_.create(text);
        for (size_t i = before; i < host_.console_log().size(); ++i)
            if (host_.console_log()[i].error)
                fail("'" + text + "' posts an error: " + host_.console_log()[i].text);
        if (box < 0)
            fail("'" + text + "' cannot be made");
        return box;
    }

    void ports(const json &doc, qzhost::BoxId box, bool inlets, std::ostream &x)
    {
        const char *key = inlets ? "inlets" : "outlets";
        const char *tag = inlets ? "inlet" : "outlet";
        const int count = box < 0 ? 0 : inlets ? host_.inlet_count(box) : host_.outlet_count(box);
        const json empty = json::array();
        const json &prose = doc.contains(key) && doc[key].is_array() ? doc[key] : empty;
        if (static_cast<int>(prose.size()) != count)
            fail(std::string("the object has ") + std::to_string(count) + " " + key +
                 ", the prose " + std::to_string(prose.size()));
        x << "  <" << tag << "list>\n";
        for (int i = 0; i < count; ++i) {
            bool written = false;
            const std::string digest =
                host_.assist(box, inlets ? ASSIST_INLET : ASSIST_OUTLET, i, &written);
            if (!written)
                fail(std::string(tag) + " " + std::to_string(i) + " has no assistance text");
            const std::string what = std::string(tag) + " " + std::to_string(i);
            const std::string desc = static_cast<size_t>(i) < prose.size()
                                         ? text(prose[static_cast<size_t>(i)], "description", what)
                                         : std::string();
            x << "    <" << tag << " id=\"" << i << "\" type=\""
              << (inlets && i == 0 && takes_list() ? "list" : "float") << "\">\n"
              << "      <digest>" << xml_escape(digest) << "</digest>\n"
              << "      <description>" << xml_escape(desc) << "</description>\n"
              << "    </" << tag << ">\n";
        }
        x << "  </" << tag << "list>\n";
    }

    bool takes_list() const
    {
        for (const qzhost::MethodInfo &m : info_.methods)
            if (m.name == "list")
                return true;
        return false;
    }

    void argument(const json &doc, std::ostream &x)
    {
        const bool takes = !info_.ctor_types.empty();
        const bool documented = doc.contains("argument");
        if (takes != documented) {
            fail(takes ? "the object takes creation arguments; no \"argument\" prose"
                       : "\"argument\" prose for an object that takes no creation argument");
            return;
        }
        x << "  <objarglist>\n";
        if (takes) {
            const json &a = doc["argument"];
            const std::string name = text(a, "name", "the argument");
            const std::string type = text(a, "type", "the argument");
            const short code = info_.ctor_types[0];
            if (code != A_GIMME && arg_type(code) != type)
                fail("the argument is registered as " + arg_type(code) + ", documented as " + type);
            const bool optional =
                a.contains("optional") && a["optional"].is_boolean() && a["optional"].get<bool>();
            x << "    <objarg name=\"" << xml_escape(name) << "\" optional=\"" << (optional ? 1 : 0)
              << "\" type=\"" << xml_escape(type) << "\">\n"
              << "      <digest>" << xml_escape(text(a, "digest", "the argument")) << "</digest>\n"
              << "      <description>" << xml_escape(text(a, "description", "the argument"))
              << "</description>\n    </objarg>\n";
        }
        x << "  </objarglist>\n";
    }

    void methods(const json &doc, std::ostream &x)
    {
        const json empty = json::object();
        const json &prose =
            doc.contains("methods") && doc["methods"].is_object() ? doc["methods"] : empty;
        std::set<std::string> registered;
        x << "  <methodlist>\n";
        for (const qzhost::MethodInfo &m : info_.methods) {
            // Routines the host calls privately (assist, inletinfo) are no messages.
            if (m.types.size() == 1 && m.types[0] == A_CANT)
                continue;
            registered.insert(m.name);
            if (!prose.contains(m.name)) {
                fail("method '" + m.name + "' has no prose");
                continue;
            }
            const json &p = prose[m.name];
            x << "    <method name=\"" << xml_escape(m.name) << "\">\n      <arglist>\n";
            for (const short t : m.types)
                x << "        <arg name=\"" << (t == A_GIMME ? "values" : "value")
                  << "\" optional=\"0\" type=\"" << arg_type(t) << "\"/>\n";
            x << "      </arglist>\n"
              << "      <digest>" << xml_escape(text(p, "digest", "method " + m.name))
              << "</digest>\n"
              << "      <description>" << xml_escape(text(p, "description", "method " + m.name))
              << "</description>\n    </method>\n";
        }
        x << "  </methodlist>\n";
        for (const auto &item : prose.items())
            if (registered.count(item.key()) == 0)
                fail("prose for method '" + item.key() + "', which the object does not register");
    }

    static const qzhost::AttrAttrInfo *find_aa(const qzhost::AttrInfo &a, const char *name)
    {
        for (const auto &aa : a.attrs)
            if (aa.name == name)
                return &aa;
        return nullptr;
    }

    void attributes(const json &doc, std::ostream &x)
    {
        const json empty = json::object();
        const json &prose =
            doc.contains("attributes") && doc["attributes"].is_object() ? doc["attributes"] : empty;
        std::set<std::string> registered;
        x << "  <attributelist>\n";
        for (const qzhost::AttrInfo &a : info_.attributes) {
            registered.insert(a.name);
            if (!prose.contains(a.name)) {
                fail("attribute '" + a.name + "' has no prose");
                continue;
            }
            const json &p = prose[a.name];
            const std::string what = "attribute " + a.name;
            x << "    <attribute name=\"" << xml_escape(a.name) << "\" get=\"1\" set=\"1\" type=\""
              << type_name(a.type) << "\" size=\"1\">\n"
              << "      <digest>" << xml_escape(text(p, "digest", what)) << "</digest>\n"
              << "      <description>" << xml_escape(text(p, "description", what))
              << "</description>\n      <attributelist>\n";
            for (const qzhost::AttrAttrInfo &aa : a.attrs)
                attr_attr(a, aa, p, x);
            // The clip filter's bounds, where no attribute-of-attribute says them.
            if (a.clip_min && !find_aa(a, "min"))
                x << "        <attribute name=\"min\" get=\"1\" set=\"1\" type=\""
                  << type_name(a.type) << "\" size=\"1\" value=\"" << qzhost::format_number(a.min)
                  << "\"/>\n";
            if (a.clip_max && !find_aa(a, "max"))
                x << "        <attribute name=\"max\" get=\"1\" set=\"1\" type=\""
                  << type_name(a.type) << "\" size=\"1\" value=\"" << qzhost::format_number(a.max)
                  << "\"/>\n";
            x << "      </attributelist>\n    </attribute>\n";
            if (!find_aa(a, "enumvals") && p.contains("enum"))
                fail(what + ": prose for menu items, but the attribute is no menu");
        }
        x << "  </attributelist>\n";
        for (const auto &item : prose.items())
            if (registered.count(item.key()) == 0)
                fail("prose for attribute '" + item.key() +
                     "', which the object does not register");
    }

    void attr_attr(const qzhost::AttrInfo &a, const qzhost::AttrAttrInfo &aa, const json &p,
                   std::ostream &x)
    {
        std::string joined;
        for (const std::string &v : aa.values)
            joined += (joined.empty() ? "" : " ") + v;
        x << "        <attribute name=\"" << xml_escape(aa.name) << "\" get=\"1\" set=\"1\" type=\""
          << type_name(aa.type) << "\" size=\"" << aa.values.size() << "\"";
        if (aa.name != "enumvals") {
            if (!aa.values.empty())
                x << " value=\"" << xml_escape(joined) << "\"";
            x << "/>\n";
            return;
        }
        x << ">\n          <enumlist>\n";
        const json empty = json::object();
        const json &items = p.contains("enum") && p["enum"].is_object() ? p["enum"] : empty;
        std::set<std::string> names(aa.values.begin(), aa.values.end());
        for (size_t i = 0; i < aa.values.size(); ++i) {
            const std::string &v = aa.values[i];
            const std::string what = "attribute " + a.name + " menu item '" + v + "'";
            std::string digest;
            if (!items.contains(v) || !items[v].is_string() || items[v].get<std::string>().empty())
                fail(what + " has no prose");
            else
                digest = items[v].get<std::string>();
            x << "            <enum name=\"" << xml_escape(v) << "\">\n"
              << "              <digest>" << xml_escape(digest) << "</digest>\n"
              << "            </enum>\n";
        }
        for (const auto &item : items.items())
            if (names.count(item.key()) == 0)
                fail("attribute " + a.name + ": prose for menu item '" + item.key() +
                     "', which the attribute does not offer");
        x << "          </enumlist>\n        </attribute>\n";
    }

    void seealso(const json &doc, std::ostream &x)
    {
        x << "  <seealsolist>\n";
        if (doc.contains("seealso") && doc["seealso"].is_array())
            for (const json &s : doc["seealso"])
                if (s.is_string())
                    x << "    <seealso name=\"" << xml_escape(s.get<std::string>()) << "\"/>\n";
        x << "  </seealsolist>\n";
    }

    qzhost::Host &host_;
    const std::string &source_;
    std::vector<std::string> &problems_;
    std::string name_;
    qzhost::ClassInfo info_;
};

} // namespace

bool make_refpage(qzhost::Host &host, std::string_view doc_text, const std::string &doc_source,
                  std::string &xml, std::vector<std::string> &problems)
{
    problems.clear();
    json doc;
    try {
        doc = json::parse(doc_text.begin(), doc_text.end());
    } catch (const json::exception &e) {
        problems.push_back(doc_source + ": malformed JSON: " + e.what());
        return false;
    }
    return Generator(host, doc_source, problems).run(doc, xml);
}

} // namespace qzcli
