#include "patcher_file.hpp"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>

namespace qzcli {

namespace {

using nlohmann::json;

// "line L, column C" of a byte offset (counted from 0) in the text.
std::string position_of(std::string_view text, size_t offset)
{
    size_t line = 1;
    size_t column = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return std::to_string(line) + ':' + std::to_string(column);
}

// The reason part of a parse error's text, without the library's prefix
// ("[json.exception.parse_error.101] parse error at line 1, column 2: ").
std::string reason_of(const std::string &what)
{
    const size_t at = what.find(": ");
    return at == std::string::npos ? what : what.substr(at + 2);
}

class Reader {
  public:
    explicit Reader(const std::string &source) : source_(source) {}

    bool patcher(const json &j, const std::string &where, int depth, Patcher &out)
    {
        if (depth > kMaxPatcherDepth)
            return fail(where, "patchers nested deeper than " + std::to_string(kMaxPatcherDepth));
        if (!j.is_object())
            return fail(where, "expected an object");
        const auto boxes = j.find("boxes");
        if (boxes != j.end()) {
            if (!boxes->is_array())
                return fail(where + ".boxes", "expected an array");
            for (size_t i = 0; i < boxes->size(); ++i) {
                const std::string at = where + ".boxes[" + std::to_string(i) + "]";
                const json &item = (*boxes)[i];
                if (!item.is_object() || !item.contains("box"))
                    return fail(at, "expected an object with a \"box\"");
                PatcherBox b;
                if (!box(item["box"], at + ".box", depth, b))
                    return false;
                out.boxes.push_back(std::move(b));
            }
        }
        const auto lines = j.find("lines");
        if (lines != j.end()) {
            if (!lines->is_array())
                return fail(where + ".lines", "expected an array");
            for (size_t i = 0; i < lines->size(); ++i) {
                const std::string at = where + ".lines[" + std::to_string(i) + "]";
                const json &item = (*lines)[i];
                if (!item.is_object() || !item.contains("patchline"))
                    return fail(at, "expected an object with a \"patchline\"");
                PatchLine l;
                if (!line(item["patchline"], at + ".patchline", l))
                    return false;
                out.lines.push_back(std::move(l));
            }
        }
        return true;
    }

    const std::string &error() const { return error_; }

  private:
    bool fail(const std::string &where, const std::string &message)
    {
        error_ = source_ + ": " + where + ": " + message;
        return false;
    }

    bool string_of(const json &j, const char *key, const std::string &where, bool required,
                   std::string &out)
    {
        const auto it = j.find(key);
        if (it == j.end())
            return required ? fail(where, std::string("no \"") + key + "\"") : true;
        if (!it->is_string())
            return fail(where + '.' + key, "expected a string");
        out = it->get<std::string>();
        return true;
    }

    // A count or index: a whole number from 0 to 999.
    bool index_of(const json &j, const std::string &where, int &out)
    {
        if (!j.is_number())
            return fail(where, "expected a number");
        const double v = j.get<double>();
        if (!(v >= 0 && v < 1000) || v != std::floor(v))
            return fail(where, "expected a whole number from 0 to 999");
        out = static_cast<int>(v);
        return true;
    }

    bool box(const json &j, const std::string &where, int depth, PatcherBox &b)
    {
        if (!j.is_object())
            return fail(where, "expected an object");
        if (!string_of(j, "id", where, true, b.id) ||
            !string_of(j, "maxclass", where, true, b.maxclass) ||
            !string_of(j, "text", where, false, b.text))
            return false;
        for (const char *key : {"numinlets", "numoutlets"}) {
            const auto it = j.find(key);
            if (it != j.end() &&
                !index_of(*it, where + '.' + key, key[3] == 'i' ? b.numinlets : b.numoutlets))
                return false;
        }
        const auto rect = j.find("patching_rect");
        if (rect != j.end()) {
            if (!rect->is_array() || rect->size() != 4)
                return fail(where + ".patching_rect", "expected [x, y, width, height]");
            double v[4];
            for (size_t i = 0; i < 4; ++i) {
                if (!(*rect)[i].is_number())
                    return fail(where + ".patching_rect", "expected [x, y, width, height]");
                v[i] = (*rect)[i].get<double>();
            }
            b.rect = {v[0], v[1], v[2], v[3]};
        }
        const auto saved = j.find("saved_object_attributes");
        if (saved != j.end()) {
            if (!saved->is_object())
                return fail(where + ".saved_object_attributes", "expected an object");
            for (const auto &[name, value] : saved->items())
                b.saved.push_back(saved_attribute(name, value));
        }
        const auto sub = j.find("patcher");
        if (sub != j.end()) {
            b.sub = std::make_unique<Patcher>();
            if (!patcher(*sub, where + ".patcher", depth + 1, *b.sub))
                return false;
        }
        return true;
    }

    static bool saved_value(const json &j, SavedValue &v)
    {
        if (j.is_number_integer() && (!j.is_number_unsigned() || j.get<uint64_t>() <= INT64_MAX)) {
            v.kind = SavedValue::Kind::Int;
            v.i = j.get<long long>();
        } else if (j.is_number()) {
            v.kind = SavedValue::Kind::Float;
            v.f = j.get<double>();
        } else if (j.is_string()) {
            v.kind = SavedValue::Kind::Symbol;
            v.s = j.get<std::string>();
        } else {
            return false;
        }
        return true;
    }

    // A value the host can hand to an attribute: a number, a string, or an
    // array of those.
    static SavedAttribute saved_attribute(const std::string &name, const json &j)
    {
        SavedAttribute a;
        a.name = name;
        for (const json &item : j.is_array() ? j : json::array({j})) {
            SavedValue v;
            if (!saved_value(item, v)) {
                a.readable = false;
                a.values.clear();
                break;
            }
            a.values.push_back(std::move(v));
        }
        return a;
    }

    bool end_of(const json &j, const std::string &where, std::string &id, int &n)
    {
        if (!j.is_array() || j.size() != 2 || !j[0].is_string())
            return fail(where, "expected [\"box id\", index]");
        id = j[0].get<std::string>();
        return index_of(j[1], where + "[1]", n);
    }

    bool line(const json &j, const std::string &where, PatchLine &l)
    {
        if (!j.is_object() || !j.contains("source") || !j.contains("destination"))
            return fail(where, "expected an object with \"source\" and \"destination\"");
        return end_of(j["source"], where + ".source", l.from, l.outlet) &&
               end_of(j["destination"], where + ".destination", l.to, l.inlet);
    }

    const std::string &source_;
    std::string error_;
};

} // namespace

bool parse_patcher(std::string_view text, const std::string &source, Patcher &out,
                   std::string &error)
{
    out = Patcher{};
    json doc;
    try {
        doc = json::parse(text.begin(), text.end());
    } catch (const json::parse_error &e) {
        // e.byte counts from 1 and points at the character that failed.
        error = source + ':' + position_of(text, e.byte > 0 ? e.byte - 1 : 0) +
                ": malformed JSON: " + reason_of(e.what());
        return false;
    } catch (const json::exception &e) { // e.g. a number too large for a double
        error = source + ": malformed JSON: " + reason_of(e.what());
        return false;
    }
    if (!doc.is_object() || !doc.contains("patcher")) {
        error = source + ": not a patcher file: no top-level \"patcher\" object";
        return false;
    }
    Reader reader(source);
    if (!reader.patcher(doc["patcher"], "patcher", 0, out)) {
        error = reader.error();
        return false;
    }
    return true;
}

} // namespace qzcli
